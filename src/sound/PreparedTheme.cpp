#include "sound/PreparedTheme.h"

#include "sound/AudioDecoder.h"
#include "themes/SampleFile.h"

namespace tapwell {

namespace {

std::expected<PreparedTheme, AudioLoadError> prepareFiles(const LoadedTheme& loaded,
                                                          const std::set<std::string>& names,
                                                          std::string* failedFile) {
    PreparedTheme prepared;
    prepared.theme = loaded.theme;
    prepared.directory = loaded.directory;
    for (const std::string& name : names) {
        auto buffer = prepared.decode(name);
        if (!buffer) {
            if (failedFile != nullptr) {
                *failedFile = name;
            }
            return std::unexpected(std::move(buffer.error()));
        }
        prepared.buffers.emplace(name, std::move(*buffer));
    }
    return prepared;
}

}  // namespace

std::expected<PreparedTheme, AudioLoadError> PreparedTheme::prepare(const LoadedTheme& loaded,
                                                                    std::string* failedFile) {
    return prepareFiles(loaded, loaded.theme.sounds.allFiles(), failedFile);
}

std::expected<PreparedTheme, AudioLoadError> PreparedTheme::prepareKeys(const LoadedTheme& loaded,
                                                                        std::string* failedFile) {
    return prepareFiles(loaded, keyFiles(loaded.theme.sounds), failedFile);
}

std::set<std::string> PreparedTheme::keyFiles(const Theme::Sounds& sounds) {
    std::set<std::string> names(sounds.keyDown.begin(), sounds.keyDown.end());
    names.insert(sounds.keyUp.begin(), sounds.keyUp.end());
    names.insert({sounds.space, sounds.enter, sounds.backspace});
    return names;
}

std::set<std::string> PreparedTheme::alertFiles(const Theme::Sounds& sounds) {
    const std::set<std::string> keys = keyFiles(sounds);
    std::set<std::string> names;
    for (const auto& [alert, name] : sounds.alerts) {
        if (!keys.contains(name)) {
            names.insert(name);
        }
    }
    return names;
}

std::expected<SharedPcmBuffer, AudioLoadError> PreparedTheme::decode(
    const std::string& name) const {
    // A file that serves several purposes is held to the loosest limit of them.
    const auto roles = sampleRoles(theme.sounds);
    const auto role = roles.find(name);
    return decodeAudioFile(
        directory / name,
        SampleLimits::longestSeconds(role == roles.end() ? SampleRole::key : role->second));
}

void PreparedTheme::dropAllButKeys() {
    const std::set<std::string> keys = keyFiles(theme.sounds);
    std::erase_if(buffers, [&keys](const auto& entry) { return !keys.contains(entry.first); });
}

const PcmBuffer* PreparedTheme::find(std::string_view name) const {
    const auto it = buffers.find(name);
    return it == buffers.end() ? nullptr : it->second.get();
}

SharedPcmBuffer PreparedTheme::shared(std::string_view name) const {
    const auto it = buffers.find(name);
    return it == buffers.end() ? nullptr : it->second;
}

std::size_t PreparedTheme::sampleBytes() const {
    std::size_t bytes = 0;
    for (const auto& [name, buffer] : buffers) {
        bytes += buffer->samples.size() * sizeof(PcmBuffer::Sample);
    }
    return bytes;
}

}  // namespace tapwell

#include "sound/PreparedTheme.h"

#include "sound/AudioDecoder.h"

namespace tapwell {

std::expected<PreparedTheme, AudioLoadError> PreparedTheme::prepare(const LoadedTheme& loaded,
                                                                    std::string* failedFile) {
    PreparedTheme prepared;
    prepared.theme = loaded.theme;
    for (const auto& [name, role] : sampleRoles(loaded.theme.sounds)) {
        auto buffer = decodeAudioFile(loaded.directory / name, SampleLimits::longestSeconds(role));
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
        bytes += buffer->samples.size() * sizeof(float);
    }
    return bytes;
}

}  // namespace tapwell

#pragma once
// A validated theme together with its decoded samples, one shared buffer per distinct file name.
// Key sounds are what must play at once, so every theme's key samples are decoded before the
// engine starts; the alerts and the ambience loop are large (seconds of audio each) and are only
// needed for the selected theme, so they are decoded on demand and dropped again when another
// theme is selected. A buffer never changes once decoded; the map itself is changed only by its
// owner (the sound engine, on its queue).

#include <expected>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "sound/AudioError.h"
#include "sound/PcmBuffer.h"
#include "themes/Theme.h"

namespace tapwell {

struct PreparedTheme {
    Theme theme;
    std::filesystem::path directory;
    std::map<std::string, SharedPcmBuffer, std::less<>> buffers;  // file name to its samples

    // Decodes every name of `theme.sounds.allFiles()` from the theme's folder, each distinct name
    // once, within the length limit of what it is played as (SampleFile.h). The first failing
    // file ends preparation with its error (its name goes to `failedFile` when given); no partial
    // theme results.
    static std::expected<PreparedTheme, AudioLoadError> prepare(const LoadedTheme& loaded,
                                                                std::string* failedFile = nullptr);
    // The same for the key sounds only (the pools, space, enter and backspace).
    static std::expected<PreparedTheme, AudioLoadError> prepareKeys(
        const LoadedTheme& loaded, std::string* failedFile = nullptr);

    // The files the keys play, and the alerts' files that are not among them.
    static std::set<std::string> keyFiles(const Theme::Sounds& sounds);
    static std::set<std::string> alertFiles(const Theme::Sounds& sounds);

    // Decodes one file of this theme within the limit of its role.
    std::expected<SharedPcmBuffer, AudioLoadError> decode(const std::string& name) const;

    // Drops every buffer the keys do not play; voices still playing one keep it alive.
    void dropAllButKeys();

    // The buffer of a file name, or null.
    const PcmBuffer* find(std::string_view name) const;
    SharedPcmBuffer shared(std::string_view name) const;

    // Bytes of decoded sample data held by this theme.
    std::size_t sampleBytes() const;
};

}  // namespace tapwell

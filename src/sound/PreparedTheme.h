#pragma once
// A validated theme together with its decoded samples, one shared buffer per distinct file name.
// Built once per theme before the engine starts, so that playing a key sound is only a lookup and
// a buffer hand-over; immutable afterwards, and safe to read from any thread.

#include <expected>
#include <map>
#include <string>

#include "sound/AudioError.h"
#include "sound/PcmBuffer.h"
#include "themes/Theme.h"

namespace tapwell {

struct PreparedTheme {
    Theme theme;
    std::map<std::string, SharedPcmBuffer, std::less<>> buffers;  // file name to its samples

    // Decodes every name of `theme.sounds.allFiles()` from the theme's folder, each distinct name
    // once, within the length limit of what it is played as (SampleFile.h). The first failing
    // file ends preparation with its error (its name goes to `failedFile` when given); no partial
    // theme results.
    static std::expected<PreparedTheme, AudioLoadError> prepare(const LoadedTheme& loaded,
                                                                std::string* failedFile = nullptr);

    // The buffer of a file name, or null.
    const PcmBuffer* find(std::string_view name) const;
    SharedPcmBuffer shared(std::string_view name) const;

    // Bytes of decoded sample data held by this theme.
    std::size_t sampleBytes() const;
};

}  // namespace tapwell

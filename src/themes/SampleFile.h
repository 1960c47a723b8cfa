#pragma once
// What a theme's sound file must be for the program to play it, judged from the file's header
// alone (opening it and reading a few hundred bytes, never decoding): a format the decoder reads,
// a sane number of channels and sample rate, and a length within the limit of what the file is
// used for. The catalogue checks every theme this way, so that a theme the sound engine could not
// prepare is listed as failed, naming the file; the decoder applies the same limits before it
// allocates anything, so a header that lies about its size cannot make it run out of memory.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/Error.h"
#include "themes/AudioFileReader.h"
#include "themes/Theme.h"

namespace tapwell {

// What a file is played as; a file that serves several purposes is held to the loosest limit.
enum class SampleRole { key, alert, ambience };

struct SampleLimits {
    static constexpr int maxChannels = 8;
    static constexpr int minSampleRate = 1000;
    static constexpr int maxSampleRate = 768000;
    // Decoded audio takes 4 bytes per frame at 48 kHz, 11 MiB a minute, and every theme is held
    // in memory for the whole run.
    static constexpr double longestKeySeconds = 5;
    static constexpr double longestAlertSeconds = 30;
    static constexpr double longestAmbienceSeconds = 600;
    static constexpr double longestThemeSeconds = 1200;  // all files of one theme together

    static double longestSeconds(SampleRole role);
};

const char* toString(SampleRole role);  // "key sound", "alert", "ambience"

// Reads the header. Fails with the reader's open error (AudioFileReader::open) unchanged.
std::expected<SampleInfo, Error> readSampleHeader(const std::filesystem::path& file);

// Why a file with this header cannot be played as `role`, as a phrase that completes "the file
// ...", for example "holds 65535 channels (at most 8 are played)"; none when it can.
std::optional<std::string> sampleProblem(const SampleInfo& info, SampleRole role);

// Every file of the theme with the role it is held to.
std::map<std::string, SampleRole> sampleRoles(const Theme::Sounds& sounds);

// Reads the header of every file of a theme whose files exist, and returns the first problem as
// an error naming the file (domain "audio"): a file the decoder cannot open, a header outside the
// limits of its role, or files that last longer than `longestThemeSeconds` together.
std::optional<Error> checkThemeSamples(const Theme& theme, const std::filesystem::path& directory);

}  // namespace tapwell

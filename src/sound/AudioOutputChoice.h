#pragma once
// Where the application's sound goes, as chosen on the command line: the system's sound device,
// a silent clock that keeps the engine's timing, or a WAV file written in real time.

#include <cstddef>
#include <filesystem>

namespace tapwell {

struct AudioOutputChoice {
    enum class Kind { device, null, wav };
    Kind kind = Kind::device;
    std::filesystem::path file;  // for wav
    // 2.7 ms at 48 kHz: a key's sound waits at most this long for the next period.
    std::size_t periodFrames = 128;

    bool operator==(const AudioOutputChoice&) const = default;
};

}  // namespace tapwell

#pragma once
// How loud a theme feels while typing. A fixed typing passage (two lines of text with a typo
// corrected by two backspaces and a return at each line end) is played through the sound engine's
// mixer (PassagePlayback.h) and measured with the K-weighted mean-square loudness of broadcast
// metering (LUFS, ungated), which follows the ear better than plain RMS for clicky versus deep
// sounds.

#include <vector>

#include "Dsp.h"

namespace tapwell::themegen {

// K-weighted loudness of `buffer` in LUFS (ungated); -inf for silence.
double loudnessLufs(const Buffer& buffer);

enum class PassageKey { normal, space, enter, backspace };

struct PassageEvent {
    double atS;
    PassageKey key;
    bool down;
};

// The fixed passage, sorted by time; always the same.
const std::vector<PassageEvent>& typingPassage();

// Loudness of a list of sounds heard one after another with a short gap, for the alerts.
double sequenceLoudness(const std::vector<const Buffer*>& sounds);

}  // namespace tapwell::themegen

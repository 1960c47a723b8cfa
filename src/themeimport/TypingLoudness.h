#pragma once
// How loud a theme sounds while typing: a fixed passage (words, spaces, a corrected typo, returns)
// is played through the real sound engine into an offline output and measured with the K-weighted
// mean-square loudness of broadcast metering (LUFS, ungated). Two themes measured this way differ
// exactly by the typing gain that makes them equally loud. Runs on the calling thread.

#include <expected>
#include <span>
#include <string>

#include "themes/Theme.h"

namespace tapwell {

// K-weighted loudness of mono 48 kHz samples in LUFS; -infinity for silence.
double kWeightedLoudness(std::span<const float> samples);

// The passage's loudness through `theme`, including the theme's own typing gain. Fails with the
// engine's error text when the theme cannot be prepared.
std::expected<double, std::string> typingPassageLoudness(const LoadedTheme& theme);

}  // namespace tapwell

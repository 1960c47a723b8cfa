#pragma once
// Background loops. Each is rendered a little longer than the loop, cross-faded at the seam and
// cut at a zero crossing, so it repeats without a click or a jump in texture.

#include "Dsp.h"

namespace tapwell::themegen {

inline constexpr double kAmbienceSeconds = 24.0;
inline constexpr double kLoopFadeSeconds = 1.5;

Buffer rainOnWindow(Rng& rng);
Buffer cafeMurmur(Rng& rng);
Buffer fireplace(Rng& rng);
Buffer brook(Rng& rng);

// Seam, zero crossing and level: RMS at `rmsDb`, but never a peak above -3 dBFS.
Buffer finishLoop(const Buffer& source, double rmsDb);

}  // namespace tapwell::themegen

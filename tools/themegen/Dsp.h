#pragma once
// The small signal-processing kit themegen builds every sound from: a seeded random source,
// filters, modal resonators, envelopes and the finishing steps (fades, normalisation, loops).
// Everything here is deterministic: the same seed gives the same samples on every run, which is
// why no standard random distribution (their output is implementation-defined) is used.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tapwell::themegen {

inline constexpr double kSampleRate = 48000.0;
inline constexpr double kPi = 3.14159265358979323846;

using Buffer = std::vector<float>;

// Number of frames in `seconds` at the fixed sample rate (rounded to nearest, never negative).
std::size_t frames(double seconds);
double dbToGain(double db);
double gainToDb(double gain);  // -inf for 0

// SplitMix64: tiny, fast and identical everywhere.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();  // [0, 1)
    double range(double lo, double hi);
    double bipolar();  // [-1, 1)
    // `value` scaled by a random factor in [1 - spread, 1 + spread).
    double vary(double value, double spread);
    int integer(int lo, int hiInclusive);
    bool chance(double probability);
    // Waiting time of a Poisson process with `rate` events per second.
    double exponential(double rate);

  private:
    std::uint64_t state_;
};

// A stable seed for one file of one theme: FNV-1a of the name mixed into the theme's seed.
std::uint64_t seedFor(std::uint64_t themeSeed, std::string_view name);

// Direct-form-I biquad with the usual second-order designs.
class Biquad {
  public:
    static Biquad lowPass(double hz, double q = 0.7071);
    static Biquad highPass(double hz, double q = 0.7071);
    static Biquad bandPass(double hz, double q);  // 0 dB at the centre
    static Biquad peak(double hz, double q, double gainDb);
    static Biquad highShelf(double hz, double gainDb);
    Biquad(double b0, double b1, double b2, double a0, double a1, double a2);

    float process(float x);
    void processInPlace(Buffer& buffer);
    // Takes over another design's coefficients and keeps this filter's state, so a filter can
    // glide (formants, sweeps) without restarting.
    void retune(const Biquad& design);

  private:
    double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// First-order low-pass, used to smooth control signals.
class Smoother {
  public:
    explicit Smoother(double hz);
    double process(double x);

  private:
    double a_;
    double y_ = 0;
};

// One vibrating mode of a struck object: frequency, time to decay by 60 dB, relative level.
struct Mode {
    double hz;
    double t60;
    double gain;
};

// Two-pole resonator ringing at one mode; excite it with any signal.
class Resonator {
  public:
    explicit Resonator(const Mode& mode);
    float process(float x);

  private:
    double c1_, c2_, g_;
    double y1_ = 0, y2_ = 0;
};

// Copies `modes` with every frequency, decay and level nudged randomly by the given spreads.
std::vector<Mode> varyModes(const std::vector<Mode>& modes, Rng& rng, double hzSpread,
                            double t60Spread, double gainSpread);

// Runs `excitation` through a bank of resonators and adds the sum into `out` at `offset`.
void addModal(Buffer& out, std::size_t offset, const Buffer& excitation,
              const std::vector<Mode>& modes, double gain);

// A strike: a raised-cosine pulse `widthMs` wide with unit area (wider is a softer, darker hit).
Buffer malletPulse(double widthMs);
// White noise shaped by an exponential decay with time constant `tauMs`, `lengthMs` long.
Buffer noiseBurst(Rng& rng, double lengthMs, double tauMs);
// White noise of `count` frames.
Buffer whiteNoise(Rng& rng, std::size_t count);
// Pink-ish noise (-3 dB/octave) from a sum of octave-spaced smoothed random sources.
Buffer pinkNoise(Rng& rng, std::size_t count);
// Brown noise (-6 dB/octave), leaky-integrated white noise.
Buffer brownNoise(Rng& rng, std::size_t count);

// A sine whose frequency glides exponentially from `startHz` to `endHz` with time constant
// `glideMs`, with a short linear attack and exponential decay; added into `out` at `offset`.
struct Tone {
    double startHz;
    double endHz;
    double glideMs;
    double attackMs;
    double decayMs;  // time constant of the amplitude decay
    double lengthMs;
    double gain;
};
void addTone(Buffer& out, std::size_t offset, const Tone& tone);

void addInto(Buffer& out, std::size_t offset, const Buffer& in, double gain);
void scale(Buffer& buffer, double gain);
// Multiplies by exp(-t / tauMs) from `startMs` on.
void applyDecay(Buffer& buffer, double startMs, double tauMs);

double peakOf(const Buffer& buffer);
double rmsOf(const Buffer& buffer);
// Scales so that the peak sits exactly at `peakDb` dBFS (silence stays silence).
void normalizePeak(Buffer& buffer, double peakDb);
// Removes DC and sub-audio drift with a gentle high-pass.
void removeDc(Buffer& buffer, double hz = 20.0);
// Raised-cosine fades that reach exactly zero at the first and last frame.
void fadeEdges(Buffer& buffer, std::size_t fadeIn, std::size_t fadeOut);
// Cuts the buffer to at most `maxMs`, earlier when the sound has decayed below `floorDb`
// relative to its peak (never below `minMs`), then fades out over `fadeMs`.
void trimTail(Buffer& buffer, double minMs, double maxMs, double floorDb, double fadeMs);

// Turns `source` (at least loopFrames + fadeFrames long) into a seamless loop of `loopFrames`:
// the material after the loop end is cross-faded (equal power) into the head, so the last
// frame flows into the first one as if the recording went on.
Buffer makeLoop(const Buffer& source, std::size_t loopFrames, std::size_t fadeFrames);
// Rotates a loop so that it starts at its quietest sign change, then sets the first and last
// frame to exactly zero; the loop stays seamless because the cut is a natural zero crossing.
void rotateToZeroCrossing(Buffer& loop);

// Schroeder-style room: a few feedback combs and all-passes; `mix` is the wet share.
void applyRoom(Buffer& buffer, double size, double damping, double mix);

}  // namespace tapwell::themegen

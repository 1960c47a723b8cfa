#include "Dsp.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tapwell::themegen {

std::size_t frames(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<std::size_t>(std::lround(seconds * kSampleRate));
}

double dbToGain(double db) {
    return std::pow(10.0, db / 20.0);
}

double gainToDb(double gain) {
    if (gain <= 0) {
        return -std::numeric_limits<double>::infinity();
    }
    return 20.0 * std::log10(gain);
}

std::uint64_t Rng::next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double Rng::uniform() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

double Rng::range(double lo, double hi) {
    return lo + (hi - lo) * uniform();
}

double Rng::bipolar() {
    return 2.0 * uniform() - 1.0;
}

double Rng::vary(double value, double spread) {
    return value * (1.0 + spread * bipolar());
}

int Rng::integer(int lo, int hiInclusive) {
    const auto span = static_cast<std::uint64_t>(hiInclusive - lo) + 1;
    return lo + static_cast<int>(next() % span);
}

bool Rng::chance(double probability) {
    return uniform() < probability;
}

double Rng::exponential(double rate) {
    return -std::log(1.0 - uniform()) / rate;
}

std::uint64_t seedFor(std::uint64_t themeSeed, std::string_view name) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    Rng mixer(themeSeed ^ hash);
    return mixer.next();
}

// --- Biquad -------------------------------------------------------------------------------------

Biquad::Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
    : b0_(b0 / a0), b1_(b1 / a0), b2_(b2 / a0), a1_(a1 / a0), a2_(a2 / a0) {}

namespace {
struct Angles {
    double cosW;
    double alpha;
};
Angles angles(double hz, double q) {
    const double clamped = std::clamp(hz, 5.0, kSampleRate * 0.49);
    const double w = 2.0 * kPi * clamped / kSampleRate;
    return {std::cos(w), std::sin(w) / (2.0 * q)};
}
}  // namespace

Biquad Biquad::lowPass(double hz, double q) {
    const auto [c, a] = angles(hz, q);
    return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + a, -2 * c, 1 - a};
}

Biquad Biquad::highPass(double hz, double q) {
    const auto [c, a] = angles(hz, q);
    return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + a, -2 * c, 1 - a};
}

Biquad Biquad::bandPass(double hz, double q) {
    const auto [c, a] = angles(hz, q);
    return {a, 0, -a, 1 + a, -2 * c, 1 - a};
}

Biquad Biquad::peak(double hz, double q, double gainDb) {
    const auto [c, a] = angles(hz, q);
    const double g = std::pow(10.0, gainDb / 40.0);
    return {1 + a * g, -2 * c, 1 - a * g, 1 + a / g, -2 * c, 1 - a / g};
}

Biquad Biquad::highShelf(double hz, double gainDb) {
    const double g = std::pow(10.0, gainDb / 40.0);
    const auto [c, alpha0] = angles(hz, 0.7071);
    const double a = alpha0;  // shelf slope 1
    const double s = 2.0 * std::sqrt(g) * a;
    return {g * ((g + 1) + (g - 1) * c + s), -2 * g * ((g - 1) + (g + 1) * c),
            g * ((g + 1) + (g - 1) * c - s), (g + 1) - (g - 1) * c + s,
            2 * ((g - 1) - (g + 1) * c),     (g + 1) - (g - 1) * c - s};
}

float Biquad::process(float x) {
    const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return static_cast<float>(y);
}

void Biquad::retune(const Biquad& design) {
    b0_ = design.b0_;
    b1_ = design.b1_;
    b2_ = design.b2_;
    a1_ = design.a1_;
    a2_ = design.a2_;
}

void Biquad::processInPlace(Buffer& buffer) {
    for (float& s : buffer) {
        s = process(s);
    }
}

Smoother::Smoother(double hz) : a_(1.0 - std::exp(-2.0 * kPi * hz / kSampleRate)) {}

double Smoother::process(double x) {
    y_ += a_ * (x - y_);
    return y_;
}

// --- Modes --------------------------------------------------------------------------------------

Resonator::Resonator(const Mode& mode) {
    const double hz = std::clamp(mode.hz, 10.0, kSampleRate * 0.45);
    const double w = 2.0 * kPi * hz / kSampleRate;
    const double r = std::exp(-6.907755 / (std::max(mode.t60, 0.001) * kSampleRate));
    c1_ = 2.0 * r * std::cos(w);
    c2_ = -r * r;
    // An impulse then rings with amplitude `gain`, whatever the frequency.
    g_ = mode.gain * std::sin(w);
}

float Resonator::process(float x) {
    const double y = g_ * x + c1_ * y1_ + c2_ * y2_;
    y2_ = y1_;
    y1_ = y;
    return static_cast<float>(y);
}

std::vector<Mode> varyModes(const std::vector<Mode>& modes, Rng& rng, double hzSpread,
                            double t60Spread, double gainSpread) {
    std::vector<Mode> out;
    out.reserve(modes.size());
    for (const Mode& m : modes) {
        out.push_back(
            {rng.vary(m.hz, hzSpread), rng.vary(m.t60, t60Spread), rng.vary(m.gain, gainSpread)});
    }
    return out;
}

void addModal(Buffer& out, std::size_t offset, const Buffer& excitation,
              const std::vector<Mode>& modes, double gain) {
    if (offset >= out.size()) {
        return;
    }
    for (const Mode& mode : modes) {
        Resonator resonator(mode);
        // Past 1.5 x T60 the ring is 90 dB down: stop there so that short events placed in a
        // long buffer cost only their own length.
        const std::size_t span = excitation.size() + frames(1.5 * std::max(mode.t60, 0.001));
        const std::size_t end = std::min(out.size(), offset + span);
        for (std::size_t i = offset; i < end; ++i) {
            const std::size_t k = i - offset;
            const float x = k < excitation.size() ? excitation[k] : 0.0f;
            out[i] += static_cast<float>(gain * resonator.process(x));
        }
    }
}

Buffer malletPulse(double widthMs) {
    const std::size_t n = std::max<std::size_t>(1, frames(widthMs / 1000.0));
    Buffer pulse(n);
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = (static_cast<double>(i) + 0.5) / static_cast<double>(n);
        const double v = 0.5 - 0.5 * std::cos(2.0 * kPi * phase);
        pulse[i] = static_cast<float>(v);
        sum += v;
    }
    // Unit area: a mode well below the pulse's bandwidth rings at its own gain, whatever the
    // width, so the width only decides how much of the top end is excited.
    for (float& v : pulse) {
        v = static_cast<float>(v / sum);
    }
    return pulse;
}

Buffer whiteNoise(Rng& rng, std::size_t count) {
    Buffer noise(count);
    for (float& s : noise) {
        s = static_cast<float>(rng.bipolar());
    }
    return noise;
}

Buffer noiseBurst(Rng& rng, double lengthMs, double tauMs) {
    Buffer noise = whiteNoise(rng, frames(lengthMs / 1000.0));
    applyDecay(noise, 0.0, tauMs);
    return noise;
}

Buffer pinkNoise(Rng& rng, std::size_t count) {
    // Low-passed white sources two octaves apart, each weighted by 1/sqrt(cutoff): their sum
    // falls by about 3 dB per octave across the audible range.
    constexpr double cutoffs[] = {10, 40, 160, 640, 2560, 10240};
    struct Source {
        double a;
        double w;
        double y = 0;
    };
    std::vector<Source> sources;
    for (const double fc : cutoffs) {
        sources.push_back({1.0 - std::exp(-2.0 * kPi * fc / kSampleRate), 1.0 / std::sqrt(fc)});
    }
    const double whiteWeight = 1.0 / std::sqrt(40960.0);
    Buffer out(count);
    for (float& s : out) {
        double sum = 0;
        for (Source& src : sources) {
            src.y += src.a * (rng.bipolar() - src.y);
            sum += src.w * src.y;
        }
        sum += whiteWeight * rng.bipolar();
        s = static_cast<float>(sum);
    }
    removeDc(out);
    const double peak = peakOf(out);
    if (peak > 0) {
        scale(out, 1.0 / peak);
    }
    return out;
}

Buffer brownNoise(Rng& rng, std::size_t count) {
    Buffer out(count);
    double y = 0;
    for (float& s : out) {
        y = 0.9985 * y + 0.03 * rng.bipolar();
        s = static_cast<float>(y);
    }
    removeDc(out);
    const double peak = peakOf(out);
    if (peak > 0) {
        scale(out, 1.0 / peak);
    }
    return out;
}

void addTone(Buffer& out, std::size_t offset, const Tone& tone) {
    const std::size_t n = frames(tone.lengthMs / 1000.0);
    const std::size_t attack = std::max<std::size_t>(1, frames(tone.attackMs / 1000.0));
    const std::size_t tail = std::min<std::size_t>(frames(0.004), n / 2);
    const double glideTau = std::max(tone.glideMs, 0.01) / 1000.0 * kSampleRate;
    const double decayTau = std::max(tone.decayMs, 0.01) / 1000.0 * kSampleRate;
    double phase = 0;
    for (std::size_t k = 0; k < n && offset + k < out.size(); ++k) {
        const double t = static_cast<double>(k);
        const double hz = tone.endHz + (tone.startHz - tone.endHz) * std::exp(-t / glideTau);
        double env = k < attack ? t / static_cast<double>(attack)
                                : std::exp(-(t - static_cast<double>(attack)) / decayTau);
        if (k + tail >= n) {
            env *= static_cast<double>(n - k - 1) / static_cast<double>(tail);
        }
        out[offset + k] += static_cast<float>(tone.gain * env * std::sin(phase));
        phase += 2.0 * kPi * hz / kSampleRate;
        if (phase > 2.0 * kPi) {
            phase -= 2.0 * kPi;
        }
    }
}

// --- Buffers ------------------------------------------------------------------------------------

void addInto(Buffer& out, std::size_t offset, const Buffer& in, double gain) {
    for (std::size_t k = 0; k < in.size() && offset + k < out.size(); ++k) {
        out[offset + k] += static_cast<float>(gain * in[k]);
    }
}

void scale(Buffer& buffer, double gain) {
    for (float& s : buffer) {
        s = static_cast<float>(s * gain);
    }
}

void applyDecay(Buffer& buffer, double startMs, double tauMs) {
    const std::size_t start = frames(startMs / 1000.0);
    const double factor = std::exp(-1.0 / (tauMs / 1000.0 * kSampleRate));
    double env = 1.0;
    for (std::size_t i = start; i < buffer.size(); ++i) {
        buffer[i] = static_cast<float>(buffer[i] * env);
        env *= factor;
    }
}

double peakOf(const Buffer& buffer) {
    double peak = 0;
    for (const float s : buffer) {
        peak = std::max(peak, static_cast<double>(std::fabs(s)));
    }
    return peak;
}

double rmsOf(const Buffer& buffer) {
    if (buffer.empty()) {
        return 0;
    }
    double sum = 0;
    for (const float s : buffer) {
        sum += static_cast<double>(s) * s;
    }
    return std::sqrt(sum / static_cast<double>(buffer.size()));
}

void normalizePeak(Buffer& buffer, double peakDb) {
    const double peak = peakOf(buffer);
    if (peak > 0) {
        scale(buffer, dbToGain(peakDb) / peak);
    }
}

void removeDc(Buffer& buffer, double hz) {
    Biquad hp = Biquad::highPass(hz, 0.7071);
    hp.processInPlace(buffer);
}

void fadeEdges(Buffer& buffer, std::size_t fadeIn, std::size_t fadeOut) {
    const std::size_t n = buffer.size();
    if (n == 0) {
        return;
    }
    fadeIn = std::min(fadeIn, n);
    fadeOut = std::min(fadeOut, n);
    for (std::size_t i = 0; i < fadeIn; ++i) {
        const double w =
            0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(fadeIn));
        buffer[i] = static_cast<float>(buffer[i] * w);
    }
    for (std::size_t j = 0; j < fadeOut; ++j) {
        const double w =
            0.5 - 0.5 * std::cos(kPi * static_cast<double>(j) / static_cast<double>(fadeOut));
        buffer[n - 1 - j] = static_cast<float>(buffer[n - 1 - j] * w);
    }
    buffer.front() = 0.0f;
    buffer.back() = 0.0f;
}

void trimTail(Buffer& buffer, double minMs, double maxMs, double floorDb, double fadeMs) {
    const double floor = peakOf(buffer) * dbToGain(floorDb);
    std::size_t last = 0;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (std::fabs(buffer[i]) > floor) {
            last = i;
        }
    }
    const std::size_t fade = frames(fadeMs / 1000.0);
    std::size_t length = last + fade;
    length = std::clamp(length, frames(minMs / 1000.0), frames(maxMs / 1000.0));
    buffer.resize(length, 0.0f);
    fadeEdges(buffer, 0, std::min(fade, length));
}

Buffer makeLoop(const Buffer& source, std::size_t loopFrames, std::size_t fadeFrames) {
    fadeFrames = std::min(fadeFrames, loopFrames);
    Buffer loop(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(loopFrames));
    for (std::size_t i = 0; i < fadeFrames && loopFrames + i < source.size(); ++i) {
        const double theta =
            0.5 * kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(fadeFrames);
        loop[i] = static_cast<float>(source[i] * std::sin(theta) +
                                     source[loopFrames + i] * std::cos(theta));
    }
    return loop;
}

void rotateToZeroCrossing(Buffer& loop) {
    const std::size_t n = loop.size();
    if (n < 2) {
        std::fill(loop.begin(), loop.end(), 0.0f);
        return;
    }
    std::size_t best = 0;
    double bestCost = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < n; ++k) {
        const float before = loop[(k + n - 1) % n];
        const float at = loop[k];
        const bool crosses = (before <= 0.0f && at >= 0.0f) || (before >= 0.0f && at <= 0.0f);
        if (!crosses) {
            continue;
        }
        const double cost = std::fabs(before) + std::fabs(at);
        if (cost < bestCost) {
            bestCost = cost;
            best = k;
        }
    }
    std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(best), loop.end());
    loop.front() = 0.0f;
    loop.back() = 0.0f;
}

void applyRoom(Buffer& buffer, double size, double damping, double mix) {
    constexpr double combMs[] = {29.7, 37.1, 41.1, 43.7};
    constexpr double allpassMs[] = {5.0, 1.7};
    struct Comb {
        std::vector<float> line;
        std::size_t pos = 0;
        double store = 0;
    };
    std::vector<Comb> combs;
    for (const double ms : combMs) {
        combs.push_back({Buffer(std::max<std::size_t>(1, frames(ms * size / 1000.0))), 0, 0});
    }
    const double feedback = 0.78;
    Buffer wet(buffer.size());
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        double sum = 0;
        for (Comb& c : combs) {
            const double out = c.line[c.pos];
            c.store = out * (1.0 - damping) + c.store * damping;
            c.line[c.pos] = static_cast<float>(buffer[i] + feedback * c.store);
            c.pos = (c.pos + 1) % c.line.size();
            sum += out;
        }
        wet[i] = static_cast<float>(sum / 4.0);
    }
    for (const double ms : allpassMs) {
        Buffer line(std::max<std::size_t>(1, frames(ms * size / 1000.0)));
        std::size_t pos = 0;
        for (float& s : wet) {
            const double delayed = line[pos];
            const double in = s;
            const double out = -0.6 * in + delayed;
            line[pos] = static_cast<float>(in + 0.6 * out);
            pos = (pos + 1) % line.size();
            s = static_cast<float>(out);
        }
    }
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<float>((1.0 - mix) * buffer[i] + mix * wet[i]);
    }
}

}  // namespace tapwell::themegen

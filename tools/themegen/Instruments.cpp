#include "Instruments.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string>

namespace tapwell::themegen {

namespace {

std::size_t at(double ms) {
    return frames(ms / 1000.0);
}

// The small ramp-in keeps the first frame at zero without blunting the attack audibly.
constexpr std::size_t kFadeInFrames = 12;

}  // namespace

Buffer renderImpact(const ImpactSound& sound, Rng& rng) {
    const double s = sound.spread;
    Buffer out(at(sound.lengthMs + 30.0), 0.0f);

    // Each key sits somewhere else on the board: shift all resonances of this render together.
    const double placement = rng.vary(1.0, 0.04 * s);

    double firstHitMs = 0;
    for (std::size_t h = 0; h < sound.hits.size(); ++h) {
        const Hit& hit = sound.hits[h];
        double when = hit.atMs;
        if (h > 0) {
            when = rng.vary(when, 0.12 * s);
        } else {
            firstHitMs = when;
        }
        const std::size_t offset = at(when);
        auto modes = varyModes(hit.modes, rng, 0.025 * s, 0.18 * s, 0.25 * s);
        for (Mode& m : modes) {
            m.hz *= placement;
        }
        const Buffer mallet = malletPulse(rng.vary(hit.malletMs, 0.2 * s));
        addModal(out, offset, mallet, modes, rng.vary(hit.level, 0.12 * s));
        if (hit.noiseLevel > 0) {
            Buffer noise = noiseBurst(rng, hit.noiseTauMs * 6.0, rng.vary(hit.noiseTauMs, 0.2 * s));
            Biquad hp = Biquad::highPass(rng.vary(hit.noiseHighPassHz, 0.15 * s), 0.7);
            hp.processInPlace(noise);
            addInto(out, offset, noise, rng.vary(hit.noiseLevel, 0.2 * s));
        }
    }

    if (sound.slideLevel > 0 && sound.slideMs > 0) {
        const std::size_t n = at(sound.slideMs);
        Buffer slide = whiteNoise(rng, n);
        Biquad band = Biquad::bandPass(rng.vary(sound.slideHz, 0.2 * s), 0.9);
        band.processInPlace(slide);
        for (std::size_t i = 0; i < n; ++i) {
            const double x = static_cast<double>(i) / static_cast<double>(n);
            slide[i] = static_cast<float>(slide[i] * x * x);
        }
        addInto(out, 0, slide, rng.vary(sound.slideLevel, 0.25 * s));
    }

    if (sound.rattleLevel > 0 && sound.rattleCount > 0) {
        const int count = std::max(1, sound.rattleCount + rng.integer(-1, 1));
        for (int r = 0; r < count; ++r) {
            const double when = firstHitMs + rng.range(sound.rattleFromMs, sound.rattleToMs);
            auto modes = varyModes(sound.rattleModes, rng, 0.08, 0.3, 0.4);
            // Later ticks are weaker: the wire settles.
            const double fall = 1.0 - 0.6 * (when - firstHitMs) / std::max(1.0, sound.rattleToMs);
            addModal(out, at(when), malletPulse(rng.range(0.08, 0.2)), modes,
                     sound.rattleLevel * fall * rng.range(0.5, 1.0));
        }
    }

    if (sound.colourHz > 0 && sound.colourDb != 0) {
        Biquad colour = Biquad::peak(sound.colourHz, sound.colourQ, sound.colourDb);
        colour.processInPlace(out);
    }
    Biquad lp = Biquad::lowPass(rng.vary(sound.lowPassHz, 0.08 * s), 0.7071);
    lp.processInPlace(out);
    finishShortSample(out, 45.0, sound.lengthMs, sound.peakDb + 0.6 * rng.bipolar());
    return out;
}

void finishShortSample(Buffer& buffer, double minMs, double maxMs, double peakDb) {
    removeDc(buffer, 30.0);
    trimTail(buffer, minMs, maxMs, -62.0, 12.0);
    fadeEdges(buffer, kFadeInFrames, 0);
    normalizePeak(buffer, peakDb);
}

void addBubble(Buffer& out, const Bubble& bubble, Rng& rng) {
    const std::size_t offset = at(bubble.atMs);
    addTone(out, offset,
            {bubble.hz, bubble.hz * bubble.rise, bubble.riseMs / 2.2, 1.2, bubble.decayMs,
             bubble.lengthMs, bubble.level});
    // A faint second harmonic gives the "wet" edge of a real bubble.
    addTone(out, offset,
            {bubble.hz * 2.02, bubble.hz * 2.02 * bubble.rise, bubble.riseMs / 2.2, 0.8,
             bubble.decayMs * 0.4, bubble.lengthMs * 0.6, bubble.level * 0.12});
    if (bubble.popLevel > 0) {
        Buffer pop = noiseBurst(rng, 4.0, 0.5);
        Biquad lp = Biquad::lowPass(5000, 0.7);
        lp.processInPlace(pop);
        addInto(out, offset, pop, bubble.level * bubble.popLevel);
    }
}

// --- Instruments --------------------------------------------------------------------------------

double midiToHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

Instrument marimba() {
    return [](Buffer& out, std::size_t offset, double hz, double velocity, Rng& rng) {
        // A tuned wooden bar: the overtones sit near 4x and 10x; the tube under the bar keeps
        // the fundamental ringing longer.
        const std::vector<Mode> modes = {{hz, 0.9, 1.0},
                                         {hz * 3.99, 0.32, 0.22 * velocity},
                                         {hz * 9.8, 0.09, 0.08 * velocity},
                                         {hz * 1.002, 1.3, 0.3}};
        const double mallet = 1.6 - 0.6 * velocity;
        addModal(out, offset, malletPulse(rng.vary(mallet, 0.05)),
                 varyModes(modes, rng, 0.002, 0.05, 0.05), velocity);
    };
}

Instrument electricTine() {
    return [](Buffer& out, std::size_t offset, double hz, double velocity, Rng& rng) {
        // Two-operator FM: a bright, bell-like onset that mellows into a clear tone, plus the
        // short metallic "tine" partial that makes it crisp.
        const std::size_t n = frames(1.3);
        const double index0 = 1.6 + 1.0 * velocity;
        const double detune = rng.vary(1.0, 0.001);
        for (std::size_t k = 0; k < n && offset + k < out.size(); ++k) {
            const double t = static_cast<double>(k) / kSampleRate;
            const double index = index0 * std::exp(-t / 0.07);
            const double mod = std::sin(2.0 * kPi * hz * detune * t);
            const double carrier = std::sin(2.0 * kPi * hz * t + index * mod);
            const double tine = std::sin(2.0 * kPi * hz * 7.03 * t) * std::exp(-t / 0.025);
            const double attack = std::min(1.0, t / 0.0015);
            const double env = attack * std::exp(-t / 0.42);
            const double tail = k + 200 >= n ? static_cast<double>(n - k) / 200.0 : 1.0;
            out[offset + k] += static_cast<float>(velocity * tail * env * (carrier + 0.18 * tine));
        }
    };
}

Instrument handBell() {
    return [](Buffer& out, std::size_t offset, double hz, double velocity, Rng& rng) {
        // A small brass bell: hum an octave down, the strike tone, a minor third, fifth and
        // nominal octave, each decaying faster the higher it sits.
        const std::vector<Mode> modes = {{hz * 0.5, 1.6, 0.22},  {hz, 1.4, 1.0},
                                         {hz * 1.19, 0.9, 0.3},  {hz * 1.5, 0.7, 0.22},
                                         {hz * 2.0, 0.6, 0.45},  {hz * 2.51, 0.35, 0.14},
                                         {hz * 3.01, 0.25, 0.09}};
        addModal(out, offset, malletPulse(rng.vary(0.35, 0.1)),
                 varyModes(modes, rng, 0.002, 0.08, 0.1), velocity);
    };
}

Instrument waterDrop() {
    return [](Buffer& out, std::size_t offset, double hz, double velocity, Rng& rng) {
        // A round sine that drops in slightly flat and settles on pitch, like a drop on water.
        addTone(out, offset, {hz * 0.78, hz, 9.0, 2.0, 190.0, 1100.0, velocity});
        addTone(out, offset, {hz * 1.56, hz * 2.0, 9.0, 1.5, 60.0, 400.0, 0.16 * velocity});
        Buffer pop = noiseBurst(rng, 3.0, 0.4);
        Biquad lp = Biquad::lowPass(4000, 0.7);
        lp.processInPlace(pop);
        addInto(out, offset, pop, 0.05 * velocity);
    };
}

const std::vector<std::string>& alertNames() {
    static const std::vector<std::string> names = {"capsOn",     "capsOff",      "charger",
                                                   "batteryLow", "downloadDone", "screenshot",
                                                   "rankUp",     "breakNudge",   "wrapUp"};
    return names;
}

const std::vector<Note>& motif(const std::string& alertName) {
    static const std::map<std::string, std::vector<Note>> motifs = {
        // Caps lock: a quick fifth up for on, the same fifth down for off.
        {"capsOn", {{0.0, 0, 0.8}, {0.085, 7, 0.9}}},
        {"capsOff", {{0.0, 7, 0.85}, {0.085, 0, 0.75}}},
        // Power arriving: a major arpeggio climbing to the octave.
        {"charger", {{0.0, 0, 0.7}, {0.09, 4, 0.75}, {0.18, 7, 0.8}, {0.27, 12, 0.9}}},
        // Battery low: a soft minor descent, concerned but not alarming.
        {"batteryLow", {{0.0, 7, 0.8}, {0.17, 3, 0.7}, {0.34, 0, 0.65}}},
        // A download landed: subdominant colour resolving home.
        {"downloadDone", {{0.0, 5, 0.75}, {0.1, 9, 0.8}, {0.2, 12, 0.9}}},
        // Screenshot: two quick high notes, the shutter of the family.
        {"screenshot", {{0.0, 19, 0.7}, {0.06, 24, 0.6}}},
        // Rank up: a climbing arpeggio that blooms into a chord.
        {"rankUp",
         {{0.0, 0, 0.7},
          {0.1, 4, 0.75},
          {0.2, 7, 0.8},
          {0.3, 12, 0.9},
          {0.46, 12, 0.6},
          {0.47, 16, 0.55},
          {0.48, 19, 0.55}}},
        // Break nudge: slow and gentle, falling, an invitation to lean back.
        {"breakNudge", {{0.0, 12, 0.55}, {0.26, 7, 0.5}, {0.52, 4, 0.45}}},
        // Wrap-up: a stepwise close and a rolled final chord.
        {"wrapUp",
         {{0.0, 7, 0.6},
          {0.18, 5, 0.58},
          {0.36, 4, 0.56},
          {0.56, 0, 0.55},
          {0.58, 4, 0.45},
          {0.6, 7, 0.45},
          {0.62, 12, 0.4}}},
    };
    const auto it = motifs.find(alertName);
    if (it == motifs.end()) {
        throw std::invalid_argument("no motif for alert " + alertName);
    }
    return it->second;
}

Buffer renderMotif(const std::vector<Note>& notes, const Instrument& instrument, double rootNote,
                   double peakDb, Rng& rng) {
    Buffer out(frames(2.2), 0.0f);
    // A few frames of lead-in so the very first attack is not shaved by the fade-in.
    const std::size_t lead = 24;
    for (const Note& note : notes) {
        instrument(out, lead + frames(note.atS), midiToHz(rootNote + note.semitones), note.velocity,
                   rng);
    }
    removeDc(out, 30.0);
    trimTail(out, 150.0, 1950.0, -58.0, 140.0);
    fadeEdges(out, kFadeInFrames, 0);
    normalizePeak(out, peakDb);
    return out;
}

}  // namespace tapwell::themegen

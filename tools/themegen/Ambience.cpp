#include "Ambience.h"

#include <algorithm>
#include <cmath>

#include "Instruments.h"

namespace tapwell::themegen {

namespace {

std::size_t sourceFrames() {
    return frames(kAmbienceSeconds + kLoopFadeSeconds);
}

// A slowly wandering control value in [-1, 1]: random targets every 1/hz seconds joined by
// cosine curves (no corners, so no zipper noise where it drives a level).
Buffer wander(Rng& rng, std::size_t count, double hz) {
    Buffer out(count);
    const double step = kSampleRate / hz;
    double from = rng.bipolar();
    double to = rng.bipolar();
    double pos = 0;
    for (float& s : out) {
        const double x = pos / step;
        s = static_cast<float>(from + (to - from) * (0.5 - 0.5 * std::cos(kPi * x)));
        pos += 1.0;
        if (pos >= step) {
            pos -= step;
            from = to;
            to = rng.bipolar();
        }
    }
    return out;
}

}  // namespace

Buffer finishLoop(const Buffer& source, double rmsDb) {
    Buffer loop = makeLoop(source, frames(kAmbienceSeconds), frames(kLoopFadeSeconds));
    removeDc(loop, 25.0);
    rotateToZeroCrossing(loop);
    const double rms = rmsOf(loop);
    double gain = rms > 0 ? dbToGain(rmsDb) / rms : 1.0;
    const double peak = peakOf(loop) * gain;
    if (peak > dbToGain(-3.0)) {
        gain *= dbToGain(-3.0) / peak;
    }
    scale(loop, gain);
    return loop;
}

Buffer rainOnWindow(Rng& rng) {
    const std::size_t n = sourceFrames();
    Buffer out(n, 0.0f);

    // The steady hiss of rain on the roof and the street, swelling with the gusts.
    Buffer bed = pinkNoise(rng, n);
    Biquad hp = Biquad::highPass(350, 0.6);
    Biquad lp = Biquad::lowPass(6500, 0.6);
    const Buffer gusts = wander(rng, n, 0.12);
    for (std::size_t i = 0; i < n; ++i) {
        const double level = 0.22 * dbToGain(2.5 * gusts[i]);
        out[i] += static_cast<float>(level * lp.process(hp.process(bed[i])));
    }

    // Distant rumble of the city under the rain.
    Buffer rumble = brownNoise(rng, n);
    Biquad rumbleLp = Biquad::lowPass(160, 0.7);
    rumbleLp.processInPlace(rumble);
    addInto(out, 0, rumble, 0.25);

    // Countless small drops ticking on the glass.
    for (double t = rng.exponential(260); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(260)) {
        const double u = rng.uniform();
        const std::vector<Mode> glass = {{rng.range(2200, 6500), rng.range(0.004, 0.012), 1.0},
                                         {rng.range(6500, 9000), 0.004, 0.4}};
        addModal(out, frames(t), malletPulse(rng.range(0.05, 0.15)), glass, 0.05 * u * u * u);
    }

    // Now and then a fat drip lands on the sill.
    for (double t = rng.exponential(1.3); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(1.3)) {
        const double hz = rng.range(900, 2200);
        addTone(out, frames(t),
                {hz, hz * rng.range(1.2, 1.6), 6.0, 0.8, 18.0, 80.0, rng.range(0.02, 0.07)});
    }
    return finishLoop(out, -27.0);
}

Buffer cafeMurmur(Rng& rng) {
    const std::size_t n = sourceFrames();
    Buffer voices(n, 0.0f);

    // Several talkers at other tables: a buzzy voice source through two gliding formants, in
    // syllables and phrases with pauses, each at its own distance.
    const int talkers = 9;
    for (int who = 0; who < talkers; ++who) {
        const bool low = rng.chance(0.5);
        const double basePitch = low ? rng.range(95, 135) : rng.range(175, 235);
        const double distance = rng.range(0.25, 1.0);
        const Buffer intonation = wander(rng, n, 2.5);
        Biquad f1 = Biquad::bandPass(500, 4.0);
        Biquad f2 = Biquad::bandPass(1500, 5.0);
        Smoother f1Glide(18.0);
        Smoother f2Glide(18.0);
        Smoother envGlide(30.0);
        double f1Target = 500, f2Target = 1500, syllableLevel = 0;
        double phase = 0;
        std::size_t nextSyllable = 0;
        std::size_t phraseEnd = frames(rng.range(0.0, 2.0));
        bool speaking = rng.chance(0.6);
        for (std::size_t i = 0; i < n; ++i) {
            if (i >= phraseEnd) {
                speaking = !speaking;
                phraseEnd = i + frames(speaking ? rng.range(1.2, 4.0) : rng.range(0.4, 2.5));
            }
            if (i >= nextSyllable) {
                nextSyllable = i + frames(rng.range(0.11, 0.26));
                f1Target = rng.range(320, 820);
                f2Target = rng.range(950, 2300);
                syllableLevel = speaking ? rng.range(0.35, 1.0) : 0.0;
            }
            if (i % 64 == 0) {
                f1.retune(Biquad::bandPass(f1Glide.process(f1Target), 4.0));
                f2.retune(Biquad::bandPass(f2Glide.process(f2Target), 5.0));
            }
            const double pitch = basePitch * (1.0 + 0.12 * intonation[i]);
            phase += pitch / kSampleRate;
            phase -= std::floor(phase);
            const double source = (2.0 * phase - 1.0) + 0.35 * rng.bipolar();
            const double env = envGlide.process(syllableLevel);
            const double voice = f1.process(static_cast<float>(source)) +
                                 0.6 * f2.process(static_cast<float>(source));
            voices[i] += static_cast<float>(distance * env * voice);
        }
    }
    Biquad voiceLp = Biquad::lowPass(2800, 0.7);
    voiceLp.processInPlace(voices);
    applyRoom(voices, 1.6, 0.4, 0.45);

    Buffer out(n, 0.0f);
    addInto(out, 0, voices, 1.0);

    // Room tone: ventilation and the street behind the window.
    Buffer room = pinkNoise(rng, n);
    Biquad roomLp = Biquad::lowPass(700, 0.7);
    roomLp.processInPlace(room);
    addInto(out, 0, room, 0.06);

    // Cups set down on saucers and a spoon stirring, here and there.
    Buffer clinks(n, 0.0f);
    for (double t = rng.exponential(0.45); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(0.45)) {
        const double base = rng.range(1900, 3200);
        const std::vector<Mode> cup = {
            {base, 0.35, 1.0}, {base * 2.32, 0.2, 0.5}, {base * 3.9, 0.1, 0.25}};
        const int strikes = rng.chance(0.3) ? rng.integer(3, 6) : 1;
        double when = t;
        for (int k = 0; k < strikes; ++k) {
            addModal(clinks, frames(when), malletPulse(rng.range(0.08, 0.2)),
                     varyModes(cup, rng, 0.01, 0.1, 0.2), rng.range(0.05, 0.16));
            when += rng.range(0.09, 0.16);
        }
    }
    applyRoom(clinks, 1.6, 0.4, 0.3);
    addInto(out, 0, clinks, 1.0);
    return finishLoop(out, -28.0);
}

Buffer fireplace(Rng& rng) {
    const std::size_t n = sourceFrames();
    Buffer out(n, 0.0f);

    // The roar of the flames: deep noise breathing with the flicker.
    Buffer roar = brownNoise(rng, n);
    Biquad roarLp = Biquad::lowPass(260, 0.7);
    roarLp.processInPlace(roar);
    const Buffer flicker = wander(rng, n, 0.7);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] += static_cast<float>(0.5 * dbToGain(4.0 * flicker[i]) * roar[i]);
    }

    // Hiss of escaping gas and sap, quiet and fast-moving.
    Buffer hiss = whiteNoise(rng, n);
    Biquad hissBand = Biquad::bandPass(3200, 0.6);
    hissBand.processInPlace(hiss);
    const Buffer hissLevel = wander(rng, n, 3.0);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] += static_cast<float>(0.03 * (0.6 + 0.4 * hissLevel[i]) * hiss[i]);
    }

    // Crackles arrive in little clusters; most are tiny, a few snap.
    for (double t = rng.exponential(5.5); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(5.5)) {
        const int cluster = rng.integer(1, 6);
        double when = t;
        for (int k = 0; k < cluster; ++k) {
            const double u = rng.uniform();
            Buffer spark = noiseBurst(rng, rng.range(0.3, 2.0), rng.range(0.1, 0.5));
            const std::vector<Mode> wood = {{rng.range(1400, 6500), rng.range(0.006, 0.02), 1.0}};
            addModal(out, frames(when), spark, wood, 0.18 * u * u);
            addInto(out, frames(when), spark, 0.08 * u * u);
            when += rng.range(0.005, 0.05);
        }
    }

    // Pops: a pocket of resin bursting, lower and fuller.
    for (double t = rng.exponential(0.35); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(0.35)) {
        Buffer burst = noiseBurst(rng, 25.0, rng.range(2.0, 6.0));
        const std::vector<Mode> body = {{rng.range(500, 1300), 0.03, 1.0},
                                        {rng.range(1800, 3000), 0.015, 0.5}};
        addModal(out, frames(t), burst, body, rng.range(0.025, 0.06));
    }

    // Once in a while a log settles with a soft thump.
    for (double t = rng.range(3.0, 9.0); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.range(8.0, 14.0)) {
        const std::vector<Mode> log = {{rng.range(70, 110), 0.25, 1.0},
                                       {rng.range(160, 240), 0.12, 0.5}};
        addModal(out, frames(t), malletPulse(6.0), log, 0.02);
    }
    return finishLoop(out, -27.0);
}

Buffer brook(Rng& rng) {
    const std::size_t n = sourceFrames();
    Buffer out(n, 0.0f);

    // The rush of water over stones.
    Buffer rush = pinkNoise(rng, n);
    Biquad rushHp = Biquad::highPass(300, 0.7);
    Biquad rushLp = Biquad::lowPass(2600, 0.7);
    const Buffer swell = wander(rng, n, 0.3);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] += static_cast<float>(0.12 * dbToGain(2.0 * swell[i]) *
                                     rushLp.process(rushHp.process(rush[i])));
    }

    // The babble: a dense stream of small bubbles, pitch rising as each one surfaces.
    for (double t = rng.exponential(140); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(140)) {
        const double hz = 380.0 * std::pow(2.0, rng.range(0.0, 2.6));
        const double u = rng.uniform();
        addBubble(out,
                  {t * 1000.0, hz, rng.range(1.2, 1.7), rng.range(8, 25), rng.range(6, 22), 70.0,
                   0.05 * u * u, 0.0},
                  rng);
    }

    // A few bigger, rounder bloops from deeper pockets.
    for (double t = rng.exponential(0.6); t < kAmbienceSeconds + kLoopFadeSeconds;
         t += rng.exponential(0.6)) {
        addBubble(out,
                  {t * 1000.0, rng.range(180, 360), rng.range(1.3, 1.8), 40, 45, 150,
                   rng.range(0.05, 0.12), 0.0},
                  rng);
    }
    applyRoom(out, 0.8, 0.3, 0.2);
    return finishLoop(out, -27.0);
}

}  // namespace tapwell::themegen

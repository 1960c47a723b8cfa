#pragma once
// Sound models shared by the theme recipes: struck objects made of timed hits (keys, type bars,
// carriages), bubbles, and the tuned instruments the alert motifs are played on.

#include <functional>
#include <vector>

#include "Dsp.h"

namespace tapwell::themegen {

// One strike inside a sound: a mallet pulse exciting a set of modes, plus a burst of contact noise.
struct Hit {
    double atMs = 0;
    std::vector<Mode> modes;
    double malletMs = 1.0;
    double level = 1.0;
    double noiseLevel = 0;
    double noiseTauMs = 1.0;
    double noiseHighPassHz = 2000;
};

// A key press or any other short mechanical event, described as a little score of hits.
struct ImpactSound {
    std::vector<Hit> hits;
    // Friction of stem, spring or lever before the first hit (band-passed noise swelling up).
    double slideLevel = 0;
    double slideMs = 0;
    double slideHz = 1500;
    // Loose metal (stabiliser wires, carriage parts): small random ticks after the first hit.
    double rattleLevel = 0;
    int rattleCount = 0;
    double rattleFromMs = 4;
    double rattleToMs = 30;
    std::vector<Mode> rattleModes;
    // Tone shaping of the whole sound.
    double lowPassHz = 14000;
    double colourHz = 0;  // 0: no colour band
    double colourDb = 0;
    double colourQ = 1.0;
    double lengthMs = 150;  // upper bound; the tail is trimmed where the sound has died away
    double peakDb = -3;
    // How far each render strays from the description (1 = the usual spread).
    double spread = 1.0;
};

// Renders one variant: times, modes, levels and mallets vary with `rng`; the result is finished
// (no DC, faded to zero at both ends, 40 ms minimum, peak at `peakDb`).
Buffer renderImpact(const ImpactSound& sound, Rng& rng);

// A bubble: a sine whose pitch rises as it nears the surface, with a tiny noise pop at the start.
struct Bubble {
    double atMs = 0;
    double hz = 800;
    double rise = 1.5;  // end pitch / start pitch (below 1 for a falling "bwoop")
    double riseMs = 25;
    double decayMs = 30;
    double lengthMs = 90;
    double level = 1.0;
    double popLevel = 0.15;
};
void addBubble(Buffer& out, const Bubble& bubble, Rng& rng);
// Finishes a bubble-built key sample the same way renderImpact finishes its sounds.
void finishShortSample(Buffer& buffer, double minMs, double maxMs, double peakDb);

// --- Alerts -------------------------------------------------------------------------------------

// One note of a motif: start time, pitch in semitones above the theme's root, loudness 0..1.
struct Note {
    double atS;
    double semitones;
    double velocity;
};

// Plays one note of frequency `hz` into `out` at `offset`.
using Instrument =
    std::function<void(Buffer& out, std::size_t offset, double hz, double velocity, Rng& rng)>;

Instrument marimba();
Instrument electricTine();
Instrument handBell();
Instrument waterDrop();

// The motif of each alert name, in semitones relative to a root; the same melodies sound in
// every theme, each theme plays them on its own instrument and in its own key.
const std::vector<Note>& motif(const std::string& alertName);
const std::vector<std::string>& alertNames();

// Renders `notes` on `instrument` from MIDI `rootNote`; at most 2 s, finished and normalised.
Buffer renderMotif(const std::vector<Note>& notes, const Instrument& instrument, double rootNote,
                   double peakDb, Rng& rng);

double midiToHz(double note);

}  // namespace tapwell::themegen

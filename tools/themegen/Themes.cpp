#include "Themes.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "Ambience.h"
#include "Instruments.h"
#include "WavIo.h"
#include "themes/Theme.h"

namespace tapwell::themegen {

namespace {

std::string numbered(const char* stem, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "%s-%02d.wav", stem, index);
    return name;
}

FileRecipe impact(std::string name, FileRole role, ImpactSound sound) {
    return {std::move(name), role, [sound](Rng& rng) { return renderImpact(sound, rng); }};
}

// Adds `count` key-down and key-up variants made from the same descriptions.
void addPools(std::vector<FileRecipe>& files, const ImpactSound& down, int downCount,
              const ImpactSound& up, int upCount) {
    for (int i = 1; i <= downCount; ++i) {
        files.push_back(impact(numbered("down", i), FileRole::keyDown, down));
    }
    for (int i = 1; i <= upCount; ++i) {
        files.push_back(impact(numbered("up", i), FileRole::keyUp, up));
    }
}

void addAlerts(std::vector<FileRecipe>& files, const Instrument& instrument, double rootNote) {
    for (const std::string& alert : alertNames()) {
        // Gentle alerts sit a little lower so that none of them startles.
        double peakDb = -3.0;
        if (alert == "breakNudge" || alert == "screenshot") {
            peakDb = -4.5;
        } else if (alert == "batteryLow" || alert == "wrapUp") {
            peakDb = -3.5;
        }
        files.push_back({"alert-" + alert + ".wav", FileRole::alert,
                         [alert, instrument, rootNote, peakDb](Rng& rng) {
                             return renderMotif(motif(alert), instrument, rootNote, peakDb, rng);
                         }});
    }
}

// --- Deep thock: lubed linear switches, thick PBT caps, a heavy foamed case ---------------------

ThemeRecipe thock() {
    ThemeRecipe theme{"thock", 0x7403C4ULL, {}};

    ImpactSound down;
    down.slideLevel = 0.02;  // lubed: the travel is nearly silent
    down.slideMs = 2.5;
    down.slideHz = 1100;
    down.hits = {
        {2.5,
         {{210, 0.06, 0.7},
          {380, 0.05, 0.9},
          {620, 0.04, 0.85},
          {980, 0.03, 0.65},
          {1650, 0.02, 0.5},
          {2600, 0.012, 0.3},
          {3800, 0.008, 0.12}},
         0.3,
         1.0,
         0.12,
         0.5,
         1500},
        // The cap settles on the stem a moment after the bottom-out.
        {5.0, {{420, 0.025, 0.5}, {1100, 0.012, 0.3}}, 0.5, 0.35, 0, 1, 2000},
    };
    down.lowPassHz = 5500;
    down.colourHz = 420;
    down.colourDb = 3.0;
    down.colourQ = 0.9;
    down.lengthMs = 140;
    down.peakDb = -3.0;

    ImpactSound up;
    up.hits = {{0.8,
                {{640, 0.025, 0.6}, {1350, 0.015, 0.5}, {2900, 0.008, 0.3}},
                0.25,
                1.0,
                0.1,
                0.4,
                2500}};
    up.lowPassHz = 6000;
    up.lengthMs = 80;
    up.peakDb = -4.5;

    const std::vector<Mode> wire = {{3100, 0.03, 1.0}, {4700, 0.02, 0.6}, {7200, 0.012, 0.3}};

    ImpactSound space;
    space.slideLevel = 0.03;
    space.slideMs = 3.0;
    space.slideHz = 900;
    space.hits = {
        {3.0,
         {{95, 0.11, 0.8},
          {165, 0.09, 0.9},
          {290, 0.07, 0.8},
          {470, 0.05, 0.7},
          {780, 0.035, 0.55},
          {1300, 0.02, 0.4},
          {2300, 0.012, 0.2}},
         0.4,
         1.0,
         0.12,
         0.6,
         1200},
        // The far end of the bar lands a few milliseconds later.
        {9.0, {{120, 0.07, 0.6}, {340, 0.05, 0.4}, {900, 0.02, 0.2}}, 0.5, 0.5, 0.05, 0.5, 1500},
    };
    space.rattleLevel = 0.12;
    space.rattleCount = 4;
    space.rattleFromMs = 6;
    space.rattleToMs = 40;
    space.rattleModes = wire;
    space.lowPassHz = 5000;
    space.colourHz = 140;
    space.colourDb = 3.0;
    space.lengthMs = 220;
    space.peakDb = -2.0;

    ImpactSound enter = space;
    enter.hits = {
        {2.5,
         {{130, 0.09, 0.8},
          {230, 0.07, 0.9},
          {400, 0.05, 0.8},
          {700, 0.035, 0.65},
          {1600, 0.02, 0.45},
          {2700, 0.012, 0.22}},
         0.35,
         1.0,
         0.12,
         0.6,
         1400},
        {6.0,
         {{160, 0.06, 0.5}, {450, 0.04, 0.35}, {1100, 0.015, 0.2}},
         0.5,
         0.45,
         0.05,
         0.5,
         1500},
    };
    enter.rattleLevel = 0.07;
    enter.rattleCount = 3;
    enter.rattleToMs = 30;
    enter.colourHz = 190;
    enter.lengthMs = 190;
    enter.peakDb = -2.5;

    ImpactSound backspace = enter;
    backspace.hits = {
        {2.5,
         {{150, 0.08, 0.8},
          {270, 0.06, 0.9},
          {460, 0.045, 0.8},
          {820, 0.03, 0.65},
          {1900, 0.018, 0.45},
          {3000, 0.01, 0.2}},
         0.32,
         1.0,
         0.12,
         0.5,
         1500},
        {5.0, {{190, 0.05, 0.45}, {520, 0.03, 0.3}}, 0.5, 0.4, 0, 1, 2000},
    };
    backspace.rattleLevel = 0.05;
    backspace.rattleCount = 2;
    backspace.rattleToMs = 25;
    backspace.colourHz = 210;
    backspace.lengthMs = 170;
    backspace.peakDb = -2.8;

    addPools(theme.files, down, 10, up, 5);
    theme.files.push_back(impact("space.wav", FileRole::space, space));
    theme.files.push_back(impact("return.wav", FileRole::enter, enter));
    theme.files.push_back(impact("backspace.wav", FileRole::backspace, backspace));
    addAlerts(theme.files, marimba(), 67);
    theme.files.push_back({"ambience.wav", FileRole::ambience, rainOnWindow});
    return theme;
}

// --- Crisp click: click-jacket switches, thin ABS caps on an aluminium plate --------------------

ThemeRecipe clicky() {
    ThemeRecipe theme{"clicky", 0xC11C4ULL, {}};

    const Hit jacket{
        0.6, {{3800, 0.006, 1.0}, {5600, 0.004, 0.7}, {7900, 0.003, 0.4}}, 0.08, 1.0, 0.5, 0.25,
        3500};

    ImpactSound down;
    down.hits = {
        jacket,
        // Bottom-out on the plate, which pings faintly.
        {11.0,
         {{420, 0.025, 0.8},
          {780, 0.02, 0.7},
          {1500, 0.015, 0.6},
          {2700, 0.01, 0.4},
          {4300, 0.035, 0.06}},
         0.2,
         0.8,
         0.2,
         0.4,
         2000},
    };
    down.lowPassHz = 12000;
    down.colourHz = 3500;
    down.colourDb = 3.0;
    down.colourQ = 1.2;
    down.lengthMs = 110;
    down.peakDb = -3.0;

    ImpactSound up;
    up.hits = {
        {0.6, {{3300, 0.005, 1.0}, {5000, 0.004, 0.6}}, 0.1, 1.0, 0.3, 0.25, 3000},
        {6.0, {{900, 0.012, 0.6}, {2000, 0.008, 0.5}}, 0.2, 0.5, 0.1, 0.3, 2500},
    };
    up.lowPassHz = 12000;
    up.lengthMs = 70;
    up.peakDb = -4.0;

    const std::vector<Mode> wire = {{2900, 0.04, 1.0}, {4400, 0.025, 0.7}, {6800, 0.015, 0.4}};
    Hit softJacket = jacket;
    softJacket.level = 0.55;
    softJacket.noiseLevel = 0.3;

    ImpactSound space;
    space.hits = {
        softJacket,
        {12.0,
         {{140, 0.07, 1.0},
          {260, 0.06, 0.8},
          {520, 0.04, 0.6},
          {1100, 0.025, 0.45},
          {2200, 0.015, 0.3}},
         0.3,
         1.0,
         0.2,
         0.5,
         1500},
        {17.0, {{180, 0.05, 0.6}, {600, 0.03, 0.4}, {1400, 0.015, 0.25}}, 0.3, 0.5, 0.1, 0.5, 2000},
    };
    space.rattleLevel = 0.2;
    space.rattleCount = 5;
    space.rattleFromMs = 12;
    space.rattleToMs = 45;
    space.rattleModes = wire;
    space.lowPassHz = 10000;
    space.lengthMs = 210;
    space.peakDb = -2.0;

    ImpactSound enter = space;
    enter.hits = {
        softJacket,
        {11.0,
         {{220, 0.06, 1.0}, {420, 0.045, 0.7}, {900, 0.025, 0.5}, {1800, 0.015, 0.35}},
         0.25,
         1.0,
         0.2,
         0.5,
         1800},
        {15.0, {{260, 0.04, 0.5}, {700, 0.03, 0.35}}, 0.3, 0.45, 0.1, 0.5, 2000},
    };
    enter.rattleLevel = 0.14;
    enter.rattleCount = 4;
    enter.rattleToMs = 38;
    enter.lengthMs = 180;
    enter.peakDb = -2.4;

    ImpactSound backspace = enter;
    backspace.hits = {
        jacket,
        {11.0,
         {{260, 0.05, 1.0}, {500, 0.035, 0.7}, {1050, 0.022, 0.5}, {2100, 0.012, 0.35}},
         0.22,
         0.9,
         0.2,
         0.45,
         2000},
    };
    backspace.rattleLevel = 0.1;
    backspace.rattleCount = 3;
    backspace.rattleToMs = 32;
    backspace.lengthMs = 160;
    backspace.peakDb = -2.8;

    addPools(theme.files, down, 10, up, 5);
    theme.files.push_back(impact("space.wav", FileRole::space, space));
    theme.files.push_back(impact("return.wav", FileRole::enter, enter));
    theme.files.push_back(impact("backspace.wav", FileRole::backspace, backspace));
    addAlerts(theme.files, electricTine(), 72);
    theme.files.push_back({"ambience.wav", FileRole::ambience, cafeMurmur});
    return theme;
}

// --- Typewriter: type bars on a rubber platen, escapement, bell and carriage --------------------

ThemeRecipe typewriter() {
    ThemeRecipe theme{"typewriter", 0x7E5E3ULL, {}};

    const std::vector<Mode> escapementModes = {
        {3100, 0.015, 1.0}, {4600, 0.01, 0.6}, {620, 0.02, 0.5}};

    ImpactSound down;
    // The key lever swings the type bar up towards the platen.
    down.slideLevel = 0.08;
    down.slideMs = 6.0;
    down.slideHz = 900;
    down.hits = {
        // The slug strikes through the ribbon: rubber thud plus ringing steel.
        {6.0,
         {{190, 0.04, 0.7},
          {330, 0.03, 0.5},
          {1750, 0.07, 0.5},
          {2680, 0.06, 0.45},
          {3900, 0.04, 0.35},
          {5300, 0.03, 0.2}},
         0.15,
         1.0,
         0.6,
         0.5,
         1800},
        // The escapement lets the carriage step one letter on.
        {30.0, escapementModes, 0.1, 0.3, 0.1, 0.3, 3000},
        {48.0, escapementModes, 0.1, 0.15, 0.05, 0.3, 3000},
    };
    down.lowPassHz = 11000;
    down.colourHz = 2200;
    down.colourDb = 2.0;
    down.lengthMs = 190;
    down.peakDb = -2.5;

    ImpactSound up;
    // The type bar drops back onto its felt rest and the key lever returns.
    up.hits = {
        {1.0, {{260, 0.035, 1.0}, {480, 0.03, 0.6}, {1500, 0.03, 0.25}}, 0.9, 1.0, 0.05, 1.0, 800}};
    up.lowPassHz = 7000;
    up.lengthMs = 90;
    up.peakDb = -5.0;

    ImpactSound space;
    // No type bar: the long space bar trips the escapement with a heavy wooden thunk.
    space.slideLevel = 0.05;
    space.slideMs = 4.0;
    space.slideHz = 600;
    space.hits = {
        {4.0,
         {{85, 0.12, 1.0},
          {150, 0.1, 0.85},
          {260, 0.07, 0.65},
          {480, 0.05, 0.45},
          {900, 0.035, 0.3},
          {1400, 0.03, 0.2}},
         0.7,
         1.0,
         0.1,
         1.2,
         800},
        {22.0, escapementModes, 0.1, 0.25, 0.1, 0.3, 3000},
        {38.0, escapementModes, 0.1, 0.2, 0.08, 0.3, 3000},
    };
    space.rattleLevel = 0.1;
    space.rattleCount = 3;
    space.rattleFromMs = 5;
    space.rattleToMs = 30;
    space.rattleModes = {{2200, 0.03, 1.0}, {3500, 0.02, 0.6}};
    space.lowPassHz = 8000;
    space.lengthMs = 230;
    space.peakDb = -1.8;

    ImpactSound enter;
    // The margin bell rings, then the carriage is thrown back and its ratchet zips.
    const double bellHz = 2480;
    enter.hits = {
        {1.0, {{160, 0.06, 1.0}, {300, 0.05, 0.6}, {700, 0.03, 0.3}}, 0.8, 0.6, 0.05, 1.0, 800},
        {3.0,
         {{bellHz, 0.6, 1.0},
          {bellHz * 2.39, 0.4, 0.35},
          {bellHz * 3.79, 0.2, 0.15},
          {bellHz * 0.5, 0.5, 0.1}},
         0.12,
         0.8,
         0,
         1,
         2000},
    };
    const std::vector<Mode> ratchet = {{2900, 0.012, 1.0}, {4300, 0.008, 0.5}, {700, 0.015, 0.4}};
    const double ratchetTimes[] = {40, 58, 74, 88, 101, 113, 124, 134, 144, 153};
    double level = 0.25;
    for (const double t : ratchetTimes) {
        enter.hits.push_back({t, ratchet, 0.1, level, 0.08, 0.3, 2500});
        level *= 0.92;
    }
    // The carriage rolling on its rails.
    enter.hits.push_back({40.0, {}, 1.0, 0.0, 0.05, 50.0, 300});
    enter.lowPassHz = 10000;
    enter.lengthMs = 245;
    enter.peakDb = -2.0;

    ImpactSound backspace;
    // The back-space lever pulls the carriage one step back against the escapement.
    backspace.hits = {
        {1.0, {{210, 0.05, 1.0}, {390, 0.04, 0.6}, {800, 0.025, 0.3}}, 0.6, 0.7, 0.05, 0.8, 1000},
        {14.0,
         {{2600, 0.02, 1.0}, {3900, 0.012, 0.6}, {520, 0.03, 0.8}},
         0.12,
         0.6,
         0.25,
         0.4,
         2000},
        {26.0,
         {{2600, 0.02, 1.0}, {3900, 0.012, 0.6}, {520, 0.03, 0.8}},
         0.12,
         0.3,
         0.1,
         0.3,
         2000},
    };
    backspace.lowPassHz = 10000;
    backspace.lengthMs = 150;
    backspace.peakDb = -2.8;

    addPools(theme.files, down, 10, up, 5);
    theme.files.push_back(impact("space.wav", FileRole::space, space));
    theme.files.push_back(impact("return.wav", FileRole::enter, enter));
    theme.files.push_back(impact("backspace.wav", FileRole::backspace, backspace));
    addAlerts(theme.files, handBell(), 74);
    theme.files.push_back({"ambience.wav", FileRole::ambience, fireplace});
    return theme;
}

// --- Bubbles: every key a bubble, tuned to a pentatonic scale -----------------------------------

FileRecipe bubbleFile(std::string name, FileRole role, std::vector<Bubble> bubbles, double maxMs,
                      double peakDb) {
    return {std::move(name), role, [bubbles, maxMs, peakDb](Rng& rng) {
                Buffer out(frames((maxMs + 20.0) / 1000.0), 0.0f);
                for (Bubble b : bubbles) {
                    b.hz = rng.vary(b.hz, 0.01);
                    b.rise = rng.vary(b.rise, 0.06);
                    b.decayMs = rng.vary(b.decayMs, 0.12);
                    b.level = rng.vary(b.level, 0.1);
                    addBubble(out, b, rng);
                }
                Biquad lp = Biquad::lowPass(7000, 0.7);
                lp.processInPlace(out);
                finishShortSample(out, 45.0, maxMs, peakDb + 0.5 * rng.bipolar());
                return out;
            }};
}

ThemeRecipe bubbles() {
    ThemeRecipe theme{"bubbles", 0xB0BB1EULL, {}};
    // E major pentatonic, in an order that never walks straight up or down.
    const double notes[] = {83, 76, 88, 80, 71, 92, 78, 85, 90, 73};
    int index = 1;
    for (const double note : notes) {
        const double rise = 1.45;
        theme.files.push_back(
            bubbleFile(numbered("down", index++), FileRole::keyDown,
                       {{1.0, midiToHz(note) / rise, rise, 20, 20, 100, 1.0, 0.12}}, 110, -3.0));
    }
    const double drops[] = {1900, 2250, 2050, 2450, 2150};
    index = 1;
    for (const double hz : drops) {
        theme.files.push_back(bubbleFile(numbered("up", index++), FileRole::keyUp,
                                         {{0.5, hz, 1.3, 6, 9, 50, 1.0, 0.05}}, 60, -5.0));
    }
    // Space: one big slow bubble and a small one rising after it.
    theme.files.push_back(bubbleFile(
        "space.wav", FileRole::space,
        {{1.0, 330, 1.5, 35, 45, 200, 1.0, 0.15}, {55.0, 620, 1.4, 18, 25, 100, 0.45, 0.08}}, 210,
        -2.0));
    // Return: a little rising trio with a sparkle on top.
    theme.files.push_back(bubbleFile("return.wav", FileRole::enter,
                                     {{1.0, midiToHz(76) / 1.35, 1.35, 20, 28, 110, 1.0, 0.1},
                                      {45.0, midiToHz(80) / 1.35, 1.35, 20, 28, 110, 0.9, 0.08},
                                      {90.0, midiToHz(83) / 1.35, 1.35, 20, 30, 120, 0.85, 0.08},
                                      {130.0, midiToHz(88) / 1.35, 1.35, 15, 25, 100, 0.5, 0.05}},
                                     240, -2.2));
    // Backspace: a bubble that sinks instead of rising, like an undo.
    theme.files.push_back(bubbleFile("backspace.wav", FileRole::backspace,
                                     {{1.0, 900, 0.55, 40, 40, 150, 1.0, 0.12}}, 160, -2.8));
    addAlerts(theme.files, waterDrop(), 76);
    theme.files.push_back({"ambience.wav", FileRole::ambience, brook});
    return theme;
}

}  // namespace

const std::vector<ThemeRecipe>& builtInThemes() {
    static const std::vector<ThemeRecipe> themes = {thock(), clicky(), typewriter(), bubbles()};
    return themes;
}

Buffer renderFile(const ThemeRecipe& theme, const FileRecipe& file) {
    Rng rng(seedFor(theme.seed, file.name));
    return file.render(rng);
}

std::expected<void, std::string> generateTheme(const ThemeRecipe& theme,
                                               const std::filesystem::path& manifestDir,
                                               const std::filesystem::path& outDir) {
    namespace fs = std::filesystem;
    const fs::path manifestPath = manifestDir / theme.folder / "theme.json";
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) {
        return std::unexpected(manifestPath.string() + ": cannot read the manifest");
    }
    std::stringstream text;
    text << in.rdbuf();
    const std::string manifestText = text.str();

    // Every file the manifest names must be one this recipe makes.
    const auto manifest = decodeTheme(manifestText);
    if (!manifest) {
        return std::unexpected(manifestPath.string() + ": " + manifest.error().description);
    }
    std::set<std::string> made;
    for (const FileRecipe& f : theme.files) {
        made.insert(f.name);
    }
    for (const std::string& n : manifest->sounds.allFiles()) {
        if (!made.contains(n)) {
            return std::unexpected(manifestPath.string() + ": names \"" + n +
                                   "\", which themegen does not make for " + theme.folder);
        }
    }

    const fs::path folder = outDir / theme.folder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return std::unexpected(folder.string() + ": " + ec.message());
    }
    for (const FileRecipe& f : theme.files) {
        if (auto written = writeWav(folder / f.name, renderFile(theme, f)); !written) {
            return written;
        }
    }
    // The manifest goes last: a folder only looks like a theme once its audio is complete.
    const fs::path target = folder / "theme.json";
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << manifestText;
    out.close();
    if (!out) {
        return std::unexpected(target.string() + ": cannot write the manifest");
    }
    return {};
}

}  // namespace tapwell::themegen

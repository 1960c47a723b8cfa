#include "themegen/ThemeCheck.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>

#include "support/TempDir.h"
#include "themegen/Dsp.h"
#include "themegen/Instruments.h"
#include "themegen/WavIo.h"

namespace tapwell::themegen {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json languages(const std::string& text) {
    return {{"en", text}, {"zh-Hans", text + " zh"}, {"ja", text + " ja"}};
}

json validManifest(const std::string& id) {
    json ranks = json::array();
    json quips = json::array();
    for (int i = 0; i < 6; ++i) {
        ranks.push_back("Rank " + std::to_string(i));
        quips.push_back({"Line one of " + std::to_string(i), "Line two"});
    }
    json keyDown = json::array();
    for (int i = 1; i <= 8; ++i) {
        keyDown.push_back("down-0" + std::to_string(i) + ".wav");
    }
    json alerts = json::object();
    for (const std::string& a : alertNames()) {
        alerts[a] = "alert.wav";
    }
    return {{"schemaVersion", 1},
            {"id", id},
            {"isDefault", true},
            {"name", languages("Name")},
            {"shortName", languages("Short")},
            {"tagline", languages("Tagline")},
            {"colors",
             {{"accent", "#1F5FD6"},
              {"onAccent", "#FFFFFF"},
              {"tile", "#E8EEF8"},
              {"keycap", "#f7F9fc"},
              {"recap",
               {{"background", "#F4F7FB"},
                {"text", "#0E1A2B"},
                {"secondary", "#4A5A70"},
                {"accent", "#1F5FD6"}}}}},
            {"recapNumberFont", nullptr},
            {"ranks", {{"en", ranks}, {"zh-Hans", ranks}, {"ja", ranks}}},
            {"recapQuips", {{"en", quips}, {"zh-Hans", quips}, {"ja", quips}}},
            {"floatText", nullptr},
            {"sounds",
             {{"keyDown", keyDown},
              {"keyUp", {"up-01.wav", "up-02.wav", "up-03.wav", "up-04.wav"}},
              {"space", "space.wav"},
              {"return", "return.wav"},
              {"backspace", "backspace.wav"},
              {"alerts", alerts},
              {"ambience", "ambience.wav"}}},
            {"mix", {{"typingGainDb", 0.0}, {"alertGainDb", 0.0}, {"keyUpRelativeDb", -3.0}}},
            {"placeholder", false}};
}

bool mentions(const std::vector<std::string>& problems, const std::string& part) {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

// A short decaying tone, finished like a key sample.
Buffer key(double hz, double ms, double peakDb) {
    Buffer b(frames(ms / 1000.0), 0.0f);
    addTone(b, 20, {hz, hz, 1, 0.5, ms / 6.0, ms, 1.0});
    fadeEdges(b, 8, 8);
    normalizePeak(b, peakDb);
    return b;
}

Buffer ambience(double seconds) {
    Rng rng(3);
    Buffer source = pinkNoise(rng, frames(seconds + 1.0));
    Buffer loop = makeLoop(source, frames(seconds), frames(1.0));
    rotateToZeroCrossing(loop);
    scale(loop, 0.2);
    return loop;
}

class ThemeCheckFolder : public ::testing::Test {
  protected:
    fs::path folder(const std::string& id = "sample") { return temp_.path() / id; }

    void writeManifest(const json& m, const std::string& id = "sample") {
        fs::create_directories(folder(id));
        std::ofstream(folder(id) / "theme.json") << m.dump(2);
    }

    void writeSound(const std::string& name, const Buffer& b, const std::string& id = "sample") {
        fs::create_directories(folder(id));
        ASSERT_TRUE(writeWav(folder(id) / name, b).has_value());
    }

    // A complete theme that passes every rule; `level` shifts its key samples.
    void writeTheme(const std::string& id = "sample", double level = -3.0) {
        writeManifest(validManifest(id), id);
        for (int i = 1; i <= 8; ++i) {
            writeSound("down-0" + std::to_string(i) + ".wav", key(400.0 + 50 * i, 80, level), id);
        }
        for (int i = 1; i <= 4; ++i) {
            writeSound("up-0" + std::to_string(i) + ".wav", key(1500.0 + 100 * i, 50, -5), id);
        }
        writeSound("space.wav", key(200, 150, -2), id);
        writeSound("return.wav", key(250, 150, -2), id);
        writeSound("backspace.wav", key(300, 120, -2), id);
        writeSound("alert.wav", key(880, 1200, -3), id);
        writeSound("ambience.wav", ambience(20.5), id);
    }

    const FileReport& file(const ThemeReport& r, const std::string& name) {
        for (const FileReport& f : r.files) {
            if (f.name == name) {
                return f;
            }
        }
        ADD_FAILURE() << name << " is not in the report";
        static const FileReport none;
        return none;
    }

    test::TempDir temp_;
};

TEST(ContrastRatio, FollowsTheWcagFormula) {
    EXPECT_NEAR(*contrastRatio("#000000", "#FFFFFF"), 21.0, 1e-9);
    EXPECT_NEAR(*contrastRatio("#777777", "#777777"), 1.0, 1e-9);
    EXPECT_NEAR(*contrastRatio("#767676", "#ffffff"), 4.54, 0.01);
    EXPECT_EQ(contrastRatio("#abcDEF", "#000000"), contrastRatio("#ABCDEF", "#000000"));
    EXPECT_FALSE(contrastRatio("#12345", "#000000"));
    EXPECT_FALSE(contrastRatio("#12345G", "#000000"));
    EXPECT_FALSE(contrastRatio("123456#", "#000000"));
}

Theme validTheme() {
    auto theme = decodeTheme(validManifest("sample").dump());
    EXPECT_TRUE(theme.has_value());
    return theme.value_or(Theme{});
}

template <typename Mutate>
std::vector<std::string> checkMutated(Mutate mutate) {
    Theme theme = validTheme();
    mutate(theme);
    return checkManifest(theme, "sample");
}

TEST(ManifestCheck, AcceptsACompleteManifestWithExtraLanguagesAndOptionals) {
    auto problems = checkManifest(validTheme(), "sample");
    EXPECT_TRUE(problems.empty()) << problems.front();
    problems = checkMutated([](Theme& t) {
        t.ranks["de"] = {"a", "b", "c"};
        t.floatText =
            std::map<std::string, std::string>{{"en", "pop"}, {"zh-Hans", "pop"}, {"ja", "pop"}};
        t.recapNumberFont = "DejaVu Sans Mono";
    });
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(ManifestCheck, NamesWhatTheProgramsLoaderRefuses) {
    const std::vector<std::pair<std::function<void(Theme&)>, std::string>> cases = {
        {[](Theme& t) { t.schemaVersion = 2; }, "schemaVersion"},
        {[](Theme& t) { t.id = "Sample"; }, "folder name"},
        {[](Theme& t) { t.sounds.alerts.erase("rankUp"); }, "rankUp"},
        {[](Theme& t) { t.ranks["ja"].pop_back(); }, "ranks"},
        {[](Theme& t) { t.ranks["zh-Hans"][2] = ""; }, "ranks"},
        {[](Theme& t) { t.name.erase("zh-Hans"); }, "\"name\""},
        {[](Theme& t) { t.shortName["ja"] = ""; }, "shortName"},
        {[](Theme& t) { t.colors.tile = "#12345"; }, "colors.tile"},
        {[](Theme& t) { t.colors.recap.accent = "#12345G"; }, "colors.recap.accent"},
        {[](Theme& t) { t.mix.alertGainDb = INFINITY; }, "finite"},
        {[](Theme& t) { t.sounds.keyDown.resize(5); }, "keyDown"},
    };
    for (const auto& [mutate, words] : cases) {
        const auto problems = checkMutated(mutate);
        EXPECT_TRUE(mentions(problems, words)) << words;
        EXPECT_TRUE(mentions(problems, "loader refuses")) << words;
    }
}

TEST(ManifestCheck, DemandsWhatAShippedThemeNeeds) {
    const std::vector<std::pair<std::function<void(Theme&)>, std::string>> cases = {
        {[](Theme& t) { t.sounds.keyDown.pop_back(); }, "keyDown"},
        {[](Theme& t) { t.sounds.keyDown[7] = "down-01.wav"; }, "keyDown"},
        {[](Theme& t) { t.sounds.keyUp.pop_back(); }, "keyUp"},
        {[](Theme& t) { t.sounds.alerts.erase("wrapUp"); }, "wrapUp"},
        {[](Theme& t) { t.sounds.alerts["capsLock"] = "alert.wav"; }, "capsLock"},
        {[](Theme& t) { t.sounds.ambience.reset(); }, "ambience"},
        {[](Theme& t) { t.sounds.space = "return.wav"; }, "own sample"},
        {[](Theme& t) { t.sounds.space = "down-01.wav"; }, "dedicated"},
        {[](Theme& t) { t.tagline["ja"] = ""; }, "tagline"},
        {[](Theme& t) { t.recapQuips["en"].pop_back(); }, "recapQuips"},
        {[](Theme& t) { t.recapQuips["ja"][1].clear(); }, "recapQuips"},
        {[](Theme& t) {
             t.recapQuips["zh-Hans"][0] = {"a", "b", "c", "d"};
         },
         "recapQuips"},
        {[](Theme& t) {
             t.floatText = std::map<std::string, std::string>{{"en", "pop"}};
         },
         "floatText"},
        {[](Theme& t) { t.recapNumberFont = ""; }, "recapNumberFont"},
        {[](Theme& t) { t.placeholder = true; }, "placeholder"},
        {[](Theme& t) { t.colors.recap.text = "#C0C8D0"; }, "colors.recap.text"},
        {[](Theme& t) { t.colors.onAccent = "#3060E0"; }, "colors.onAccent"},
    };
    for (const auto& [mutate, words] : cases) {
        const auto problems = checkMutated(mutate);
        EXPECT_TRUE(mentions(problems, words)) << words;
    }
}

TEST_F(ThemeCheckFolder, ACompleteThemePassesAndReportsEveryFile) {
    writeTheme();
    const ThemeReport report = checkTheme(folder());
    EXPECT_TRUE(report.ok());
    for (const auto& p : report.problems) {
        ADD_FAILURE() << p;
    }
    for (const auto& f : report.files) {
        for (const auto& p : f.problems) {
            ADD_FAILURE() << f.name << ": " << p;
        }
    }
    const FileReport& space = file(report, "space.wav");
    EXPECT_NEAR(space.seconds, 0.15, 1e-6);
    EXPECT_NEAR(space.peakDb, -2.0, 0.01);
    EXPECT_LT(space.rmsDb, space.peakDb);
    ASSERT_TRUE(report.typingLufs.has_value());
    ASSERT_TRUE(report.alertLufs.has_value());
}

TEST_F(ThemeCheckFolder, FlagsKeySamplesOutsideTheLevelAndLengthRules) {
    writeTheme();
    writeSound("down-01.wav", key(500, 300, -3));   // too long
    writeSound("down-02.wav", key(500, 30, -3));    // too short
    writeSound("down-03.wav", key(500, 80, -0.5));  // too hot
    writeSound("down-04.wav", key(500, 80, -7));    // too quiet
    Buffer clipped = key(500, 80, -3);
    clipped[200] = 1.3f;
    writeSound("down-05.wav", clipped);
    const ThemeReport report = checkTheme(folder());
    EXPECT_FALSE(report.ok());
    EXPECT_TRUE(mentions(file(report, "down-01.wav").problems, "40 to 250 ms"));
    EXPECT_TRUE(mentions(file(report, "down-02.wav").problems, "40 to 250 ms"));
    EXPECT_TRUE(mentions(file(report, "down-03.wav").problems, "-6 and -1 dBFS"));
    EXPECT_TRUE(mentions(file(report, "down-04.wav").problems, "-6 and -1 dBFS"));
    EXPECT_TRUE(mentions(file(report, "down-05.wav").problems, "-6 and -1 dBFS"));
    EXPECT_TRUE(file(report, "down-06.wav").problems.empty());
}

TEST_F(ThemeCheckFolder, FlagsClicksAtTheEdges) {
    writeTheme();
    Buffer abrupt = key(500, 80, -3);
    abrupt.front() = 0.3f;
    writeSound("down-01.wav", abrupt);
    Buffer cliff = key(500, 80, -3);
    cliff[cliff.size() - 2] = 0.4f;  // still loud one frame before the end
    writeSound("down-02.wav", cliff);
    const ThemeReport report = checkTheme(folder());
    EXPECT_TRUE(mentions(file(report, "down-01.wav").problems, "start and end at zero"));
    EXPECT_TRUE(mentions(file(report, "down-02.wav").problems, "click"));
}

TEST_F(ThemeCheckFolder, FlagsLongAlertsAndShortOrBrokenLoops) {
    writeTheme();
    writeSound("alert.wav", key(880, 2100, -3));
    const ThemeReport longAlert = checkTheme(folder());
    EXPECT_TRUE(mentions(file(longAlert, "alert.wav").problems, "at most 2 s"));

    writeSound("ambience.wav", ambience(12.0));
    EXPECT_TRUE(mentions(file(checkTheme(folder()), "ambience.wav").problems, "at least 20 s"));

    Rng rng(9);
    Buffer cut = pinkNoise(rng, frames(21.0));  // a plain cut: the level jumps at the seam
    for (std::size_t i = 0; i < cut.size(); ++i) {
        cut[i] = static_cast<float>(0.3 * cut[i] * static_cast<double>(i) / cut.size());
    }
    cut.front() = cut.back() = 0.0f;
    writeSound("ambience.wav", cut);
    EXPECT_TRUE(mentions(file(checkTheme(folder()), "ambience.wav").problems, "loop point"));
}

TEST_F(ThemeCheckFolder, FlagsMissingLinkedAndForeignFormatFiles) {
    writeTheme();
    fs::remove(folder() / "up-01.wav");
    fs::remove(folder() / "up-02.wav");
    fs::create_symlink(folder() / "up-03.wav", folder() / "up-02.wav");
    std::ofstream(folder() / "space.wav") << "not audio";
    const ThemeReport report = checkTheme(folder());
    EXPECT_TRUE(mentions(file(report, "up-01.wav").problems, "missing"));
    EXPECT_TRUE(mentions(file(report, "up-02.wav").problems, "missing"));
    EXPECT_TRUE(mentions(file(report, "space.wav").problems, "decoded"));
    EXPECT_FALSE(report.ok());
}

TEST_F(ThemeCheckFolder, FlagsIdenticalPoolVariants) {
    writeTheme();
    fs::copy_file(folder() / "down-01.wav", folder() / "down-02.wav",
                  fs::copy_options::overwrite_existing);
    EXPECT_TRUE(mentions(checkTheme(folder()).problems, "identical"));
}

TEST_F(ThemeCheckFolder, FlagsAManifestThatDoesNotDecodeWithoutCheckingAudio) {
    writeTheme();
    json m = validManifest("sample");
    m["isDefault"] = 1;
    writeManifest(m);
    ThemeReport report = checkTheme(folder());
    EXPECT_TRUE(mentions(report.problems, "does not decode"));
    EXPECT_TRUE(mentions(report.problems, "isDefault"));
    EXPECT_TRUE(report.files.empty());
    std::ofstream(folder() / "theme.json") << "{ not json";
    EXPECT_TRUE(mentions(checkTheme(folder()).problems, "does not decode"));
}

TEST_F(ThemeCheckFolder, ComparesTypingLoudnessAcrossThemes) {
    writeTheme("alpha", -3.0);
    writeTheme("beta", -3.0);
    json beta = validManifest("beta");
    beta["isDefault"] = false;
    beta["mix"]["typingGainDb"] = -4.0;
    writeManifest(beta, "beta");
    const CheckReport apart = checkThemes(temp_.path());
    EXPECT_FALSE(apart.ok());
    EXPECT_TRUE(mentions(apart.problems, "typing loudness differs"));

    beta["mix"]["typingGainDb"] = -1.5;
    writeManifest(beta, "beta");
    const CheckReport close = checkThemes(temp_.path());
    EXPECT_TRUE(close.ok()) << (close.problems.empty() ? "" : close.problems.front());
}

TEST_F(ThemeCheckFolder, WantsExactlyOneDefaultTheme) {
    writeTheme("alpha");
    writeTheme("beta");  // both say isDefault
    EXPECT_TRUE(mentions(checkThemes(temp_.path()).problems, "exactly one theme"));
    fs::create_directories(temp_.path() / "empty");
    EXPECT_TRUE(mentions(checkThemes(temp_.path() / "empty").problems, "no theme folders"));
}

}  // namespace
}  // namespace tapwell::themegen

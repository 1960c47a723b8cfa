// Which libraries the program maps: Qt (in the desktop module) only when it shows windows or
// draws a recap card, never without windows or for a command that only prints; libzip and the
// crypto library behind it (in the archive module) only when a sound pack is imported from an
// archive; the sound-format module (libsndfile's reader) only for a sound file that is not plain
// WAV; libsoxr (in the converter module) only for a sound file of another rate than the output's;
// libpulse (in the sound server module) only when the sound goes to the device; SDL and ALSA (in
// the SDL module) only when no sound server answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "themeimport/PackFixture.h"
#include "themes/ThemeFixture.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DesktopModuleEndToEnd : public ::testing::Test {
  protected:
    std::vector<std::string> environment() const {
        const std::string h = (dir / "home").string();
        return {"HOME=" + h, "XDG_CONFIG_HOME=" + h + "/config", "XDG_DATA_HOME=" + h + "/data",
                "XDG_CACHE_HOME=" + h + "/cache", "XDG_STATE_HOME=" + h + "/state",
                "XDG_RUNTIME_DIR=" + h,
                // No bus: the user's must never be reached.
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + h + "/no-bus",
                "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + h + "/no-bus",
                std::string("TAPWELL_RESOURCE_DIR=") + TAPWELL_TEST_RESOURCE_DIR};
    }

    test::TempDir dir;
};

// Whether the program said it plays (within ten seconds).
bool waitUntilStarted(const fs::path& log) {
    for (int i = 0; i < 200; ++i) {
        if (readBytes(log).find("Tapwell: sounds on.") != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST_F(DesktopModuleEndToEnd, OnlyARunWithWindowsMapsTheGraphicalLibraries) {
    struct Case {
        std::vector<std::string> flags;
        bool graphical;
    };
    const std::vector<Case> cases = {
        {{"--headless"}, false},
        {{}, true},
    };
    for (const Case& c : cases) {
        const fs::path log = dir / (c.graphical ? "windows.txt" : "headless.txt");
        std::vector<std::string> args = {TAPWELL_EXECUTABLE, "--audio-output", "null"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        test::ChildProcess tapwell(args, environment(), log);
        ASSERT_TRUE(waitUntilStarted(log)) << readBytes(log);
        const std::string maps = readBytes("/proc/" + std::to_string(tapwell.pid()) + "/maps");
        for (const char* graphical : {"libQt6Core.so", "libQt6DBus.so", "libQt6Gui.so",
                                      "libQt6Widgets.so", "libtapwell-desktop.so"}) {
            EXPECT_EQ(maps.find(graphical) != std::string::npos, c.graphical) << graphical;
        }
        // Qt brings ICU, and the tray's label formats the count; a run without windows formats
        // nothing at start, and the built-in themes' names are plain ASCII.
        EXPECT_EQ(maps.find("libicuuc.so") != std::string::npos, c.graphical);
        EXPECT_EQ(maps.find("libtapwell-icu.so") != std::string::npos, c.graphical);
        for (const char* onDemand :
             {"libtapwell-zip.so", "libzip.so", "libcrypto.so", "libtapwell-sndfile.so",
              "libtapwell-soxr.so", "libsoxr.so", "libtapwell-sdl.so", "libSDL2", "libasound.so",
              "libtapwell-pulse.so", "libpulse"}) {
            EXPECT_EQ(maps.find(onDemand), std::string::npos) << onDemand;
        }
        EXPECT_EQ(tapwell.terminate(), 0) << readBytes(log);
    }
}

// Without a sound server the device output goes through the SDL module, found beside the
// program; a program without it says why in the audio log and plays to the null output.
TEST_F(DesktopModuleEndToEnd, WithoutASoundServerTheSdlModulePlaysOrItsAbsenceIsLogged) {
    const fs::path alone = dir / "alone" / "bin" / "tapwell";
    fs::create_directories(alone.parent_path());
    fs::copy_file(TAPWELL_EXECUTABLE, alone);
    struct Case {
        std::string executable;
        bool hasModule;
    };
    for (const Case& c : {Case{TAPWELL_EXECUTABLE, true}, Case{alone.string(), false}}) {
        const fs::path log = dir / (c.hasModule ? "sdl.txt" : "no-sdl.txt");
        std::vector<std::string> env = environment();
        env.push_back("PULSE_SERVER=unix:" + (dir / "no-server").string());
        env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("TAPWELL_LOG=warn");  // with --verbose, on standard error
        test::ChildProcess tapwell({c.executable, "--headless", "--verbose"}, env, log);
        ASSERT_TRUE(waitUntilStarted(log)) << readBytes(log);
        const std::string maps = readBytes("/proc/" + std::to_string(tapwell.pid()) + "/maps");
        EXPECT_EQ(maps.find("libtapwell-sdl.so") != std::string::npos, c.hasModule) << c.executable;
        EXPECT_EQ(maps.find("libSDL2") != std::string::npos, c.hasModule) << c.executable;
        EXPECT_EQ(tapwell.terminate(), 0) << readBytes(log);
        const std::string text = readBytes(log);
        EXPECT_EQ(text.find("the SDL sound output cannot be loaded: libtapwell-sdl.so is not "
                            "installed beside " +
                            alone.string()) != std::string::npos,
                  !c.hasModule)
            << text;
        EXPECT_EQ(text.find("playing to the null output") != std::string::npos, !c.hasModule)
            << text;
    }
}

TEST_F(DesktopModuleEndToEnd, CommandsLoadTheModuleOnlyToDrawTheRecapCard) {
    struct Case {
        std::vector<std::string> args;
        bool graphical;
    };
    const fs::path png = dir / "recap.png";
    const std::vector<Case> cases = {
        {{"stats"}, false},
        {{"themes"}, false},
        {{"recap", "--png", png.string()}, true},
    };
    for (const Case& c : cases) {
        const fs::path log = dir / (c.args[0] + ".txt");
        std::vector<std::string> args = {TAPWELL_EXECUTABLE};
        args.insert(args.end(), c.args.begin(), c.args.end());
        // The dynamic loader names every library it loads.
        std::vector<std::string> env = environment();
        env.push_back("LD_DEBUG=files");
        test::ChildProcess tapwell(args, env, log);
        ASSERT_EQ(tapwell.wait(30.0), 0) << c.args[0] << readBytes(log);
        const std::string loaded = readBytes(log);
        EXPECT_EQ(loaded.find("file=libQt6Core.so") != std::string::npos, c.graphical) << c.args[0];
        EXPECT_EQ(loaded.find("file=libQt6Gui.so") != std::string::npos, c.graphical) << c.args[0];
        EXPECT_EQ(loaded.find("libtapwell-desktop.so") != std::string::npos, c.graphical)
            << c.args[0];
        EXPECT_EQ(loaded.find("file=libzip.so"), std::string::npos) << c.args[0];
        EXPECT_EQ(loaded.find("libtapwell-sndfile.so"), std::string::npos) << c.args[0];
    }
    EXPECT_GT(fs::file_size(png), 0u);
}

// Numbers in the language's own forms come from the text module; a program without it still
// answers, in plain digits, and says why.
TEST_F(DesktopModuleEndToEnd, StatisticsFormatNumbersThroughTheTextModuleOrPlainWithoutIt) {
    const fs::path alone = dir / "alone" / "bin" / "tapwell";
    fs::create_directories(alone.parent_path());
    fs::copy_file(TAPWELL_EXECUTABLE, alone);
    for (const bool hasModule : {true, false}) {
        const fs::path log = dir / (hasModule ? "stats.txt" : "stats-alone.txt");
        const fs::path out = dir / (hasModule ? "stats-out.txt" : "stats-alone-out.txt");
        std::vector<std::string> env = environment();
        env.push_back("TAPWELL_LOG=warn");
        test::ChildProcess tapwell({hasModule ? TAPWELL_EXECUTABLE : alone.string(), "stats"}, env,
                                   log, out);
        ASSERT_EQ(tapwell.wait(30.0), 0) << readBytes(log);
        const std::string text = readBytes(out);
        // The first rank is 2,000 keystrokes away.
        EXPECT_EQ(text.find("2,000 keystrokes") != std::string::npos, hasModule) << text;
        EXPECT_EQ(text.find("2000 keystrokes") != std::string::npos, !hasModule) << text;
        EXPECT_EQ(
            readBytes(log).find("libtapwell-icu.so is not installed beside") != std::string::npos,
            !hasModule)
            << readBytes(log);
    }
}

TEST_F(DesktopModuleEndToEnd, ImportingAnArchiveLoadsTheArchiveModule) {
    const fs::path source = dir / "pack";
    test::writeAudio(source / "press.wav", test::squareWave(0.3f, 2400));
    test::writeAudio(source / "a.wav", test::squareWave(0.2f, 2400));
    test::writeText(source / "config.json",
                    R"({"version": 2, "name": "Zipped", "key_define_type": "multi",
                        "sound": "press.wav", "soundup": "a.wav", "defines": {"30": "a.wav"}})");
    const fs::path zip = dir / "zipped.zip";
    test::zipFolder(source, zip, "Zipped/");
    const fs::path log = dir / "import.txt";
    std::vector<std::string> env = environment();
    env.push_back("LD_DEBUG=files");
    test::ChildProcess tapwell({TAPWELL_EXECUTABLE, "themes", "import", zip.string()}, env, log);
    ASSERT_EQ(tapwell.wait(30.0), 0) << readBytes(log);
    const std::string loaded = readBytes(log);
    EXPECT_NE(loaded.find("libtapwell-zip.so"), std::string::npos);
    EXPECT_NE(loaded.find("file=libzip.so"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "home/data/tapwell/themes/zipped/theme.json")) << loaded;
}

TEST_F(DesktopModuleEndToEnd, AThemeOfFlacFilesLoadsTheSoundFormatModuleAndPlays) {
    std::string manifest = test::validManifest("flacky").dump();
    for (std::size_t at = manifest.find(".wav"); at != std::string::npos;
         at = manifest.find(".wav", at)) {
        manifest.replace(at, 4, ".flac");
    }
    const fs::path theme =
        test::writeManifestText(dir / "home/data/tapwell/themes", "flacky", manifest);
    for (const char* name : {"down1", "down2", "down3", "down4", "down5", "down6", "up1", "up2",
                             "space", "return", "backspace", "rankup", "caps"}) {
        test::writeAudio(theme / (std::string(name) + ".flac"), test::squareWave(0.3f, 2400),
                         SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    }
    const fs::path out = dir / "typed.wav";
    const fs::path log = dir / "render.txt";
    std::vector<std::string> env = environment();
    env.push_back("LD_DEBUG=files");
    test::ChildProcess tapwell(
        {TAPWELL_EXECUTABLE, "render", "--theme", "flacky", "--text", "abc", "--out", out.string()},
        env, log);
    ASSERT_EQ(tapwell.wait(30.0), 0) << readBytes(log);
    EXPECT_NE(readBytes(log).find("libtapwell-sndfile.so"), std::string::npos);
    // The typed keys are in the file: a square wave of 0.3 under the theme's gains.
    SF_INFO info{};
    SNDFILE* file = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    float loudest = 0;
    for (float sample : samples) {
        loudest = std::max(loudest, std::abs(sample));
    }
    EXPECT_GT(loudest, 0.01f);
}

// Files at 44.1 kHz are converted by the converter module, found beside the program; a program
// without it refuses the theme, naming the library, and still plays a theme at 48 kHz.
TEST_F(DesktopModuleEndToEnd, AThemeAt44100LoadsTheConverterModuleOrNamesItsAbsence) {
    const fs::path themes = dir / "home/data/tapwell/themes";
    for (const auto& [id, rate] : {std::pair{"at44", 44100}, std::pair{"at48", 48000}}) {
        const fs::path theme = test::writeManifestText(themes, id, test::validManifest(id).dump());
        for (const char* name : {"down1", "down2", "down3", "down4", "down5", "down6", "up1", "up2",
                                 "space", "return", "backspace", "rankup", "caps"}) {
            test::writeAudio(theme / (std::string(name) + ".wav"), test::squareWave(0.3f, 2400),
                             SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate);
        }
    }
    const fs::path alone = dir / "alone" / "bin" / "tapwell";
    fs::create_directories(alone.parent_path());
    fs::copy_file(TAPWELL_EXECUTABLE, alone);
    struct Case {
        std::string executable;
        const char* theme;
        bool plays;
    };
    const std::vector<Case> cases = {
        {TAPWELL_EXECUTABLE, "at44", true},
        {alone.string(), "at44", false},
        {alone.string(), "at48", true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.executable + " " + c.theme);
        const fs::path out = dir / (std::to_string(i) + ".wav");
        const fs::path log = dir / (std::to_string(i) + ".txt");
        std::vector<std::string> env = environment();
        env.push_back("LD_DEBUG=files");
        env.push_back("TAPWELL_LOG=warn");  // the theme's failure, on standard error
        test::ChildProcess tapwell(
            {c.executable, "render", "--theme", c.theme, "--text", "abc", "--out", out.string()},
            env, log);
        const std::optional<int> status = tapwell.wait(30.0);
        ASSERT_TRUE(status.has_value());
        const std::string text = readBytes(log);
        const bool converted = c.plays && std::string(c.theme) == "at44";
        EXPECT_EQ(text.find("/libtapwell-soxr.so [") != std::string::npos, converted) << text;
        EXPECT_EQ(text.find("file=libsoxr.so") != std::string::npos, converted) << text;
        if (c.plays) {
            EXPECT_EQ(*status, 0) << text;
            EXPECT_GT(fs::file_size(out), 44u);
        } else {
            EXPECT_NE(*status, 0);
            EXPECT_NE(text.find("needs the sample-rate converter libsoxr, which cannot be loaded: "
                                "libtapwell-soxr.so is not installed beside " +
                                alone.string()),
                      std::string::npos)
                << text;
        }
    }
}

}  // namespace
}  // namespace tapwell

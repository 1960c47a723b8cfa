#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "sound/AudioDecoder.h"
#include "support/TempDir.h"
#include "themeimport/LibzipReader.h"
#include "themeimport/PackFixture.h"
#include "themeimport/TypingLoudness.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

// The program reads archives through a module it loads on demand; these tests link libzip in.
[[maybe_unused]] const bool readsArchives = [] {
    ZipReader::useOpener(&LibzipReader::openArchive);
    return true;
}();
using nlohmann::json;
using test::validManifest;

using Outcome = test::CliResult;

Outcome runThemes(std::vector<std::string> args) {
    args.insert(args.begin(), "themes");
    return test::runCli(args);
}

// Every test gets a user data folder of its own, so the user's themes folder is never the real
// one.
class ThemesCommand : public ::testing::Test {
  protected:
    test::TempDir data;
    test::ScopedEnv dataHome{"XDG_DATA_HOME", data.path().c_str()};
};

json listJson(const fs::path& folder) {
    Outcome outcome = runThemes({"--resources", folder.string(), "--json"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return json::parse(outcome.out);
}

TEST_F(ThemesCommand, JsonListsEntriesInDisplayOrderWithStableFields) {
    test::TempDir resources;
    test::writeTheme(resources.path(), "alpha", validManifest("alpha"));
    json defaultTheme = validManifest("zulu");
    defaultTheme["isDefault"] = true;
    test::writeTheme(resources.path(), "zulu", defaultTheme);
    test::writeManifestText(resources.path(), "broken", "{");
    json newer = validManifest("newer");
    newer["schemaVersion"] = 2;
    test::writeTheme(resources.path(), "newer", newer);
    test::writeBytes(resources / "en.lproj" / "Localizable.json", "{}");

    json list = listJson(resources.path());
    ASSERT_TRUE(list.is_array());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], (json{{"folder", "zulu"},
                             {"id", "zulu"},
                             {"isDefault", true},
                             {"failure", nullptr},
                             {"user", false}}));
    EXPECT_EQ(list[1], (json{{"folder", "alpha"},
                             {"id", "alpha"},
                             {"isDefault", false},
                             {"failure", nullptr},
                             {"user", false}}));
    EXPECT_EQ(list[2]["folder"], "broken");
    EXPECT_TRUE(list[2]["id"].is_null());
    EXPECT_TRUE(list[2]["isDefault"].is_null());
    EXPECT_TRUE(list[2]["failure"].is_string());
    EXPECT_EQ(list[3], (json{{"folder", "newer"},
                             {"id", "newer"},
                             {"isDefault", false},
                             {"failure", "invalidManifest"},
                             {"user", false}}));
}

TEST_F(ThemesCommand, TextFormHasOneLinePerEntry) {
    test::TempDir resources;
    json defaultTheme = validManifest("glass");
    defaultTheme["isDefault"] = true;
    test::writeTheme(resources.path(), "glass", defaultTheme);
    fs::path other = test::writeTheme(resources.path(), "wood", validManifest("wood"));
    fs::remove(other / "space.wav");

    Outcome outcome = runThemes({"--resources", resources.path().string()});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out,
              "glass\tglass\tdefault\tok\n"
              "wood\twood\t-\tmissingFile(\"space.wav\")\n");

    test::TempDir empty;
    outcome = runThemes({"--resources", empty.path().string()});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("No themes"), std::string::npos);
    EXPECT_EQ(runThemes({"--resources", empty.path().string(), "--json"}).out, "[]\n");
}

TEST_F(ThemesCommand, UnlistableFolderIsAnError) {
    test::TempDir resources;
    Outcome outcome = runThemes({"--resources", (resources / "absent").string(), "--json"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_NE(outcome.err.find("cannot list"), std::string::npos) << outcome.err;
}

TEST_F(ThemesCommand, SaysWhenAFolderHoldsMoreThemesThanAreOffered) {
    test::TempDir resources;
    for (std::size_t i = 0; i <= ThemeManager::maxThemes; ++i) {
        test::writeManifestText(resources.path(), "t" + std::to_string(1000 + i), "{}");
    }
    Outcome outcome = runThemes({"--resources", resources.path().string(), "--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(json::parse(outcome.out).size(), ThemeManager::maxThemes);
    EXPECT_NE(outcome.err.find("257 themes; only the first 256 by name are offered"),
              std::string::npos)
        << outcome.err;
}

// Every kind of damage a theme folder can carry, side by side: the listing must complete, keep
// one entry per folder that has a manifest, and stay valid JSON.
TEST_F(ThemesCommand, SurvivesCorruptedManifests) {
    test::TempDir resources;
    const fs::path root = resources.path();
    std::string valid = validManifest("x").dump();

    test::writeManifestText(root, "empty", "");
    test::writeManifestText(root, "truncated", valid.substr(0, valid.size() / 3));
    test::writeManifestText(root, "array", "[1,2,3]");
    test::writeManifestText(root, "deep", std::string(200000, '[') + std::string(200000, ']'));
    std::string deepObject;
    for (int i = 0; i < 50000; ++i) {
        deepObject += "{\"a\":";
    }
    test::writeManifestText(root, "deep-object", deepObject + "1");
    test::writeManifestText(root, "utf8", "{\"id\":\"\xC0\xAF\xFF\"}");
    test::writeManifestText(root, "nul", std::string("{\"id\":\"a\0b\"}", 12));
    test::writeManifestText(root,
                            "\xFF"
                            "badname",
                            valid);

    json huge = validManifest("huge");
    huge["schemaVersion"] = 1e308;
    test::writeTheme(root, "huge", huge);
    json hugeGain = validManifest("huge-gain");
    test::writeTheme(root, "huge-gain", hugeGain);
    std::string gainText = hugeGain.dump();
    gainText.replace(gainText.find("\"alertGainDb\":0"), 15, "\"alertGainDb\":1e39");
    test::writeBytes(root / "huge-gain" / "theme.json", gainText);
    gainText.replace(gainText.find("1e39"), 4, "1e99999");
    test::writeManifestText(root, "overflow", gainText);
    json bigInteger = validManifest("bigint");
    test::writeTheme(root, "bigint", bigInteger);
    std::string bigText = bigInteger.dump();
    bigText.replace(bigText.find("\"schemaVersion\":1"), 17,
                    "\"schemaVersion\":" + std::string(5000, '9'));
    test::writeBytes(root / "bigint" / "theme.json", bigText);

    json wrongTypes = validManifest("types");
    wrongTypes["sounds"] = json::array({1, 2});
    test::writeTheme(root, "types", wrongTypes);
    json nulls = validManifest("nulls");
    nulls["colors"]["recap"] = nullptr;
    test::writeTheme(root, "nulls", nulls);

    test::writeTheme(root, "dup-a", validManifest("dup-a"));
    test::writeTheme(root, "dup-b", validManifest("dup-a"));

    fs::path linked = test::writeTheme(root, "linked-sample", validManifest("linked-sample"));
    fs::remove(linked / "down1.wav");
    fs::create_symlink("/etc/hostname", linked / "down1.wav");
    fs::create_directories(root / "manifest-dir" / "theme.json");
    fs::path unreadable = test::writeManifestText(root, "unreadable", valid);
    fs::permissions(unreadable / "theme.json", fs::perms::none);
    fs::create_directory_symlink("/nonexistent", root / "dangling-folder");
    fs::create_symlink(root, root / "loop");  // a link back to the resource folder itself
    test::writeTheme(root, ".hidden", validManifest(".hidden"));
    test::writeTheme(root, "good", validManifest("good"));

    Outcome outcome = runThemes({"--resources", root.string(), "--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    json list = json::parse(outcome.out);
    ASSERT_TRUE(list.is_array());
    std::map<std::string, json> byFolder;
    for (const json& entry : list) {
        ASSERT_TRUE(entry["failure"].is_null() || entry["failure"].is_string());
        byFolder[entry["folder"].get<std::string>()] = entry;
    }
    EXPECT_FALSE(byFolder.contains(".hidden"));
    EXPECT_FALSE(byFolder.contains("dangling-folder"));
    EXPECT_FALSE(byFolder.contains("loop"));
    EXPECT_TRUE(byFolder.at("good")["failure"].is_null());
    EXPECT_TRUE(byFolder.at("dup-a")["failure"].is_null());
    EXPECT_EQ(byFolder.at("dup-b")["failure"], "invalidManifest");
    EXPECT_EQ(byFolder.at("huge-gain")["failure"], "invalidManifest");
    EXPECT_EQ(byFolder.at("linked-sample")["failure"], "missingFile(\"down1.wav\")");
    for (const char* folder : {"empty", "truncated", "array", "deep", "deep-object", "utf8", "nul",
                               "huge", "overflow", "bigint", "types", "nulls", "manifest-dir"}) {
        ASSERT_TRUE(byFolder.contains(folder)) << folder;
        EXPECT_TRUE(byFolder.at(folder)["id"].is_null()) << folder;
        EXPECT_TRUE(byFolder.at(folder)["failure"].is_string()) << folder;
    }
    // The unreadable manifest fails to read unless this user ignores permissions.
    EXPECT_TRUE(byFolder.contains("unreadable"));
    // 8 damaged + huge + huge-gain + overflow + bigint + types + nulls + 2 dup + linked +
    // manifest-dir + unreadable + good.
    EXPECT_EQ(list.size(), 20u);

    // The text form copes with the same folder.
    Outcome text = runThemes({"--resources", root.string()});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 20);
}

// Sound packs of every kind go through `themes import`, load through the catalogue and sound
// through `render` as the pack meant: each key kind plays its own slice or file.
class ThemeImport : public ThemesCommand {
  protected:
    void SetUp() override { test::writeBuiltInTheme(resources.path()); }

    Outcome import(const fs::path& pack, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"themes", "import", pack.string(), "--resources",
                                      resources.path().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCli(args);
    }

    fs::path themes() const { return data / "tapwell" / "themes"; }

    // Everything in the user's themes folder, hidden entries included.
    std::vector<std::string> themeFolders() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(themes(), error)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir resources;
    test::TempDir packs;
};

constexpr std::size_t soundFrames = 2400;  // 50 ms

// A "single" pack: every key's sound is a slice of one file, 100 ms apart.
fs::path singleV1Folder(const fs::path& dir) {
    const std::vector<std::pair<std::string, float>> slices{
        {"30", 0.20f}, {"31", 0.21f},    {"32", 0.22f},    {"33", 0.23f},    {"34", 0.24f},
        {"35", 0.25f}, {"57", 0.40f},    {"28", 0.41f},    {"14", 0.42f},    {"3612", 0.43f},
        {"42", 0.44f}, {"30-up", 0.30f}, {"31-up", 0.31f}, {"61000", 0.26f}, {"9999", 0.27f},
    };
    std::vector<float> sprite;
    json defines = json::object();
    for (const auto& [code, level] : slices) {
        defines[code] = {sprite.size() / 48, soundFrames / 48};
        auto block = test::squareWave(level, soundFrames);
        sprite.insert(sprite.end(), block.begin(), block.end());
        sprite.resize(sprite.size() + soundFrames, 0.0f);
    }
    defines["36"] = {100000, 50};
    defines["foo"] = {0, 10};
    const fs::path pack = dir / "Blue Switches";
    test::writeAudio(pack / "sound.wav", sprite);
    test::writeText(pack / "config.json", json{{"name", "Blue Switches"},
                                               {"key_define_type", "single"},
                                               {"includes_numpad", false},
                                               {"sound", "sound.wav"},
                                               {"defines", defines},
                                               {"theme_color", "#ffffff"}}
                                              .dump());
    return pack;
}

// A version 2 "multi" pack, zipped inside a folder, whose file names differ from the config in
// case and folder; keys without an entry take numbered general sounds in turn.
fs::path multiV2Zip(const fs::path& dir) {
    const fs::path source = dir / "source";
    for (int i = 0; i < 5; ++i) {
        test::writeAudio(source / fmt::format("press/GENERIC_R{}.wav", i),
                         test::squareWave(0.20f + 0.01f * static_cast<float>(i), soundFrames));
    }
    for (const auto& [file, level] :
         std::vector<std::pair<std::string, float>>{{"press/A.wav", 0.25f},
                                                    {"press/SPACE.wav", 0.40f},
                                                    {"press/ENTER.wav", 0.41f},
                                                    {"press/BACKSPACE.wav", 0.42f},
                                                    {"release/GENERIC.wav", 0.30f},
                                                    {"release/SPACE.wav", 0.35f}}) {
        test::writeAudio(source / file, test::squareWave(level, soundFrames));
    }
    test::writeText(source / "config.json", json{{"version", 2},
                                                 {"name", "Cream Linears"},
                                                 {"author", "Someone"},
                                                 {"key_define_type", "multi"},
                                                 {"sound", "press/GENERIC_R{0-4}.wav"},
                                                 {"soundup", "release/GENERIC.wav"},
                                                 {"defines",
                                                  {{"57", "press/SPACE.wav"},
                                                   {"28", "press/ENTER.wav"},
                                                   {"14", "press/BACKSPACE.wav"},
                                                   {"30", "press/A.wav"},
                                                   {"57-up", "release/SPACE.wav"},
                                                   {"31", nullptr}}}}
                                                .dump());
    const fs::path zip = dir / "cream.zip";
    test::zipFolder(source, zip, "Cream/",
                    {{"press/SPACE.wav", "Press/space.WAV"}, {"press/A.wav", "sounds/a.wav"}});
    return zip;
}

// A version 2 "single" pack with a key-up file, Ogg Vorbis at 44.1 kHz in stereo, zipped flat.
fs::path singleV2Zip(const fs::path& dir) {
    const fs::path source = dir / "source";
    std::vector<float> down;
    std::vector<float> up;
    json defines = json::object();
    for (int key : {30, 31, 32, 33, 34, 35, 36, 57, 28, 14}) {
        defines[std::to_string(key)] = {down.size() * 1000 / 44100, 50};
        auto block = test::squareWave(0.3f, 2205);
        down.insert(down.end(), block.begin(), block.end());
        down.resize(down.size() + 2205, 0.0f);
    }
    for (int key : {30, 31}) {
        defines[std::to_string(key) + "-up"] = {up.size() * 1000 / 44100, 50};
        auto block = test::squareWave(0.2f, 2205);
        up.insert(up.end(), block.begin(), block.end());
        up.resize(up.size() + 2205, 0.0f);
    }
    test::writeAudio(source / "down.ogg", down, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2);
    test::writeAudio(source / "up.ogg", up, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2);
    test::writeText(source / "config.json", json{{"version", 2},
                                                 {"name", "Vorbis Tactiles"},
                                                 {"key_define_type", "single"},
                                                 {"sound", "down.ogg"},
                                                 {"soundup", "up.ogg"},
                                                 {"defines", defines}}
                                                .dump());
    const fs::path zip = dir / "tactiles.zip";
    test::zipFolder(source, zip, "");
    return zip;
}

// A version 1 "multi" pack with only two usable letter sounds (FLAC), one missing and one broken
// file, and no return or backspace sound.
fs::path multiV1Folder(const fs::path& dir) {
    const fs::path pack = dir / "sparse";
    test::writeAudio(pack / "a.flac", test::squareWave(0.20f, soundFrames),
                     SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    test::writeAudio(pack / "s.flac", test::squareWave(0.21f, soundFrames),
                     SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    test::writeAudio(pack / "space.flac", test::squareWave(0.40f, soundFrames),
                     SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    test::writeText(pack / "e.wav", "not audio");
    test::writeText(pack / "config.json", json{{"name", "Sparse"},
                                               {"key_define_type", "multi"},
                                               {"includes_numpad", false},
                                               {"sound", ""},
                                               {"defines",
                                                {{"30", "a.flac"},
                                                 {"31", "s.flac"},
                                                 {"32", "d.flac"},
                                                 {"18", "e.wav"},
                                                 {"57", "space.flac"}}}}
                                              .dump());
    return pack;
}

struct ImportCase {
    const char* name;
    fs::path (*makePack)(const fs::path&);
    std::string id;
    // Levels heard for "a", space, return, backspace, "s" (none: not checked exactly), and for
    // the first key release (0: silent).
    std::vector<float> downLevels;
    float upLevel;
    float loudest;  // the pack's loudest key sound that the theme plays
    std::vector<std::string> summary;
};

TEST_F(ThemeImport, PacksOfEveryKindImportLoadAndSoundAsThePackMeant) {
    const std::vector<ImportCase> cases{
        {"single v1 folder",
         singleV1Folder,
         "blue-switches",
         {0.20f, 0.40f, 0.41f, 0.42f, 0.21f},
         0.30f,
         0.42f,
         {"key-down pool: 7 distinct sounds from 7 keys", "space, return, backspace: their own",
          "key-up pool: 2 distinct sounds", "from the built-in theme \"Glass\"",
          "modifier keys, which never sound here: codes 42",
          "sounds of keypad Enter or forward Delete (codes 3612)", "unknown key codes: 9999",
          "slices beyond the end of the sound file: keys 36",
          "entries of \"defines\" that name no key: foo",
          "fields of config.json not read: theme_color"}},
        {"multi v2 zip with other case and folders",
         multiV2Zip,
         "cream-linears",
         {0.20f, 0.40f, 0.41f, 0.42f, 0.21f},
         0.30f,
         0.42f,
         {"key-down pool: 6 distinct sounds", "keys without an entry of their own",
          "key-up pool: 1 distinct sound", "1 key-up sound of space, return or backspace"}},
        {"single v2 zip in Ogg Vorbis",
         singleV2Zip,
         "vorbis-tactiles",
         {},
         0,
         0,
         {"key-down pool: 7 distinct sounds", "key-up pool: 2 distinct sounds",
          "Dropped: nothing"}},
        {"sparse multi v1 folder",
         multiV1Folder,
         "sparse",
         {0.20f, 0.40f, 0.20f, 0.20f, 0.21f},
         0,
         0.40f,
         {"key-down pool: 2 distinct sounds from 2 keys (played in turn over the 6 places",
          "return, backspace: no sound in the pack", "key releases: no sounds in the pack",
          "not found in the pack: d.flac", "not readable as audio: e.wav"}},
    };
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const fs::path pack = c.makePack(dir.path());
        Outcome outcome = import(pack);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(outcome.err.empty()) << outcome.err;
        for (const std::string& line : c.summary) {
            EXPECT_NE(outcome.out.find(line), std::string::npos) << line << "\n" << outcome.out;
        }

        // The catalogue lists it as a usable user theme.
        auto catalogue = ThemeManager::create(resources.path(), themes());
        ASSERT_TRUE(catalogue.has_value());
        auto entry = std::find_if(catalogue->entries.begin(), catalogue->entries.end(),
                                  [&](const ThemeEntry& e) { return e.folderName() == c.id; });
        ASSERT_NE(entry, catalogue->entries.end()) << outcome.out;
        ASSERT_TRUE(entry->loaded) << entry->failure.value_or("");
        EXPECT_TRUE(entry->isUserTheme);
        const Theme& theme = entry->loaded->theme;
        EXPECT_EQ(theme.shortName.at("ja"), theme.name.at("en"));
        EXPECT_TRUE(theme.sounds.alerts.contains("rankUp"));
        EXPECT_TRUE(theme.sounds.ambience.has_value());

        // `render` finds it in the user's folder and plays each key kind's own sound.
        test::ScopedEnv resourceDir("TAPWELL_RESOURCE_DIR", resources.path().c_str());
        const fs::path out = dir / "typed.wav";
        Outcome rendered = test::runCli({"render", "--theme", c.id, "--text", "a \\n\\bs", "--wpm",
                                         "60", "--out", out.string()});
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        auto decoded = decodeAudioSamples(out);
        ASSERT_TRUE(decoded.has_value());
        const std::vector<float>& samples = *decoded;
        // Key sounds are written so that the loudest peaks at -1 dBFS.
        const float bus = 0.7f * std::pow(10.0f, theme.mix.typingGainDb / 20.0f) *
                          std::pow(10.0f, -1.0f / 20.0f) / c.loudest;
        auto downAt = [](std::size_t key) { return 4800 + key * 9600; };
        ASSERT_GT(samples.size(), downAt(4) + 100);
        for (std::size_t key = 0; key < c.downLevels.size(); ++key) {
            EXPECT_NEAR(samples[downAt(key)], c.downLevels[key] * bus, 1e-4) << "key " << key;
        }
        for (std::size_t key = 0; key < 5; ++key) {
            EXPECT_GT(std::fabs(samples[downAt(key) + 1]), 0.0f) << "key " << key;
        }
        if (c.upLevel > 0) {
            EXPECT_NEAR(samples[downAt(0) + 3840], c.upLevel * bus, 1e-4);
        } else if (!c.downLevels.empty()) {
            EXPECT_EQ(samples[downAt(0) + 3840], 0.0f);
        }
    }
    // Every import left exactly its theme folder, nothing half-made or hidden.
    EXPECT_EQ(themeFolders(), (std::vector<std::string>{"blue-switches", "cream-linears", "sparse",
                                                        "vorbis-tactiles"}));
}

// Whatever level a pack was recorded at, it types as loud as the built-in themes, unless a peak
// would clip first.
TEST_F(ThemeImport, TypingLevelMatchesTheBuiltInThemesUnlessPeaksForbid) {
    test::TempDir dir;
    const fs::path original = singleV1Folder(dir.path());
    auto sprite = decodeAudioSamples(original / "sound.wav");
    ASSERT_TRUE(sprite.has_value());
    auto variant = [&](const std::string& name, float gain, bool spike) {
        const fs::path pack = dir / name;
        fs::create_directories(pack);
        fs::copy_file(original / "config.json", pack / "config.json");
        std::vector<float> samples = *sprite;
        for (float& sample : samples) {
            sample *= gain;
        }
        if (spike) {
            samples[10] = 1.0f;  // inside the first key's slice
        }
        test::writeAudio(pack / "sound.wav", samples);
        return pack;
    };
    auto builtIn = ThemeManager::load(resources / "glass");
    ASSERT_TRUE(builtIn.has_value());
    const double target = *typingPassageLoudness(*builtIn);
    auto loudnessOf = [&](const std::string& id) {
        auto loaded = ThemeManager::load(themes() / id);
        EXPECT_TRUE(loaded.has_value()) << id;
        return loaded ? *typingPassageLoudness(*loaded) : 0.0;
    };

    for (float gain : {1.0f, 0.02f}) {
        const std::string id = fmt::format("level-{}", gain);
        Outcome outcome = import(variant(id, gain, false), {"--id", id});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out.find("held there"), std::string::npos) << outcome.out;
        EXPECT_NEAR(loudnessOf(id), target, 0.1) << id;
    }
    Outcome peaky = import(variant("peaky", 0.02f, true), {"--id", "peaky"});
    ASSERT_EQ(peaky.status, 0) << peaky.err;
    EXPECT_NE(peaky.out.find("held there so the loudest sound does not clip"), std::string::npos)
        << peaky.out;
    EXPECT_LT(loudnessOf("peaky"), target - 10);
    auto loaded = ThemeManager::load(themes() / "peaky");
    ASSERT_TRUE(loaded.has_value());
    EXPECT_LE(loaded->theme.mix.typingGainDb, 1.0f);
}

TEST_F(ThemeImport, FailuresNameThePackAndTheCauseAndLeaveNothingBehind) {
    test::TempDir dir;
    auto config = [&](const std::string& folder, const json& value) {
        const fs::path pack = dir / folder;
        test::writeAudio(pack / "a.wav", test::squareWave(0.2f, soundFrames));
        test::writeText(pack / "config.json", value.dump());
        return pack;
    };
    const json v1{{"name", "P"},
                  {"key_define_type", "multi"},
                  {"includes_numpad", false},
                  {"sound", ""},
                  {"defines", {{"30", "a.wav"}}}};
    json v3 = v1;
    v3["version"] = 3;
    json v2 = v1;
    v2["version"] = 2;
    json badType = v1;
    badType["key_define_type"] = "several";
    json lostSprite = v1;
    lostSprite["key_define_type"] = "single";
    lostSprite["sound"] = "sound.wav";
    lostSprite["defines"] = {{"30", {0, 50}}};
    json lostFiles = v1;
    lostFiles["defines"] = {{"30", "A1.wav"}, {"31", "b.wav"}};
    const fs::path noConfig = dir / "loose";
    test::writeAudio(noConfig / "a.wav", test::squareWave(0.2f, 10));
    const std::string configText = v1.dump();
    test::writeZip(dir / "climb.zip", {{"config.json", configText}, {"../evil.wav", "x"}});
    test::writeZip(dir / "link.zip", {{"config.json", configText}, {"a.wav", "/etc", true}});
    test::writeText(dir / "notes.txt", "not a pack");

    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases{
        {{config("v3", v3).string()}, {"v3: config.json has \"version\": 3", "cannot read"}},
        {{config("v2", v2).string()}, {"v2: config.json has no \"soundup\" field"}},
        {{config("type", badType).string()}, {"type: \"key_define_type\"", "\"several\""}},
        {{config("sprite", lostSprite).string()},
         {"sprite: the sound file \"sound.wav\"", "not in the pack"}},
        {{config("lost", lostFiles).string()},
         {"lost: it gives no usable sound for ordinary keys",
          "not found in the pack: A1.wav, b.wav"}},
        {{noConfig.string()}, {"loose: holds no config.json"}},
        {{(dir / "climb.zip").string()}, {"\"../evil.wav\" points outside the pack"}},
        {{(dir / "link.zip").string()}, {"\"a.wav\" is a symbolic link"}},
        {{(dir / "notes.txt").string()}, {"notes.txt: is neither a folder nor"}},
        {{(dir / "absent").string()}, {"absent: no such file or folder"}},
        {{config("id", v1).string(), "--id", "../up"}, {"\"../up\" cannot be a theme id"}},
        {{config("builtin", v1).string(), "--id", "glass"},
         {"\"glass\" is the id of a built-in theme"}},
    };
    for (const auto& [args, messages] : cases) {
        SCOPED_TRACE(args.front());
        std::vector<std::string> all{"themes", "import"};
        all.insert(all.end(), args.begin(), args.end());
        all.insert(all.end(), {"--resources", resources.path().string()});
        Outcome outcome = test::runCli(all);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(outcome.out.empty()) << outcome.out;
        for (const std::string& message : messages) {
            EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
        }
        EXPECT_TRUE(themeFolders().empty());
    }

    // A second import under a taken id is refused until another id is given.
    const fs::path pack = singleV1Folder(dir.path());
    ASSERT_EQ(import(pack).status, 0);
    Outcome again = import(pack);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("\"blue-switches\" already exists"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("--id"), std::string::npos);
    EXPECT_EQ(import(pack, {"--id", "blue-2"}).status, 0);
    EXPECT_EQ(themeFolders(), (std::vector<std::string>{"blue-2", "blue-switches"}));
}

TEST_F(ThemeImport, RemoveTakesOnlyImportedThemes) {
    test::TempDir dir;
    ASSERT_EQ(import(singleV1Folder(dir.path())).status, 0);
    test::ScopedEnv resourceDir("TAPWELL_RESOURCE_DIR", resources.path().c_str());
    json list = json::parse(runThemes({"--json"}).out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["folder"], "blue-switches");
    EXPECT_EQ(list[1]["user"], true);

    Outcome builtIn = runThemes({"remove", "glass"});
    EXPECT_EQ(builtIn.status, 1);
    EXPECT_NE(builtIn.err.find("\"glass\" is a built-in theme"), std::string::npos);
    for (const char* id : {"nothing", "../tapwell", ".", ""}) {
        Outcome missing = runThemes({"remove", id});
        EXPECT_NE(missing.status, 0) << id;
        EXPECT_TRUE(fs::exists(themes() / "blue-switches")) << id;
    }
    EXPECT_NE(runThemes({"remove", "nothing"}).err.find("no imported theme \"nothing\""),
              std::string::npos);

    Outcome removed = runThemes({"remove", "blue-switches"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_NE(removed.out.find("Removed the theme \"blue-switches\""), std::string::npos);
    EXPECT_TRUE(themeFolders().empty());
    EXPECT_EQ(json::parse(runThemes({"--json"}).out).size(), 1u);
}

}  // namespace
}  // namespace tapwell

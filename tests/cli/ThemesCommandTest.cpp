#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "support/TempDir.h"
#include "themes/ThemeFixture.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::validManifest;

using Outcome = test::CliResult;

Outcome runThemes(std::vector<std::string> args) {
    args.insert(args.begin(), "themes");
    return test::runCli(args);
}

json listJson(const fs::path& folder) {
    Outcome outcome = runThemes({"--resources", folder.string(), "--json"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return json::parse(outcome.out);
}

TEST(ThemesCommand, JsonListsEntriesInDisplayOrderWithStableFields) {
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
    EXPECT_EQ(
        list[0],
        (json{{"folder", "zulu"}, {"id", "zulu"}, {"isDefault", true}, {"failure", nullptr}}));
    EXPECT_EQ(
        list[1],
        (json{{"folder", "alpha"}, {"id", "alpha"}, {"isDefault", false}, {"failure", nullptr}}));
    EXPECT_EQ(list[2]["folder"], "broken");
    EXPECT_TRUE(list[2]["id"].is_null());
    EXPECT_TRUE(list[2]["isDefault"].is_null());
    EXPECT_TRUE(list[2]["failure"].is_string());
    EXPECT_EQ(list[3], (json{{"folder", "newer"},
                             {"id", "newer"},
                             {"isDefault", false},
                             {"failure", "invalidManifest"}}));
}

TEST(ThemesCommand, TextFormHasOneLinePerEntry) {
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

TEST(ThemesCommand, UnlistableFolderIsAnError) {
    test::TempDir resources;
    Outcome outcome = runThemes({"--resources", (resources / "absent").string(), "--json"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_NE(outcome.err.find("cannot list"), std::string::npos) << outcome.err;
}

TEST(ThemesCommand, FindsTheResourceFolderFromTheEnvironment) {
    test::TempDir resources;
    test::writeTheme(resources.path(), "glass", validManifest("glass"));
    test::ScopedEnv env("TAPWELL_RESOURCE_DIR", resources.path().c_str());
    Outcome outcome = runThemes({"--json"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(json::parse(outcome.out).size(), 1u);
}

// Every kind of damage a theme folder can carry, side by side: the listing must complete, keep
// one entry per folder that has a manifest, and stay valid JSON.
TEST(ThemesCommand, SurvivesCorruptedManifests) {
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

}  // namespace
}  // namespace tapwell

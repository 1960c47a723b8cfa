#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/TempDir.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::validManifest;

class ThemeLoad : public ::testing::Test {
  protected:
    test::TempDir resources;

    // Writes `manifest` as the folder "glass" and loads it.
    std::expected<LoadedTheme, ThemeLoadError> loadGlass(
        const json& manifest, const ReadableCheck& readable = isReadableFile) {
        fs::path directory = test::writeTheme(resources.path(), "glass", manifest);
        return ThemeManager::load(directory, readable);
    }

    // The ThemeError of a failed load of `manifest` written afresh, or a test failure.
    ThemeError themeError(const json& manifest) { return themeErrorOf(loadGlass(manifest)); }

    // The ThemeError of loading the folder as it is now.
    ThemeError themeErrorIn(const fs::path& directory) {
        return themeErrorOf(ThemeManager::load(directory));
    }

    static ThemeError themeErrorOf(const std::expected<LoadedTheme, ThemeLoadError>& result) {
        if (result) {
            ADD_FAILURE() << "loaded although it should fail";
            return ThemeError{};
        }
        if (!std::holds_alternative<ThemeError>(result.error())) {
            ADD_FAILURE() << "not a ThemeError: " << describe(result.error());
            return ThemeError{};
        }
        return std::get<ThemeError>(result.error());
    }
};

const ThemeError invalidManifest = ThemeError::invalidManifest();

}  // namespace

void PrintTo(const ThemeError& error, std::ostream* out) {
    *out << error.text();
}

namespace {

TEST_F(ThemeLoad, ValidFolderLoadsWithItsDirectory) {
    auto loaded = loadGlass(validManifest("glass"));
    ASSERT_TRUE(loaded) << describe(loaded.error());
    EXPECT_EQ(loaded->directory, resources / "glass");
    EXPECT_EQ(loaded->theme.id, "glass");
}

TEST_F(ThemeLoad, DirectoryWithTrailingSeparatorUsesItsLastComponent) {
    test::writeTheme(resources.path(), "glass", validManifest("glass"));
    auto loaded = ThemeManager::load(resources.path() / "glass" / "");
    EXPECT_TRUE(loaded) << describe(loaded.error());
}

TEST_F(ThemeLoad, MissingOrUnreadableManifestPassesOnTheReadError) {
    fs::create_directories(resources / "empty");
    auto result = ThemeManager::load(resources / "empty");
    ASSERT_FALSE(result);
    ASSERT_TRUE(std::holds_alternative<Error>(result.error()));
    EXPECT_EQ(std::get<Error>(result.error()).domain, "posix");

    fs::create_directories(resources / "dir" / "theme.json");
    result = ThemeManager::load(resources / "dir");
    ASSERT_FALSE(result);
    EXPECT_TRUE(std::holds_alternative<Error>(result.error()));
}

TEST_F(ThemeLoad, ManifestThatIsNoRegularFileOrHugeIsNotRead) {
    fs::create_directories(resources / "device");
    fs::create_symlink("/dev/zero", resources / "device" / "theme.json");
    auto result = ThemeManager::load(resources / "device");
    ASSERT_FALSE(result);
    EXPECT_NE(describe(result.error()).find("not a regular file"), std::string::npos);

    fs::path directory = test::writeTheme(resources.path(), "glass", validManifest("glass"));
    fs::resize_file(directory / "theme.json", 4 * 1024 * 1024 + 1);
    result = ThemeManager::load(directory);
    ASSERT_FALSE(result);
    ASSERT_TRUE(std::holds_alternative<Error>(result.error()));
    EXPECT_NE(describe(result.error()).find("larger than"), std::string::npos);

    // A manifest reached through a link is read like any other.
    test::TempDir elsewhere;
    test::writeBytes(elsewhere / "theme.json", validManifest("glass").dump());
    fs::remove(directory / "theme.json");
    fs::create_symlink(elsewhere / "theme.json", directory / "theme.json");
    EXPECT_TRUE(ThemeManager::load(directory));
}

TEST_F(ThemeLoad, DecodingErrorIsPassedOn) {
    json manifest = validManifest("glass");
    manifest.erase("placeholder");
    auto result = loadGlass(manifest);
    ASSERT_FALSE(result);
    ASSERT_TRUE(std::holds_alternative<Error>(result.error()));
    EXPECT_EQ(std::get<Error>(result.error()).domain, "json");
}

TEST_F(ThemeLoad, SchemaVersionMustBeOne) {
    for (int version : {0, 2, -1}) {
        json manifest = validManifest("glass");
        manifest["schemaVersion"] = version;
        EXPECT_EQ(themeError(manifest), invalidManifest) << version;
    }
}

TEST_F(ThemeLoad, IdMustEqualTheFolderNameExactly) {
    EXPECT_EQ(themeError(validManifest("Glass")), invalidManifest);
    EXPECT_EQ(themeError(validManifest("glass ")), invalidManifest);
    EXPECT_EQ(themeError(validManifest("")), invalidManifest);
}

TEST_F(ThemeLoad, KeyDownNeedsSixDistinctNames) {
    json manifest = validManifest("glass");
    manifest["sounds"]["keyDown"] =
        json::array({"a.wav", "a.wav", "a.wav", "a.wav", "a.wav", "a.wav"});
    EXPECT_EQ(themeError(manifest), invalidManifest);

    manifest["sounds"]["keyDown"] =
        json::array({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav", "a.wav", "b.wav"});
    EXPECT_EQ(themeError(manifest), invalidManifest);

    manifest["sounds"]["keyDown"] =
        json::array({"a.wav", "b.wav", "c.wav", "d.wav", "e.wav", "f.wav"});
    EXPECT_TRUE(loadGlass(manifest));
}

TEST_F(ThemeLoad, KeyUpMayBeEmpty) {
    json manifest = validManifest("glass");
    manifest["sounds"]["keyUp"] = json::array();
    EXPECT_TRUE(loadGlass(manifest));
}

TEST_F(ThemeLoad, AlertsNeedRankUp) {
    json manifest = validManifest("glass");
    manifest["sounds"]["alerts"] = json::object();
    EXPECT_EQ(themeError(manifest), invalidManifest);

    manifest["sounds"]["alerts"] = {{"capsOn", "c.wav"},       {"capsOff", "c.wav"},
                                    {"charger", "c.wav"},      {"batteryLow", "c.wav"},
                                    {"downloadDone", "c.wav"}, {"screenshot", "c.wav"},
                                    {"breakNudge", "c.wav"},   {"wrapUp", "c.wav"}};
    EXPECT_EQ(themeError(manifest), invalidManifest);

    manifest["sounds"]["alerts"] = {{"rankUp", "r.wav"}};
    EXPECT_TRUE(loadGlass(manifest));
}

TEST_F(ThemeLoad, GainsMustBeFinite) {
    for (const char* gain : {"typingGainDb", "alertGainDb", "keyUpRelativeDb"}) {
        std::string text = validManifest("glass").dump();
        std::string key = std::string("\"") + gain + "\":";
        auto at = text.find(key) + key.size();
        auto end = text.find_first_of(",}", at);
        text.replace(at, end - at, "-1e39");
        fs::path directory = test::writeTheme(resources.path(), "glass", validManifest("glass"));
        test::writeBytes(directory / "theme.json", text);
        auto result = ThemeManager::load(directory);
        ASSERT_FALSE(result) << gain;
        EXPECT_EQ(describe(result.error()), "invalidManifest") << gain;
    }
}

TEST_F(ThemeLoad, NamesAndRanksAreRequiredForEachSupportedLanguage) {
    for (const char* language : {"en", "zh-Hans", "ja"}) {
        for (const char* map : {"name", "shortName", "ranks"}) {
            json missing = validManifest("glass");
            missing[map].erase(language);
            EXPECT_EQ(themeError(missing), invalidManifest) << map << " " << language;
        }
        for (const char* map : {"name", "shortName"}) {
            json empty = validManifest("glass");
            empty[map][language] = "";
            EXPECT_EQ(themeError(empty), invalidManifest) << map << " " << language;
        }
    }
    json spaces = validManifest("glass");
    spaces["name"]["ja"] = " ";
    spaces["shortName"]["en"] = " ";
    EXPECT_TRUE(loadGlass(spaces)) << "a space is not empty";
}

TEST_F(ThemeLoad, RanksNeedExactlySixNonEmptyNames) {
    json five = validManifest("glass");
    five["ranks"]["ja"].erase(5);
    EXPECT_EQ(themeError(five), invalidManifest);

    json seven = validManifest("glass");
    seven["ranks"]["zh-Hans"].push_back("extra");
    EXPECT_EQ(themeError(seven), invalidManifest);

    json emptyName = validManifest("glass");
    emptyName["ranks"]["ja"][3] = "";
    EXPECT_EQ(themeError(emptyName), invalidManifest);

    json otherLanguage = validManifest("glass");
    otherLanguage["ranks"]["fr"] = json::array({"un", "deux", "trois"});
    otherLanguage["name"]["fr"] = "";
    EXPECT_TRUE(loadGlass(otherLanguage));
}

TEST_F(ThemeLoad, TaglineQuipsAndFloatTextHaveNoLanguageRequirement) {
    json manifest = validManifest("glass");
    manifest["tagline"] = json::object();
    manifest["recapQuips"] = json::object();
    manifest["floatText"] = json::object();
    EXPECT_TRUE(loadGlass(manifest));
}

TEST_F(ThemeLoad, EveryColourMustBeHashAndSixHexDigits) {
    const char* const colors[] = {
        "/colors/accent",          "/colors/onAccent",         "/colors/tile",
        "/colors/keycap",          "/colors/recap/background", "/colors/recap/text",
        "/colors/recap/secondary", "/colors/recap/accent"};
    const char* const bad[] = {
        "#12345",    // six characters
        "#1234567",  // eight
        "#12345g",   // a letter beyond f
        "123456",    // no hash
        "1234567",   // seven but no hash
        "x123456",
        "#12 456",
        "#+12345",
        "#-12345",
        "",
        "#",
        "#１２３４５６",  // full-width digits: seven characters, not hexadecimal
        "#\xCC\x81"
        "123456",                  // a combining mark fused to the hash
        "#12345\xF0\x9F\x99\x82",  // an emoji as the sixth character
    };
    // The content rules need no files; one full load per colour shows they are wired in.
    auto validate = [](const json& manifest) {
        auto theme = decodeTheme(manifest.dump());
        return theme ? validateManifest(*theme, "glass") : std::optional(ThemeError{});
    };
    for (const char* pointer : colors) {
        for (const char* value : bad) {
            json manifest = validManifest("glass");
            manifest[json::json_pointer(pointer)] = value;
            EXPECT_EQ(validate(manifest), invalidManifest) << pointer << " = " << value;
        }
        json mixed = validManifest("glass");
        mixed[json::json_pointer(pointer)] = "#aBcDeF";
        EXPECT_EQ(validate(mixed), std::nullopt) << pointer;

        json sixCharacters = validManifest("glass");
        sixCharacters[json::json_pointer(pointer)] = "#12345";
        EXPECT_EQ(themeError(sixCharacters), invalidManifest) << pointer;
    }
    EXPECT_TRUE(loadGlass(validManifest("glass")));
}

TEST_F(ThemeLoad, ContentRulesComeBeforeFileChecks) {
    json manifest = validManifest("glass");
    manifest["schemaVersion"] = 2;
    manifest["sounds"]["space"] = "../escape.wav";
    EXPECT_EQ(themeError(manifest), invalidManifest);

    fs::path directory = test::writeTheme(resources.path(), "other", validManifest("other"));
    fs::remove(directory / "space.wav");
    json badColor = validManifest("other");
    badColor["colors"]["tile"] = "#12345";
    test::writeBytes(directory / "theme.json", badColor.dump());
    auto result = ThemeManager::load(directory);
    ASSERT_FALSE(result);
    EXPECT_EQ(describe(result.error()), "invalidManifest");
}

TEST_F(ThemeLoad, NamesThatLeaveTheFolderAreInvalidFiles) {
    const std::string names[] = {
        "../glass/down1.wav",          "sub/a.wav", "sub\\a.wav", "", ".", "..", "/etc/passwd",
        std::string("a.wav\0../x", 10)};
    for (const std::string& name : names) {
        json manifest = validManifest("glass");
        manifest["sounds"]["backspace"] = name;
        EXPECT_EQ(themeError(manifest), ThemeError::invalidFile(name)) << name;
    }
    fs::create_directories(resources / "glass" / "sub");
    test::writeBytes(resources / "glass" / "sub" / "a.wav", "RIFF");
    json manifest = validManifest("glass");
    manifest["sounds"]["keyUp"][0] = "sub/a.wav";
    EXPECT_EQ(themeError(manifest), ThemeError::invalidFile("sub/a.wav"));
}

TEST_F(ThemeLoad, AbsentFolderOrLinkedSamplesAreMissingFiles) {
    json manifest = validManifest("glass");
    fs::path directory = test::writeTheme(resources.path(), "glass", manifest);

    fs::remove(directory / "down3.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("down3.wav"));

    fs::create_directory(directory / "down3.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("down3.wav"));

    fs::remove(directory / "down3.wav");
    fs::create_symlink(directory / "down1.wav", directory / "down3.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("down3.wav"));

    fs::remove(directory / "down3.wav");
    fs::create_symlink(directory / "nowhere.wav", directory / "down3.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("down3.wav"));

    // A relative link to a regular file in the same folder is still a link.
    fs::remove(directory / "down3.wav");
    fs::create_symlink("down1.wav", directory / "down3.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("down3.wav"));
}

TEST_F(ThemeLoad, OptionalAmbienceMustExistWhenNamed) {
    json manifest = validManifest("glass");
    manifest["sounds"]["ambience"] = "rain.wav";
    fs::path directory = test::writeTheme(resources.path(), "glass", manifest);
    fs::remove(directory / "rain.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("rain.wav"));
}

TEST_F(ThemeLoad, AlertFilesAreChecked) {
    json manifest = validManifest("glass");
    fs::path directory = test::writeTheme(resources.path(), "glass", manifest);
    fs::remove(directory / "caps.wav");
    EXPECT_EQ(themeErrorIn(directory), ThemeError::missingFile("caps.wav"));
}

TEST_F(ThemeLoad, UnreadableSampleIsMissing) {
    auto denyReturn = [](const fs::path& path) {
        return path.filename() != "return.wav" && isReadableFile(path);
    };
    auto result = loadGlass(validManifest("glass"), denyReturn);
    ASSERT_FALSE(result);
    EXPECT_EQ(describe(result.error()), "missingFile(\"return.wav\")");
}

TEST_F(ThemeLoad, FileWithoutReadPermissionIsMissing) {
    fs::path directory = test::writeTheme(resources.path(), "glass", validManifest("glass"));
    fs::permissions(directory / "space.wav", fs::perms::none);
    if (std::FILE* file = std::fopen((directory / "space.wav").c_str(), "rb")) {
        std::fclose(file);
        GTEST_SKIP() << "this user reads files regardless of permissions";
    }
    auto result = ThemeManager::load(directory);
    ASSERT_FALSE(result);
    EXPECT_EQ(describe(result.error()), "missingFile(\"space.wav\")");
}

TEST(ThemeError, TextFormsNameTheCaseAndQuoteTheFile) {
    EXPECT_EQ(ThemeError::invalidManifest().text(), "invalidManifest");
    EXPECT_EQ(ThemeError::defaultThemeUnavailable().text(), "defaultThemeUnavailable");
    EXPECT_EQ(ThemeError::missingFile("a b.wav").text(), "missingFile(\"a b.wav\")");
    EXPECT_EQ(ThemeError::invalidFile("../x").text(), "invalidFile(\"../x\")");
    EXPECT_EQ(ThemeError::invalidFile("").text(), "invalidFile(\"\")");
    EXPECT_EQ(describe(ThemeLoadError(Error{"posix", 2, "No such file"})), "No such file");
}

TEST(ThemeValidation, CanBeCheckedWithoutFiles) {
    auto theme = decodeTheme(validManifest("glass").dump());
    ASSERT_TRUE(theme);
    EXPECT_EQ(validateManifest(*theme, "glass"), std::nullopt);
    EXPECT_EQ(validateManifest(*theme, "glass2"), ThemeError::invalidManifest());
    Theme nan = *theme;
    nan.mix.typingGainDb = std::nanf("");
    EXPECT_EQ(validateManifest(nan, "glass"), ThemeError::invalidManifest());
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::validManifest;

std::vector<std::string> folderNames(const std::vector<ThemeEntry>& entries) {
    std::vector<std::string> names;
    for (const ThemeEntry& entry : entries) {
        names.push_back(entry.folderName());
    }
    return names;
}

json defaultManifest(const std::string& id) {
    json manifest = validManifest(id);
    manifest["isDefault"] = true;
    return manifest;
}

class ThemeCatalogue : public ::testing::Test {
  protected:
    test::TempDir resources;

    ThemeManager build() {
        auto catalogue = ThemeManager::create(resources.path());
        EXPECT_TRUE(catalogue) << (catalogue ? "" : catalogue.error().description);
        return catalogue ? *catalogue : ThemeManager{};
    }
};

TEST_F(ThemeCatalogue, EmptyResourceFolderGivesNoEntries) {
    EXPECT_TRUE(build().entries.empty());
}

TEST_F(ThemeCatalogue, UnlistableFolderFailsWithTheFileSystemError) {
    auto missing = ThemeManager::create(resources / "absent");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().domain, "posix");
    EXPECT_FALSE(missing.error().description.empty());

    test::writeBytes(resources / "file", "x");
    EXPECT_FALSE(ThemeManager::create(resources / "file"));
}

TEST_F(ThemeCatalogue, ValidThemesAreListedByFolderNameWithLoadedValues) {
    test::writeTheme(resources.path(), "beta", validManifest("beta"));
    test::writeTheme(resources.path(), "alpha", validManifest("alpha"));
    ThemeManager catalogue = build();
    ASSERT_EQ(folderNames(catalogue.entries), (std::vector<std::string>{"alpha", "beta"}));
    for (const ThemeEntry& entry : catalogue.entries) {
        ASSERT_TRUE(entry.loaded);
        EXPECT_FALSE(entry.failure);
        EXPECT_EQ(entry.theme, entry.loaded->theme);
        EXPECT_EQ(entry.loaded->directory, entry.directory);
        EXPECT_EQ(entry.directory, resources / entry.folderName());
    }
}

TEST_F(ThemeCatalogue, SkipsHiddenEntriesPlainFilesAndFoldersWithoutManifest) {
    test::writeTheme(resources.path(), ".hidden", validManifest(".hidden"));
    test::writeTheme(resources.path(), "glass", validManifest("glass"));
    test::writeBytes(resources / "en.lproj" / "Localizable.json", "{}");
    test::writeBytes(resources / "README", "not a theme");
    test::writeBytes(resources / "theme.json", "{}");
    fs::create_directories(resources / "empty");
    fs::create_directory_symlink(resources / "nowhere", resources / "dangling");
    fs::create_directories(resources / "deadlink");
    fs::create_symlink(resources / "deadlink" / "gone.json", resources / "deadlink" / "theme.json");
    EXPECT_EQ(folderNames(build().entries), (std::vector<std::string>{"glass"}));
}

TEST_F(ThemeCatalogue, OrdersByCodePointsWithoutLocaleOrNumericRules) {
    for (const char* name : {"item9", "item10", "alpha", "Zeta", "_under", "ß", "éclair", "f"}) {
        test::writeTheme(resources.path(), name, validManifest(name));
    }
    EXPECT_EQ(folderNames(build().entries),
              (std::vector<std::string>{"Zeta", "_under", "alpha", "f", "item10", "item9", "ß",
                                        "éclair"}));
}

TEST(ThemeFolderOrder, ComparesCanonicallyNormalisedNames) {
    const std::string composed = "\xC3\xA9";     // é as one code point
    const std::string decomposed = "e\xCC\x81";  // e + combining acute
    // Both spell U+00E9, which sorts after "f" although "e" alone sorts before it.
    EXPECT_TRUE(folderNameLess("f", decomposed));
    EXPECT_TRUE(folderNameLess("f", composed));
    // Equivalent spellings still get a fixed order.
    EXPECT_NE(folderNameLess(composed, decomposed), folderNameLess(decomposed, composed));
    // Above U+FFFF code point order differs from UTF-16 order.
    EXPECT_TRUE(folderNameLess("\xEF\xBD\xA1", "\xF0\x9F\x99\x82"));  // U+FF61 < U+1F642
    EXPECT_TRUE(folderNameLess("B", "a"));
    EXPECT_FALSE(folderNameLess("a", "a"));
    // Ill-formed names do not break the order.
    EXPECT_NE(folderNameLess("\xFF", "\xFE"), folderNameLess("\xFE", "\xFF"));
}

TEST_F(ThemeCatalogue, FailedEntryKeepsADecodableTheme) {
    json version2 = validManifest("newer");
    version2["schemaVersion"] = 2;
    test::writeTheme(resources.path(), "newer", version2);
    test::writeManifestText(resources.path(), "broken", "{\"schemaVersion\": 1,");
    ThemeManager catalogue = build();
    ASSERT_EQ(folderNames(catalogue.entries), (std::vector<std::string>{"broken", "newer"}));

    const ThemeEntry& broken = catalogue.entries[0];
    EXPECT_FALSE(broken.theme);
    EXPECT_FALSE(broken.loaded);
    ASSERT_TRUE(broken.failure);
    EXPECT_FALSE(broken.failure->empty());

    const ThemeEntry& newer = catalogue.entries[1];
    ASSERT_TRUE(newer.theme);
    EXPECT_EQ(newer.theme->name.at("en"), "Glass");
    EXPECT_FALSE(newer.loaded);
    EXPECT_EQ(newer.failure, "invalidManifest");
}

TEST_F(ThemeCatalogue, FileFailuresKeepTheThemeAndNameTheFile) {
    fs::path directory = test::writeTheme(resources.path(), "glass", validManifest("glass"));
    fs::remove(directory / "rankup.wav");
    ThemeManager catalogue = build();
    ASSERT_EQ(catalogue.entries.size(), 1u);
    EXPECT_TRUE(catalogue.entries[0].theme);
    EXPECT_EQ(catalogue.entries[0].failure, "missingFile(\"rankup.wav\")");
}

// Listed with the headers left for later, a file whose header lies (65535 channels) is still
// found: missing files fail at once, the header when asked, in the words the full listing uses.
TEST_F(ThemeCatalogue, HeadersLeftForLaterAreJudgedLaterInTheSameWords) {
    test::writeTheme(resources.path(), "fine", validManifest("fine"));
    const fs::path lying = test::writeTheme(resources.path(), "lying", validManifest("lying"));
    test::writeBytes(lying / "rankup.wav", test::wavBytes(16, 48000, 65535));
    fs::remove(test::writeTheme(resources.path(), "missing", validManifest("missing")) /
               "caps.wav");
    const ThemeManager now = build();
    auto later = ThemeManager::create(resources.path(), resources / "none", isReadableFile,
                                      SampleHeaders::later);
    ASSERT_TRUE(later);
    ASSERT_EQ(later->entries.size(), 3u);
    EXPECT_EQ(later->entries[2].failure, now.entries[2].failure);
    for (std::size_t i : {0u, 1u}) {
        ASSERT_TRUE(later->entries[i].loaded) << i;
        EXPECT_EQ(ThemeManager::sampleFailure(*later->entries[i].loaded), now.entries[i].failure);
    }
    ASSERT_TRUE(now.entries[1].failure);
    EXPECT_NE(now.entries[1].failure->find("rankup.wav"), std::string::npos);
}

TEST_F(ThemeCatalogue, SecondFolderClaimingAnotherIdFails) {
    test::writeTheme(resources.path(), "glass", validManifest("glass"));
    test::writeTheme(resources.path(), "copy", validManifest("glass"));
    ThemeManager catalogue = build();
    ASSERT_EQ(folderNames(catalogue.entries), (std::vector<std::string>{"copy", "glass"}));
    EXPECT_EQ(catalogue.entries[0].failure, "invalidManifest");
    EXPECT_EQ(catalogue.entries[0].theme->id, "glass");
    EXPECT_TRUE(catalogue.entries[1].loaded);
}

TEST_F(ThemeCatalogue, FailureTextOfBrokenBytesIsValidUtf8) {
    test::writeManifestText(resources.path(), "bytes", "{\"id\": \"\xFF\xFE\"}");
    ThemeManager catalogue = build();
    ASSERT_EQ(catalogue.entries.size(), 1u);
    ASSERT_TRUE(catalogue.entries[0].failure);
    EXPECT_NO_THROW((void)json(*catalogue.entries[0].failure).dump());
}

TEST_F(ThemeCatalogue, DisplayOrderPutsDefaultsFirst) {
    test::writeTheme(resources.path(), "A", validManifest("A"));
    test::writeTheme(resources.path(), "B", defaultManifest("B"));
    ThemeManager catalogue = build();
    EXPECT_EQ(folderNames(catalogue.entries), (std::vector<std::string>{"A", "B"}));
    sortForDisplay(catalogue.entries);
    EXPECT_EQ(folderNames(catalogue.entries), (std::vector<std::string>{"B", "A"}));
}

TEST_F(ThemeCatalogue, DisplayOrderKeepsFailedDefaultsWithDefaultsAndMixesTheRest) {
    test::writeTheme(resources.path(), "a-plain", validManifest("a-plain"));
    test::writeManifestText(resources.path(), "b-broken", "not json");
    json failedDefault = defaultManifest("c-default-bad");
    failedDefault["schemaVersion"] = 3;
    test::writeTheme(resources.path(), "c-default-bad", failedDefault);
    test::writeTheme(resources.path(), "d-plain", validManifest("d-plain"));
    test::writeTheme(resources.path(), "e-default", defaultManifest("e-default"));
    ThemeManager catalogue = build();
    sortForDisplay(catalogue.entries);
    EXPECT_EQ(
        folderNames(catalogue.entries),
        (std::vector<std::string>{"c-default-bad", "e-default", "a-plain", "b-broken", "d-plain"}));
}

TEST(ThemeDisplayOrder, SortsAnyInputOrderTheSameWay) {
    auto entry = [](const std::string& folder, std::optional<bool> isDefault) {
        ThemeEntry result;
        result.directory = fs::path("/res") / folder;
        if (isDefault) {
            result.theme = Theme{};
            result.theme->isDefault = *isDefault;
        }
        result.failure = "x";
        return result;
    };
    std::vector<ThemeEntry> entries{entry("z", std::nullopt), entry("y", false), entry("m", true),
                                    entry("b", std::nullopt), entry("c", false), entry("a", true)};
    sortForDisplay(entries);
    EXPECT_EQ(folderNames(entries), (std::vector<std::string>{"a", "m", "b", "c", "y", "z"}));
    std::vector<ThemeEntry> empty;
    sortForDisplay(empty);
    EXPECT_TRUE(empty.empty());
}

TEST_F(ThemeCatalogue, LinkedThemeFolderIsListed) {
    test::TempDir elsewhere;
    test::writeTheme(elsewhere.path(), "linked", validManifest("linked"));
    fs::create_directory_symlink(elsewhere / "linked", resources / "linked");
    ThemeManager catalogue = build();
    ASSERT_EQ(catalogue.entries.size(), 1u);
    EXPECT_TRUE(catalogue.entries[0].loaded);
}

// The user's themes come after the built-in ones, validated the same way; a built-in id is never
// taken over, and a missing or unlistable user folder leaves the built-in catalogue intact.
TEST_F(ThemeCatalogue, UserThemesFollowTheBuiltInOnesAndNeverTakeTheirIDs) {
    test::TempDir user;
    test::writeTheme(resources.path(), "thock", defaultManifest("thock"));
    test::writeTheme(resources.path(), "zinc", validManifest("zinc"));
    test::writeTheme(user.path(), "alpha", validManifest("alpha"));
    test::writeTheme(user.path(), "thock", validManifest("thock"));
    json broken = validManifest("wrong-id");
    test::writeTheme(user.path(), "mine", broken);
    test::writeTheme(user.path(), ".import-partial", validManifest(".import-partial"));

    auto catalogue = ThemeManager::create(resources.path(), user.path());
    ASSERT_TRUE(catalogue.has_value());
    EXPECT_FALSE(catalogue->userFolderError);
    const auto& entries = catalogue->entries;
    ASSERT_EQ(folderNames(entries),
              (std::vector<std::string>{"thock", "zinc", "alpha", "mine", "thock"}));
    EXPECT_FALSE(entries[0].isUserTheme);
    EXPECT_TRUE(entries[2].isUserTheme && entries[2].loaded);
    EXPECT_EQ(entries[3].failure, "invalidManifest");
    EXPECT_TRUE(entries[4].isUserTheme);
    EXPECT_FALSE(entries[4].loaded);
    EXPECT_TRUE(entries[4].theme);
    EXPECT_EQ(entries[4].failure, "idTakenByBuiltInTheme(\"thock\")");

    auto noUserFolder = ThemeManager::create(resources.path(), user / "absent");
    ASSERT_TRUE(noUserFolder.has_value());
    EXPECT_EQ(noUserFolder->entries.size(), 2u);
    EXPECT_FALSE(noUserFolder->userFolderError);

    test::writeBytes(user / "file", "x");
    auto notAFolder = ThemeManager::create(resources.path(), user / "file");
    ASSERT_TRUE(notAFolder.has_value());
    EXPECT_EQ(notAFolder->entries.size(), 2u);
    EXPECT_TRUE(notAFolder->userFolderError);
    EXPECT_FALSE(ThemeManager::create(resources / "absent", user.path()).has_value());
}

// The limits on what a folder can make the catalogue read: themes per folder (the rest are named
// in a note), entries per folder (the folder is not scanned), sound files per manifest.
TEST_F(ThemeCatalogue, BoundsThemesEntriesAndSoundFiles) {
    for (std::size_t i = 0; i <= ThemeManager::maxThemes; ++i) {
        test::writeManifestText(resources.path(), "t" + std::to_string(1000 + i), "{}");
    }
    ThemeManager catalogue = build();
    EXPECT_EQ(catalogue.entries.size(), ThemeManager::maxThemes);
    EXPECT_EQ(catalogue.entries.back().folderName(), "t1255");
    ASSERT_EQ(catalogue.notes.size(), 1u);
    EXPECT_NE(catalogue.notes[0].find("257 themes"), std::string::npos) << catalogue.notes[0];

    for (std::size_t i = catalogue.entries.size() + 1; i <= ThemeManager::maxFolderEntries; ++i) {
        test::writeBytes(resources / ("f" + std::to_string(i)), "");
    }
    auto crowded = ThemeManager::create(resources.path());
    ASSERT_FALSE(crowded.has_value());
    EXPECT_NE(crowded.error().description.find("more than 10000 entries"), std::string::npos);

    json manifest = validManifest("many");
    for (std::size_t i = 0; i < ThemeManager::maxSoundFiles; ++i) {
        manifest["sounds"]["keyDown"].push_back("k" + std::to_string(i) + ".wav");
    }
    test::TempDir other;
    auto many = ThemeManager::load(test::writeManifestText(other.path(), "many", manifest.dump()));
    ASSERT_FALSE(many.has_value());
    EXPECT_NE(describe(many.error()).find("at most 512"), std::string::npos);
}

}  // namespace
}  // namespace tapwell

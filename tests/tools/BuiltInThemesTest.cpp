// The themes that ship: generated into the build tree's resource folder, loaded through the
// same catalogue the application uses.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "themegen/Themes.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

TEST(BuiltInThemes, LoadThroughTheCatalogueWithoutFailure) {
    auto catalogue = ThemeManager::create(TAPWELL_TEST_RESOURCE_DIR);
    ASSERT_TRUE(catalogue.has_value()) << catalogue.error().description;
    std::set<std::string> loaded;
    for (const ThemeEntry& entry : catalogue->entries) {
        EXPECT_FALSE(entry.failure.has_value())
            << entry.folderName() << ": " << entry.failure.value_or("");
        if (entry.loaded) {
            loaded.insert(entry.folderName());
        }
    }
    for (const auto& recipe : themegen::builtInThemes()) {
        EXPECT_TRUE(loaded.contains(recipe.folder)) << recipe.folder << " is not in the catalogue";
    }
}

TEST(BuiltInThemes, DeepThockIsTheOnlyDefaultAndListedFirst) {
    auto catalogue = ThemeManager::create(TAPWELL_TEST_RESOURCE_DIR);
    ASSERT_TRUE(catalogue.has_value());
    auto entries = catalogue->entries;
    sortForDisplay(entries);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().folderName(), "thock");
    int defaults = 0;
    for (const ThemeEntry& entry : entries) {
        defaults += entry.theme && entry.theme->isDefault ? 1 : 0;
    }
    EXPECT_EQ(defaults, 1);
}

TEST(BuiltInThemes, EveryRecipeHasACheckedInManifestAndBack) {
    std::set<std::string> recipes;
    for (const auto& recipe : themegen::builtInThemes()) {
        recipes.insert(recipe.folder);
    }
    std::set<std::string> manifests;
    for (const auto& child : fs::directory_iterator(TAPWELL_TEST_THEME_SOURCE_DIR)) {
        if (fs::exists(child.path() / "theme.json")) {
            manifests.insert(child.path().filename().string());
        }
    }
    EXPECT_EQ(recipes, manifests);
    EXPECT_GE(recipes.size(), 4u);
}

}  // namespace
}  // namespace tapwell

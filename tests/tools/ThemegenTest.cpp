#include "themegen/Themes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

namespace tapwell::themegen {
namespace {

namespace fs = std::filesystem;

const ThemeRecipe& recipe(const std::string& folder) {
    for (const ThemeRecipe& t : builtInThemes()) {
        if (t.folder == folder) {
            return t;
        }
    }
    throw std::runtime_error("no recipe " + folder);
}

std::string bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Themegen, RendersAreDeterministicAndIndependentOfOrder) {
    const ThemeRecipe& theme = recipe("typewriter");
    const FileRecipe* enter = nullptr;
    for (const FileRecipe& f : theme.files) {
        enter = f.role == FileRole::enter ? &f : enter;
    }
    ASSERT_NE(enter, nullptr);
    const Buffer first = renderFile(theme, *enter);
    for (std::size_t i = 0; i < 5; ++i) {
        (void)renderFile(theme, theme.files[i]);
    }
    EXPECT_EQ(renderFile(theme, *enter), first);
}

TEST(Themegen, TwoGenerationsAreByteIdentical) {
    test::TempDir one, two;
    const ThemeRecipe& theme = recipe("clicky");
    ASSERT_TRUE(generateTheme(theme, TAPWELL_TEST_THEME_SOURCE_DIR, one.path()).has_value());
    ASSERT_TRUE(generateTheme(theme, TAPWELL_TEST_THEME_SOURCE_DIR, two.path()).has_value());
    int files = 0;
    for (const auto& entry : fs::directory_iterator(one.path() / "clicky")) {
        const fs::path other = two.path() / "clicky" / entry.path().filename();
        ASSERT_TRUE(fs::exists(other)) << other;
        EXPECT_EQ(bytes(entry.path()), bytes(other)) << entry.path().filename();
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(theme.files.size()) + 1);
    // The manifest is copied verbatim.
    EXPECT_EQ(bytes(one.path() / "clicky" / "theme.json"),
              bytes(fs::path(TAPWELL_TEST_THEME_SOURCE_DIR) / "clicky" / "theme.json"));
}

TEST(Themegen, RefusesAMissingManifestOrOneThatNamesAFileItDoesNotMake) {
    test::TempDir manifests, out;
    std::string text = bytes(fs::path(TAPWELL_TEST_THEME_SOURCE_DIR) / "bubbles" / "theme.json");
    const auto at = text.find("space.wav");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 9, "splash.wav");
    manifests.write("bubbles/theme.json", text);
    const auto made = generateTheme(recipe("bubbles"), manifests.path(), out.path());
    ASSERT_FALSE(made.has_value());
    EXPECT_NE(made.error().find("splash.wav"), std::string::npos);
    EXPECT_FALSE(fs::exists(out.path() / "bubbles" / "theme.json"));

    test::TempDir none, nothingMade;
    EXPECT_FALSE(generateTheme(recipe("bubbles"), none.path(), nothingMade.path()).has_value());
    EXPECT_FALSE(fs::exists(nothingMade.path() / "bubbles"));
}

}  // namespace
}  // namespace tapwell::themegen

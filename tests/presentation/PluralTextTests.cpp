#include "presentation/PluralText.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::TempDir;

TEST(PluralText, PicksTheLanguagesFormAndGroupsTheCount) {
    TempDir dir;
    const char* english = R"({"left.one": "{1} key to {2}", "left.other": "{1} keys to {2}"})";
    dir.write("en.lproj/Localizable.json", english);
    dir.write("ja.lproj/Localizable.json", R"({"left.one": "x", "left.other": "{2}まで{1}打"})");
    dir.write("zh-Hans.lproj/Localizable.json", R"({"left.other": "距{2}还差 {1} 次"})");
    const Localization en("en", dir.path());
    const Localization ja("ja", dir.path());
    const Localization zh("zh-Hans", dir.path());
    const struct {
        const Localization& localization;
        std::int64_t count;
        const char* form;
        const char* text;
    } cases[] = {
        {en, 1, "one", "1 key to B"},     {en, 0, "other", "0 keys to B"},
        {en, 2, "other", "2 keys to B"},  {en, 12345, "other", "12,345 keys to B"},
        {ja, 1, "other", "Bまで1打"},  // Japanese has no singular: the "one" entry is never read
        {zh, 1, "other", "距B还差 1 次"}, {zh, 80000, "other", "距B还差 80,000 次"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pluralForm(c.localization, c.count), c.form) << c.count;
        EXPECT_EQ(pluralText(c.localization, "left", c.count, {"B"}), c.text) << c.count;
    }
}

TEST(PluralText, AMissingFormReadsTheOtherForm) {
    TempDir dir;
    dir.write("en.lproj/Localizable.json", R"({"n.other": "{1} times"})");
    const Localization en("en", dir.path());
    EXPECT_EQ(pluralText(en, "n", 1), "1 times");
    EXPECT_EQ(pluralText(en, "missing", 1), "missing.other");
}

}  // namespace
}  // namespace tapwell

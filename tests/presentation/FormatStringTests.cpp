#include "presentation/FormatString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tapwell {
namespace {

struct FillCase {
    std::string_view pattern;
    std::vector<std::string> arguments;
    std::string_view expected;
};

TEST(FormatString, FillsPlaceholdersInAnyOrderAndUnescapesBraces) {
    const std::vector<std::string> twelve{"a1", "a2", "a3", "a4",  "a5",  "a6",
                                          "a7", "a8", "a9", "a10", "a11", "a12"};
    const FillCase cases[] = {
        {"{1} keystrokes today. Next up: {2}.",
         {"1,234", "Wizard"},
         "1,234 keystrokes today. Next up: Wizard."},
        {"次のランクは「{2}」。今日は{1}回。",
         {"1,234", "魔法使い"},
         "次のランクは「魔法使い」。今日は1,234回。"},
        {"{1}-{1}-{2}", {"a", "b"}, "a-a-b"},
        {"{12}/{1}/{10}", twelve, "a12/a1/a10"},
        {"", {"a"}, ""},
        {"{{1}} is {1}", {"x"}, "{1} is x"},
        {"{{{1}}}", {"x"}, "{x}"},
        {"}}{{", {}, "}{"},
        // Argument text is inserted as it stands, never expanded again.
        {"{1} and {2}", {"{2}", "{{b}}"}, "{2} and {{b}}"},
    };
    for (const FillCase& c : cases) {
        EXPECT_EQ(fillPlaceholders(c.pattern, c.arguments), c.expected) << c.pattern;
    }
}

TEST(FormatString, LeavesMissingArgumentsAndMalformedBracesAsTheyStand) {
    const FillCase cases[] = {
        {"{1} of {3}", {"one", "two"}, "one of {3}"},
        {"{1}", {}, "{1}"},
        {"{0} {} {x} { 1} {1", {"a"}, "{0} {} {x} { 1} {1"},
        {"lone } here {1}", {"a"}, "lone } here a"},
        // Only the brace that went wrong is literal; a placeholder right after it still works.
        {"{a{1}}", {"x"}, "{ax}"},
        {"{9999999}", {"x"}, "{9999999}"},
    };
    for (const FillCase& c : cases) {
        EXPECT_EQ(fillPlaceholders(c.pattern, c.arguments), c.expected) << c.pattern;
    }
}

TEST(FormatString, ListsThePlaceholdersAPatternUses) {
    EXPECT_EQ(placeholderIndices("{2} then {1} then {2}"), (std::set<int>{1, 2}));
    EXPECT_EQ(placeholderIndices("{{1}} only literal braces }}"), std::set<int>{});
    EXPECT_EQ(placeholderIndices("{10}"), std::set<int>{10});
}

TEST(FormatString, RejectsMalformedPatternsWithTheirPosition) {
    for (const std::string_view bad : {"{0}", "{}", "{x}", "{1", "a }", "{ 1}", "{1234567}"}) {
        const auto result = placeholderIndices(bad);
        ASSERT_FALSE(result.has_value()) << bad;
        EXPECT_NE(result.error().find("at byte"), std::string::npos) << result.error();
    }
    EXPECT_EQ(placeholderIndices("ok {1} then }").error(),
              "lone \"}\" (write \"}}\" for a literal brace) at byte 12");
    EXPECT_EQ(placeholderIndices("{1} {0}").error(), "argument numbers start at 1 at byte 4");
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include "themes/UnicodeText.h"

namespace tapwell {
namespace {

TEST(UnicodeText, CountsUserPerceivedCharacters) {
    EXPECT_EQ(graphemeCount(""), 0u);
    EXPECT_EQ(graphemeCount("#aabbcc"), 7u);
    EXPECT_EQ(graphemeCount("e\xCC\x81"), 1u);                         // e + combining acute
    EXPECT_EQ(graphemeCount("\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5"), 1u);  // a flag: two code points
    EXPECT_EQ(graphemeCount("a\r\nb"), 3u);
    EXPECT_EQ(graphemeCount("玻璃"), 2u);
    EXPECT_EQ(graphemeCount("\xFF\xFE"), 2u);  // each broken byte stands for one U+FFFD
}

TEST(UnicodeText, DropsTheWholeFirstCharacter) {
    EXPECT_EQ(dropFirstGrapheme(""), "");
    EXPECT_EQ(dropFirstGrapheme("#abc"), "abc");
    EXPECT_EQ(dropFirstGrapheme("e\xCC\x81x"), "x");
    EXPECT_EQ(dropFirstGrapheme("\r\nx"), "x");
    EXPECT_EQ(dropFirstGrapheme("\xFFx"), "x");
}

// Each maximal subpart of an ill-formed sequence (the longest start of a well-formed one, else a
// single byte) becomes one U+FFFD, as ICU and the WHATWG decoder replace them.
TEST(UnicodeText, RepairsBrokenUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    const struct {
        std::string input;
        std::string expected;
    } cases[] = {
        {"plain", "plain"},
        {"玻璃", "玻璃"},
        {"\xF0\x9F\x87\xAF", "\xF0\x9F\x87\xAF"},  // four bytes
        {"a\xFF!", "a" + r + "!"},
        {"\xE7\x8Ex", r + "x"},  // a cut-off character is one replacement
        {"\xF0\x9F\x87", r},
        {"\xC2", r},
        {"\xE2\x82\xAC\x80", "\xE2\x82\xAC" + r},  // a stray continuation byte
        {"\xED\xA0\x80", r + r + r},               // a surrogate is not a character
        {"\xC0\xAF", r + r},                       // nor is an overlong form
        {"\xE0\x80\x80", r + r + r},
        {"\xF0\x80", r + r},
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toValidUtf8(c.input), c.expected) << c.input;
    }
}

}  // namespace
}  // namespace tapwell

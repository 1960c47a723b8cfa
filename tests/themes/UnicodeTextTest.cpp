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

TEST(UnicodeText, RepairsBrokenUtf8) {
    EXPECT_EQ(toValidUtf8("plain"), "plain");
    EXPECT_EQ(toValidUtf8("a\xFF"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(toValidUtf8("玻璃"), "玻璃");
}

}  // namespace
}  // namespace tapwell

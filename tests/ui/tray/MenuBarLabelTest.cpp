// The count beside the tray icon: grouped by the label's language (never by the process's own
// locale), formatted anew only when the count or the language changes.

#include <gtest/gtest.h>

#include <QLocale>

#include <unicode/locid.h>

#include "presentation/Localization.h"
#include "ui/tray/MenuBarLabel.h"

namespace tapwell::ui {
namespace {

class MenuBarLabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A process locale that groups differently ("1.234.567") must not leak into the label.
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale::getGerman(), status);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale::getEnglish(), status);
        QLocale::setDefault(QLocale::c());
    }

    Localization english{"en", TAPWELL_TEST_RESOURCE_DIR};
};

TEST_F(MenuBarLabelTest, GroupsTheCountInEachLanguagesLocale) {
    struct Case {
        const char* language;
        std::int64_t count;
        const char* text;
        const char* compact;
    };
    const Case cases[] = {
        {"en", 0, "0", "0"},
        {"en", 999, "999", "999"},
        {"en", 1'999, "1,999", "1K"},
        {"en", 12'345, "12,345", "12K"},
        {"en", 1'234'567, "1,234,567", "1M"},
        {"zh-Hans", 12'345, "12,345", "1万"},
        {"zh-Hans", 1'234'567, "1,234,567", "123万"},
        {"ja", 19'999, "19,999", "1万"},
        {"ja", 1'234'567, "1,234,567", "123万"},
    };
    for (const Case& c : cases) {
        MenuBarLabel label;
        ASSERT_TRUE(label.update({c.count, c.language}, english)) << c.language;
        EXPECT_EQ(label.text().toStdString(), c.text) << c.language << " " << c.count;
        EXPECT_EQ(label.compactText().toStdString(), c.compact) << c.language << " " << c.count;
        EXPECT_EQ(label.localization().language(), c.language);
    }
}

TEST_F(MenuBarLabelTest, ChangesOnlyWhenTheTextWould) {
    MenuBarLabel label;
    EXPECT_TRUE(label.update({12'345, "en"}, english));
    EXPECT_EQ(label.guide().toStdString(), "00,000");
    EXPECT_EQ(label.name().toStdString(), "Tapwell");
    EXPECT_FALSE(label.update({12'345, "en"}, english));
    EXPECT_TRUE(label.update({12'346, "en"}, english));
    // Another language with the same grouping writes the same text, but its own short form.
    EXPECT_TRUE(label.update({12'346, "ja"}, english));
    EXPECT_EQ(label.text().toStdString(), "12,346");
    EXPECT_EQ(label.compactText().toStdString(), "1万");
    // No count (showCount off) empties the label and its guide.
    EXPECT_TRUE(label.update({std::nullopt, "ja"}, english));
    EXPECT_TRUE(label.text().isEmpty());
    EXPECT_TRUE(label.guide().isEmpty());
    EXPECT_TRUE(label.compactText().isEmpty());
    EXPECT_FALSE(label.update({std::nullopt, "ja"}, english));
    EXPECT_TRUE(label.update({0, "ja"}, english));
    EXPECT_EQ(label.text().toStdString(), "0");
}

}  // namespace
}  // namespace tapwell::ui

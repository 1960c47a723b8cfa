#include <gtest/gtest.h>

#include <algorithm>

#include "platform/linux/desktop/DesktopEntries.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

class DesktopEntriesTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    DesktopEntries entries{{dir / "home/applications", dir / "system/applications"}};

    void SetUp() override {
        dir.write("home/applications/org.example.Meeting.desktop",
                  "[Desktop Entry]\nType=Application\nName=Meeting\nName[ja]=会議\n"
                  "Name[zh_CN]=会议\nIcon=meeting\nStartupWMClass=MeetingApp\n"
                  "[Desktop Action New]\nName=Not the name\n");
        dir.write("home/applications/gone.desktop",
                  "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
        dir.write("system/applications/gone.desktop",
                  "[Desktop Entry]\nType=Application\nName=Gone\nStartupWMClass=Gone\n");
        dir.write("system/applications/firefox-esr.desktop",
                  "[Desktop Entry]\nType=Application\nName=Firefox ESR\nIcon=firefox-esr\n");
        dir.write("system/applications/kde/okular.desktop",
                  "[Desktop Entry]\nType=Application\nName=Okular\n");
        dir.write("system/applications/helper.desktop",
                  "[Desktop Entry]\nType=Application\nName=Helper\nNoDisplay=true\n"
                  "StartupWMClass=helper-window\n");
        dir.write("system/applications/org.example.Meeting.desktop",
                  "[Desktop Entry]\nType=Application\nName=Overridden\n");
        dir.write("system/applications/link.desktop",
                  "[Desktop Entry]\nType=Link\nName=Web\nURL=https://example.org\n");
    }
};

TEST_F(DesktopEntriesTest, WindowClassesNameTheirApplication) {
    struct Case {
        const char* instance;
        const char* className;
        const char* id;
    };
    const Case cases[] = {
        {"meeting", "MeetingApp", "org.example.Meeting"},  // StartupWMClass, the class
        {"MeetingApp", "Other", "org.example.Meeting"},    // StartupWMClass, the instance
        {"Navigator", "firefox-esr", "firefox-esr"},       // the entry's id
        {"okular", "Kde-okular", "kde-okular"},            // id from a sub-folder, any case
        {"helper-window", "Helper", "helper"},             // not listed, still known
        {"gone", "Gone", "Gone"},                          // hidden by the user: the class
        {"unknown", "Unknown", "Unknown"},
        {"only-instance", "", "only-instance"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entries.applicationID(c.instance, c.className), c.id)
            << c.instance << " / " << c.className;
    }
}

TEST_F(DesktopEntriesTest, ListsVisibleApplicationsByLocalizedName) {
    const auto names = [this](std::string_view language) {
        std::vector<std::string> out;
        for (const InstalledApp& app : entries.list(language)) {
            out.push_back(app.id + "=" + app.name);
        }
        return out;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(names("en"), (Names{"firefox-esr=Firefox ESR", "org.example.Meeting=Meeting",
                                  "kde-okular=Okular"}));
    const auto ja = names("ja");
    EXPECT_NE(std::find(ja.begin(), ja.end(), "org.example.Meeting=会議"), ja.end());
    const auto zh = names("zh-Hans");
    EXPECT_NE(std::find(zh.begin(), zh.end(), "org.example.Meeting=会议"), zh.end());
    EXPECT_EQ(entries.list("en")[1].icon, "meeting");
}

TEST(DesktopEntryParsing, KeysOfTheMainGroupUnescaped) {
    const auto keys = DesktopEntries::parseGroup(
        "# comment\n[Other]\nName=No\n[Desktop Entry]\n Name = Two\\sWords \nExec=a\\\\b\n");
    EXPECT_EQ(keys.at("Name"), "Two Words");
    EXPECT_EQ(keys.at("Exec"), "a\\b");
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Application\n", "x"));  // no Name
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include "platform/linux/desktop/XdgAutostart.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

class XdgAutostartTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    fs::path program = "/opt/tap well/bin/tapwell";
    XdgAutostart autostart{dir / "config", {dir / "xdg"}, program};
};

TEST_F(XdgAutostartTest, EnablingWritesAnEntryThatStartsTheProgramAndDisablingRemovesIt) {
    EXPECT_FALSE(autostart.status().enabled);
    ASSERT_FALSE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.status().enabled);
    EXPECT_FALSE(autostart.status().needsApproval);
    const std::string text = dir.read("config/autostart/com.tapwell.Tapwell.desktop");
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/tap well/bin/tapwell\"\n"), std::string::npos);

    ASSERT_FALSE(autostart.setEnabled(false));
    EXPECT_FALSE(fs::exists(autostart.userEntry()));
    EXPECT_FALSE(autostart.status().enabled);
    EXPECT_FALSE(autostart.setEnabled(false));  // already off
}

TEST_F(XdgAutostartTest, EntriesSwitchedOffByTheUserOrTheSystemCount) {
    struct Case {
        const char* name;
        const char* user;    // nullptr: no user entry
        const char* system;  // nullptr: no system entry
        bool enabled;
    };
    const char* plain = "[Desktop Entry]\nType=Application\nName=Tapwell\nExec=tapwell\n";
    const std::string hidden = std::string(plain) + "Hidden=true\n";
    const std::string gnomeOff = std::string(plain) + "X-GNOME-Autostart-enabled=false\n";
    const Case cases[] = {
        {"user entry", plain, nullptr, true},
        {"hidden by the user", hidden.c_str(), nullptr, false},
        {"off in GNOME's key", gnomeOff.c_str(), nullptr, false},
        {"system entry", nullptr, plain, true},
        {"system entry hidden by the user", hidden.c_str(), plain, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "config");
        fs::remove_all(dir / "xdg");
        if (c.user != nullptr) {
            dir.write("config/autostart/com.tapwell.Tapwell.desktop", c.user);
        }
        if (c.system != nullptr) {
            dir.write("xdg/autostart/com.tapwell.Tapwell.desktop", c.system);
        }
        EXPECT_EQ(autostart.status().enabled, c.enabled);
    }
}

TEST_F(XdgAutostartTest, ASystemEntryIsHiddenRatherThanDeleted) {
    dir.write("xdg/autostart/com.tapwell.Tapwell.desktop",
              "[Desktop Entry]\nType=Application\nName=Tapwell\nExec=tapwell\n");
    ASSERT_TRUE(autostart.status().enabled);
    ASSERT_FALSE(autostart.setEnabled(false));
    EXPECT_FALSE(autostart.status().enabled);
    EXPECT_TRUE(fs::exists(dir / "xdg/autostart/com.tapwell.Tapwell.desktop"));
    ASSERT_FALSE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.status().enabled);
}

TEST_F(XdgAutostartTest, AnUnwritableConfigFolderIsAnError) {
    dir.write("config", "a file where the folder should be");
    const auto error = autostart.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->description.empty());
    EXPECT_FALSE(autostart.status().enabled);
}

TEST(XdgAutostartExec, QuotesAndEscapesAsDesktopEntriesWant) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/tapwell", "/usr/bin/tapwell"},
        {"/home/a b/tapwell", "\"/home/a b/tapwell\""},
        {"/tmp/x$y/tapwell", "\"/tmp/x\\\\$y/tapwell\""},
        {"/tmp/50%/tapwell", "/tmp/50%%/tapwell"},
        {"/tmp/q\"/tapwell", "\"/tmp/q\\\\\"/tapwell\""},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_EQ(XdgAutostart::execValue(path), exec) << path;
    }
}

}  // namespace
}  // namespace tapwell

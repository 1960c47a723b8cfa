#include "platform/linux/system/XdgDownloadsFolder.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

TEST(XdgDownloadsFolder, ParsesHomeRelativeAndAbsoluteValues) {
    const fs::path home = "/home/ann";
    EXPECT_EQ(parseXdgDownloadDir("XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n", home),
              fs::path("/home/ann/Downloads"));
    EXPECT_EQ(parseXdgDownloadDir("XDG_DOWNLOAD_DIR=\"/data/dl\"", home), fs::path("/data/dl"));
    EXPECT_EQ(parseXdgDownloadDir("  XDG_DOWNLOAD_DIR = \"$HOME/Téléchargements\"", home),
              fs::path("/home/ann/Téléchargements"));
}

TEST(XdgDownloadsFolder, UndoesShellQuoting) {
    EXPECT_EQ(parseXdgDownloadDir(R"(XDG_DOWNLOAD_DIR="$HOME/My \"Files\" \$x")", "/h"),
              fs::path("/h/My \"Files\" $x"));
}

TEST(XdgDownloadsFolder, IgnoresCommentsOtherKeysAndInvalidValues) {
    const std::string text =
        "# XDG_DOWNLOAD_DIR=\"$HOME/commented\"\n"
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        "XDG_DOWNLOAD_DIR=\"relative/path\"\n"
        "XDG_DOWNLOAD_DIR=\"$HOMEWORK/x\"\n"
        "XDG_DOWNLOAD_DIR=\"$HOME/unterminated\n"
        "XDG_DOWNLOAD_DIRS=\"$HOME/other\"\n";
    EXPECT_EQ(parseXdgDownloadDir(text, "/h"), std::nullopt);
    EXPECT_EQ(parseXdgDownloadDir(text + "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n", "/h"),
              fs::path("/h/dl"));
}

TEST(XdgDownloadsFolder, LastAssignmentWins) {
    EXPECT_EQ(
        parseXdgDownloadDir("XDG_DOWNLOAD_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIR=\"$HOME/b\"\n", "/h"),
        fs::path("/h/b"));
}

TEST(XdgDownloadsFolder, ReadsUserDirsUnderTheConfigHome) {
    TempDir dir;
    dir.write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Incoming\"\n");
    EXPECT_EQ(xdgDownloadsFolder(std::string("/home/ann"), (dir / "config").string()),
              fs::path("/home/ann/Incoming"));
    // Without XDG_CONFIG_HOME the file is looked for in ~/.config.
    dir.write("home/.config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"/srv/dl/\"\n");
    EXPECT_EQ(xdgDownloadsFolder((dir / "home").string(), std::nullopt), fs::path("/srv/dl"));
    // A relative XDG_CONFIG_HOME is ignored.
    EXPECT_EQ(xdgDownloadsFolder((dir / "home").string(), std::string("config")),
              fs::path("/srv/dl"));
}

TEST(XdgDownloadsFolder, DefaultsToDownloadsInHome) {
    TempDir dir;
    EXPECT_EQ(xdgDownloadsFolder((dir / "home").string(), (dir / "none").string()),
              dir / "home" / "Downloads");
    EXPECT_EQ(xdgDownloadsFolder(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(xdgDownloadsFolder(std::string(""), std::nullopt), std::nullopt);
    EXPECT_EQ(xdgDownloadsFolder(std::string("relative"), std::nullopt), std::nullopt);
}

TEST(XdgDownloadsFolder, PointingAtHomeSwitchesTheFolderOff) {
    TempDir dir;
    dir.write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
    EXPECT_EQ(xdgDownloadsFolder(std::string("/home/ann"), (dir / "config").string()),
              std::nullopt);
}

TEST(XdgDownloadsFolder, ReadsTheProcessEnvironment) {
    TempDir dir;
    dir.write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Env\"\n");
    test::ScopedEnv home("HOME", (dir / "home").c_str());
    test::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    EXPECT_EQ(xdgDownloadsFolder(), dir / "home" / "Env");
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "themeimport/LibzipReader.h"
#include "themeimport/PackArchive.h"
#include "themeimport/PackFixture.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

// The program reads archives through a module it loads on demand; these tests link libzip in.
[[maybe_unused]] const bool readsArchives = [] {
    ZipReader::useOpener(&LibzipReader::openArchive);
    return true;
}();

std::unique_ptr<PackArchive> openPack(const fs::path& path, const PackLimits& limits = {}) {
    auto pack = PackArchive::open(path, "pack", limits);
    EXPECT_TRUE(pack.has_value()) << (pack ? "" : pack.error());
    return pack ? std::move(*pack) : nullptr;
}

std::string errorOf(const fs::path& path, const PackLimits& limits = {}) {
    auto pack = PackArchive::open(path, "pack", limits);
    return pack ? std::string("opened") : pack.error();
}

// Packs made on other systems name their files loosely; a folder and a zip are searched alike.
TEST(PackArchive, FindsFilesByPathThenAnyCaseThenNameAlone) {
    test::TempDir dir;
    const std::vector<test::ZipEntry> files{
        {"Pack/config.json", "{}"},        {"Pack/press/A.wav", "a"}, {"Pack/Press/b.WAV", "b"},
        {"Pack/deep/er/c.wav", "c"},       {"Other/c.wav", "c2"},     {"d.wav", "d"},
        {"__MACOSX/Pack/._e.wav", "fork"}, {"Pack/e.WAV", "e"},
    };
    test::writeZip(dir / "pack.zip", files);
    for (const auto& file : files) {
        test::writeText(dir / "folder" / file.name, file.bytes);
    }
    for (const fs::path& path :
         {dir / "pack.zip", dir / "folder", dir / "folder/Pack/config.json"}) {
        SCOPED_TRACE(path.string());
        auto pack = openPack(path);
        ASSERT_TRUE(pack);
        EXPECT_EQ(pack->isZip(), path.extension() == ".zip");
        const bool whole = path.filename() != "config.json";
        const std::string base = whole ? "Pack/" : "";
        const std::vector<std::pair<std::string, std::optional<std::string>>> lookups{
            {"press/A.wav", base + "press/A.wav"},
            {"./press//A.wav", base + "press/A.wav"},
            {"press\\A.wav", base + "press/A.wav"},
            {"PRESS/a.wav", base + "press/A.wav"},
            {"press/b.wav", base + "Press/b.WAV"},
            {"c.wav", base + "deep/er/c.wav"},  // below the config's folder wins
            {"sounds/E.wav", base + "e.WAV"},
            {"../d.wav", std::nullopt},
            {"/d.wav", std::nullopt},
            {"missing.wav", std::nullopt},
        };
        for (const auto& [name, expected] : lookups) {
            auto found = pack->find(name);
            ASSERT_EQ(found.has_value(), expected.has_value()) << name;
            if (found) {
                EXPECT_EQ(pack->entryPath(*found), *expected) << name;
            }
        }
        auto config = pack->readConfig();
        ASSERT_TRUE(config.has_value());
        EXPECT_EQ(*config, "{}");
        test::TempDir scratch;
        auto file = pack->materialize(*pack->find("press/a.wav"), scratch.path());
        ASSERT_TRUE(file.has_value()) << file.error();
        EXPECT_EQ(test::readAll(*file), "a");
    }
}

TEST(PackArchive, RefusesHostileOrOversizedArchives) {
    test::TempDir dir;
    const std::string zeros(200000, '\0');  // compresses to almost nothing
    test::writeZip(dir / "climb.zip", {{"config.json", "{}"}, {"a/../../x.wav", "x"}});
    test::writeZip(dir / "absolute.zip", {{"config.json", "{}"}, {"/etc/x.wav", "x"}});
    test::writeZip(dir / "drive.zip", {{"config.json", "{}"}, {"C:\\x.wav", "x"}});
    test::writeZip(dir / "link.zip", {{"config.json", "{}"}, {"x.wav", "/etc/passwd", true}});
    test::writeZip(dir / "two.zip", {{"a/config.json", "{}"}, {"b/Config.json", "{}"}});
    test::writeZip(dir / "none.zip", {{"a.wav", "x"}});
    test::writeZip(dir / "bomb.zip", {{"config.json", "{}"}, {"x.wav", zeros}});
    test::writeZip(dir / "many.zip", {{"config.json", "{}"}, {"x.wav", "1"}, {"y.wav", "2"}});
    test::writeZip(dir / "bigconfig.zip", {{"config.json", zeros}});
    test::writeText(dir / "plain.txt", "hello");

    const std::vector<std::pair<std::string, std::string>> refused{
        {"climb.zip", "\"a/../../x.wav\" points outside the pack"},
        {"absolute.zip", "\"/etc/x.wav\" points outside the pack"},
        {"drive.zip", "points outside the pack"},
        {"link.zip", "\"x.wav\" is a symbolic link"},
        {"two.zip", "holds several packs (a/config.json and b/Config.json)"},
        {"none.zip", "holds no config.json"},
        {"plain.txt", "is neither a folder nor a readable .zip archive"},
        {"missing", "no such file or folder"},
    };
    for (const auto& [file, message] : refused) {
        const std::string error = errorOf(dir / file);
        EXPECT_TRUE(error.starts_with("pack: ")) << error;
        EXPECT_NE(error.find(message), std::string::npos) << file << ": " << error;
    }

    PackLimits small;
    small.maxFileBytes = 64 * 1024;
    small.maxTotalBytes = 3;
    small.maxConfigBytes = 1024;
    auto bomb = openPack(dir / "bomb.zip", small);
    ASSERT_TRUE(bomb);
    auto unpacked = bomb->materialize(*bomb->find("x.wav"), dir.path());
    ASSERT_FALSE(unpacked.has_value());
    EXPECT_NE(unpacked.error().find("x.wav is larger than 64 KiB"), std::string::npos)
        << unpacked.error();
    auto many = openPack(dir / "many.zip", small);
    ASSERT_TRUE(many);
    EXPECT_TRUE(many->readConfig().has_value());  // 2 bytes of the 3 allowed
    EXPECT_TRUE(many->materialize(*many->find("x.wav"), dir.path()).has_value());
    auto second = many->materialize(*many->find("y.wav"), dir.path());
    ASSERT_FALSE(second.has_value());
    EXPECT_NE(second.error().find("add up to more than"), std::string::npos) << second.error();
    auto bigConfig = openPack(dir / "bigconfig.zip", small);
    ASSERT_TRUE(bigConfig);
    EXPECT_FALSE(bigConfig->readConfig().has_value());

    PackLimits few;
    few.maxEntries = 2;
    EXPECT_NE(errorOf(dir / "many.zip", few).find("more than 2 entries"), std::string::npos);
}

// Without an archive reader (the program could not load its module) archives are refused with the
// reason and a way out; folder packs still open.
TEST(PackArchive, WithoutAReaderRefusesArchivesOnly) {
    test::TempDir dir;
    test::writeZip(dir / "pack.zip", {{"config.json", "{}"}});
    test::writeText(dir / "folder/config.json", "{}");
    ZipReader::useOpener(nullptr);
    const std::string error = errorOf(dir / "pack.zip");
    const bool folderOpens = PackArchive::open(dir / "folder", "pack").has_value();
    ZipReader::useOpener(&LibzipReader::openArchive);
    EXPECT_NE(error.find("pack: cannot be read: this installation of Tapwell cannot open .zip "
                         "archives (no archive reader); unpack the archive and import the folder"),
              std::string::npos)
        << error;
    EXPECT_TRUE(folderOpens);
}

// A folder pack's symbolic links are not its files: they are neither listed nor followed.
TEST(PackArchive, FolderPacksIgnoreSymbolicLinks) {
    test::TempDir dir;
    test::writeText(dir / "pack/config.json", "{}");
    test::writeText(dir / "outside/secret.wav", "s");
    fs::create_symlink(dir / "outside/secret.wav", dir / "pack/a.wav");
    fs::create_directory_symlink(dir / "outside", dir / "pack/linked");
    auto pack = openPack(dir / "pack");
    ASSERT_TRUE(pack);
    EXPECT_FALSE(pack->find("a.wav").has_value());
    EXPECT_FALSE(pack->find("linked/secret.wav").has_value());
    EXPECT_FALSE(pack->find("secret.wav").has_value());
}

}  // namespace
}  // namespace tapwell

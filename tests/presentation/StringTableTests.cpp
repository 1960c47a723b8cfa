#include "presentation/StringTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace tapwell {
namespace {

using Kind = StringTableError::Kind;
using test::TempDir;

std::string detailOf(std::string_view json) {
    auto result = StringTable::parse(json);
    return result ? std::string("<parsed>") : result.error();
}

TEST(StringTable, ReadsAFlatObjectOfTexts) {
    TempDir dir;
    const auto file =
        dir.write("en.lproj/Localizable.json", R"({"b": "Bee", "a": "Ay {1}", "empty": ""})");
    const auto table = StringTable::load(file);
    ASSERT_TRUE(table.has_value()) << table.error().description();
    EXPECT_EQ(table->size(), 3u);
    EXPECT_EQ(*table->find("a"), "Ay {1}");
    EXPECT_EQ(*table->find("empty"), "");
    EXPECT_EQ(table->find("c"), nullptr);
    EXPECT_EQ(table->keys(), (std::vector<std::string>{"a", "b", "empty"}));
    EXPECT_EQ(*StringTable::parse(R"({"k": "今日は\u2026 «ok»"})")->find("k"), "今日は… «ok»");
}

TEST(StringTable, AMissingFileOrAFolderInItsPlaceIsReported) {
    TempDir dir;
    const auto missing = StringTable::load(dir / "nope.lproj/Localizable.json");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().kind, Kind::missing);
    EXPECT_STREQ(toString(missing.error().kind), "missing");
    EXPECT_EQ(missing.error().description(),
              "String table " + (dir / "nope.lproj/Localizable.json").string() + " does not exist");

    std::filesystem::create_directories(dir / "en.lproj/Localizable.json");
    const auto folder = StringTable::load(dir / "en.lproj/Localizable.json");
    ASSERT_FALSE(folder.has_value());
    EXPECT_EQ(folder.error().kind, Kind::unreadable);
    EXPECT_NE(folder.error().description().find("not a regular file"), std::string::npos);
}

TEST(StringTable, BrokenJsonGivesAClearErrorWithItsPosition) {
    TempDir dir;
    const auto file =
        dir.write("ja.lproj/Localizable.json", "{\n  \"a\": \"x\",\n  \"b\" \"y\"\n}");
    const auto result = StringTable::load(file);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().kind, Kind::malformed);
    const std::string text = result.error().description();
    EXPECT_NE(text.find(file.string()), std::string::npos) << text;
    EXPECT_NE(text.find("is malformed: not valid JSON"), std::string::npos) << text;
    EXPECT_NE(text.find("line 3"), std::string::npos) << text;
    EXPECT_EQ(text.find("json.exception"), std::string::npos) << text;
}

TEST(StringTable, RejectsEverythingButAFlatObjectOfStrings) {
    EXPECT_NE(detailOf("").find("not valid JSON"), std::string::npos);
    EXPECT_NE(detailOf("{\"a\": \"x\"} trailing").find("not valid JSON"), std::string::npos);
    EXPECT_NE(detailOf("{\"a\": \"\xff\xfe\"}").find("not valid JSON"), std::string::npos);
    // A number beyond a double's range used to end the program.
    EXPECT_NE(detailOf("{\"a\": 1e400}").find("not valid JSON"), std::string::npos);
    EXPECT_EQ(detailOf(R"(["a", "b"])"), "the top level is a JSON array, not an object of texts");
    EXPECT_EQ(detailOf(R"("text")"), "the top level is a JSON string, not an object of texts");
    EXPECT_EQ(detailOf("null"), "the top level is a JSON null, not an object of texts");
    EXPECT_EQ(detailOf(R"({"a": "x", "n": 5})"),
              "the value of \"n\" is a JSON number, not a string");
    EXPECT_EQ(detailOf(R"({"a": null})"), "the value of \"a\" is a JSON null, not a string");
    EXPECT_EQ(detailOf(R"({"a": {"b": "c"}})"),
              "the value of \"a\" is a JSON object, not a string");
}

TEST(StringTable, RejectsAKeyGivenTwice) {
    EXPECT_EQ(detailOf(R"({"a": "one", "b": "x", "a": "two"})"),
              "the key \"a\" appears more than once");
    // Equal keys in different places are not duplicates of each other; the nested object is
    // rejected for being an object.
    EXPECT_EQ(detailOf(R"({"a": {"a": "x"}})"),
              "the value of \"a\" is a JSON object, not a string");
}

class StringBundleTest : public ::testing::Test {
  protected:
    void writeTable(std::string_view language, std::string_view json) {
        dir.write(std::string(language) + ".lproj/Localizable.json", json);
    }
    TempDir dir;
};

TEST_F(StringBundleTest, AKeyMissingFromTheLanguageReadsEnglishThenItself) {
    writeTable("en", R"({"greet": "Hello", "bye": "Bye"})");
    writeTable("zh-Hans", R"({"greet": "你好"})");
    const StringBundle bundle = StringBundle::open(dir.path(), "zh-Hans");
    EXPECT_EQ(bundle.localizedString("greet"), "你好");
    EXPECT_EQ(bundle.localizedString("bye"), "Bye");
    EXPECT_EQ(bundle.localizedString("nowhere"), "nowhere");
    EXPECT_EQ(bundle.find("nowhere"), nullptr);
}

TEST_F(StringBundleTest, WithoutLanguageTablesReadsATableInTheResourceFolderItself) {
    dir.write("Localizable.json", R"({"greet": "Top level"})");
    const StringBundle bundle = StringBundle::open(dir.path(), "ja");
    EXPECT_EQ(bundle.folder(), dir.path());
    EXPECT_EQ(bundle.localizedString("greet"), "Top level");
}

TEST_F(StringBundleTest, ALanguageCodeCannotLeaveTheResourceFolder) {
    dir.write("inner/en.lproj/Localizable.json", R"({"greet": "Hello"})");
    dir.write("secret.lproj/Localizable.json", R"({"greet": "Leaked"})");
    const auto resources = dir / "inner";
    EXPECT_EQ(StringBundle::open(resources, "../secret").localizedString("greet"), "Hello");
    EXPECT_EQ(StringBundle::open(resources, "..").localizedString("greet"), "Hello");
    EXPECT_EQ(StringBundle::open(resources, "").localizedString("greet"), "Hello");
}

TEST_F(StringBundleTest, ATableChangedOnDiskIsReadAgain) {
    writeTable("en", R"({"greet": "Hello"})");
    const StringBundle before = StringBundle::open(dir.path(), "en");
    EXPECT_EQ(before.localizedString("greet"), "Hello");
    writeTable("en", R"({"greet": "Hello again"})");
    EXPECT_EQ(StringBundle::open(dir.path(), "en").localizedString("greet"), "Hello again");
    // A bundle already made keeps the texts it was made with.
    EXPECT_EQ(before.localizedString("greet"), "Hello");
    writeTable("en", R"({"greet": broken)");
    EXPECT_EQ(StringBundle::open(dir.path(), "en").localizedString("greet"), "greet");
    writeTable("en", R"({"greet": "Fixed"})");
    EXPECT_EQ(StringBundle::open(dir.path(), "en").localizedString("greet"), "Fixed");
}

}  // namespace
}  // namespace tapwell

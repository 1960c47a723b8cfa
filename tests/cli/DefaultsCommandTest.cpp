#include <gtest/gtest.h>

#include "CliRun.h"
#include "cli/Cli.h"
#include "core/UserDefaults.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::ScopedEnv;
using test::TempDir;

class DefaultsCommand : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path().c_str()};

    using Result = test::CliResult;
    static Result run(const std::vector<std::string>& args) { return test::runCli(args); }
};

TEST_F(DefaultsCommand, WritesAndReadsEveryType) {
    EXPECT_EQ(run({"defaults", "write", "b", "bool", "false"}).status, 0);
    EXPECT_EQ(run({"defaults", "write", "i", "int", "-42"}).status, 0);
    EXPECT_EQ(run({"defaults", "write", "d", "double", "0.25"}).status, 0);
    EXPECT_EQ(run({"defaults", "write", "s", "string", "hello world"}).status, 0);
    EXPECT_EQ(run({"defaults", "write", "t", "date", "2026-12-06T18:30:00Z"}).status, 0);
    EXPECT_EQ(run({"defaults", "write", "x", "data", "AQID"}).status, 0);

    EXPECT_EQ(run({"defaults", "read", "b"}).out, "false\n");
    EXPECT_EQ(run({"defaults", "read", "i"}).out, "-42\n");
    EXPECT_EQ(run({"defaults", "read", "d"}).out, "0.25\n");
    EXPECT_EQ(run({"defaults", "read", "s"}).out, "hello world\n");
    EXPECT_EQ(run({"defaults", "read", "t"}).out, "2026-12-06T18:30:00.000Z\n");
    EXPECT_EQ(run({"defaults", "read", "x"}).out, "AQID\n");

    UserDefaults store(UserDefaults::standardPath());
    EXPECT_EQ(store.dataValue("x"), (Bytes{1, 2, 3}));
    EXPECT_EQ(store.integerValue("i"), -42);

    const auto all = run({"defaults", "read"});
    EXPECT_NE(all.out.find("i = -42 (int)"), std::string::npos);
    EXPECT_NE(all.out.find("s = hello world (string)"), std::string::npos);
}

TEST_F(DefaultsCommand, DataFromAFile) {
    const auto file = dir.write("blob.bin", std::string("\0\xff", 2));
    EXPECT_EQ(run({"defaults", "write", "blob", "data", "@" + file.string()}).status, 0);
    EXPECT_EQ(run({"defaults", "read", "blob"}).out, "AP8=\n");
    const auto missing = run({"defaults", "write", "blob", "data", "@/nonexistent/file"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
    EXPECT_EQ(run({"defaults", "read", "blob"}).out, "AP8=\n");
}

TEST_F(DefaultsCommand, MalformedValuesChangeNothing) {
    ASSERT_EQ(run({"defaults", "write", "k", "int", "7"}).status, 0);
    for (const auto& [type, value] :
         std::vector<std::pair<std::string, std::string>>{{"int", "7.5"},
                                                          {"int", ""},
                                                          {"int", "99999999999999999999"},
                                                          {"bool", "maybe"},
                                                          {"double", "nan"},
                                                          {"double", "1e999"},
                                                          {"double", "1x"},
                                                          {"date", "yesterday"},
                                                          {"date", "2026-02-30"},
                                                          {"data", "not base64!"},
                                                          {"colour", "red"}}) {
        const auto result = run({"defaults", "write", "k", type, value});
        EXPECT_EQ(result.status, 1) << type << " " << value;
        EXPECT_FALSE(result.err.empty()) << type << " " << value;
    }
    EXPECT_EQ(run({"defaults", "read", "k"}).out, "7\n");
}

TEST_F(DefaultsCommand, KnownKeysTakeOnlyTheirTypeAndKeysMustNotBeEmpty) {
    ASSERT_EQ(run({"defaults", "write", "m3.preferences", "data", "e30="}).status, 0);  // {}
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> named;  // what the message names
    };
    const std::vector<Case> cases = {
        {{"m3.preferences", "string", R"({"breakNudge":false})"}, {"m3.preferences", "data"}},
        {{"m3.preferences", "data", "WzFd"}, {"m3.preferences", "JSON"}},  // [1]
        {{"m3.wellbeingLedger", "data", "e30="}, {"m3.wellbeingLedger", "JSON"}},
        {{"soundsEnabled", "int", "1"}, {"soundsEnabled", "bool"}},
        {{"typingVolume", "string", "loud"}, {"typingVolume", "double"}},
        {{"mutedUntil", "string", "tomorrow"}, {"mutedUntil", "date"}},
        {{"themeID", "bool", "true"}, {"themeID", "string"}},
        {{"TapwellWellbeingDebug", "string", "yes"}, {"TapwellWellbeingDebug", "bool"}},
        {{"", "string", "x"}, {"key is empty"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"defaults", "write"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = run(args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        for (const auto& name : c.named) {
            EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
        }
    }
    const auto all = run({"defaults", "read"});
    EXPECT_EQ(all.out, "m3.preferences = e30= (data)\n") << "nothing else was stored";

    // An integer is a fine double; a well-formed record is taken.
    EXPECT_EQ(run({"defaults", "write", "typingVolume", "int", "1"}).status, 0);
    EXPECT_EQ(run({"defaults", "read"}).out.find("typingVolume = 1 (double)") != std::string::npos,
              true);
    const auto record = dir.write("prefs.json", R"({"breakNudge":false})");
    EXPECT_EQ(run({"defaults", "write", "m3.preferences", "data", "@" + record.string()}).status,
              0);
    EXPECT_NE(run({"preferences"}).out.find(R"("breakNudge":false)"), std::string::npos);
}

TEST_F(DefaultsCommand, OversizedValuesAreRefused) {
    const std::size_t limit = UserDefaults::maxValueBytes;
    const auto big = dir.write("big.bin", std::string(limit + 1, 'x'));
    const auto fromFile = run({"defaults", "write", "blob", "data", "@" + big.string()});
    EXPECT_EQ(fromFile.status, 1);
    EXPECT_NE(fromFile.err.find("larger than"), std::string::npos) << fromFile.err;
    const auto inline_ = run({"defaults", "write", "s", "string", std::string(limit, 'x')});
    EXPECT_EQ(inline_.status, 1);
    EXPECT_NE(inline_.err.find("1 MiB"), std::string::npos) << inline_.err.substr(0, 200);
    EXPECT_EQ(run({"defaults", "read"}).out, "");
}

TEST_F(DefaultsCommand, AFailedSaveIsReported) {
    dir.write("tapwell", "a file where the folder should be");
    const auto result = run({"defaults", "write", "k", "int", "7"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("could not save"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Not a directory"), std::string::npos) << result.err;
}

TEST_F(DefaultsCommand, DeleteRemovesAndMissingKeysAreErrors) {
    ASSERT_EQ(run({"defaults", "write", "k", "string", "v"}).status, 0);
    EXPECT_EQ(run({"defaults", "delete", "k"}).status, 0);
    EXPECT_EQ(run({"defaults", "read", "k"}).status, 1);
    EXPECT_EQ(run({"defaults", "delete", "k"}).status, 1);
}

TEST_F(DefaultsCommand, UsageErrorsAreReportedAndNoSubcommandStartsTheApplication) {
    const auto result = run({"defaults", "write", "k", "int"});
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.err.find("tapwell"), std::string::npos);
    EXPECT_NE(run({"nonsense"}).status, 0);
    EXPECT_FALSE(run({}).status.has_value());
    EXPECT_EQ(run({"--version"}).status, 0);
}

TEST_F(DefaultsCommand, PreferencesPrintsTheRepairedRecord) {
    const std::string stored = R"({"batteryThreshold":25,"showCount":true})";
    Bytes bytes(stored.begin(), stored.end());
    {
        UserDefaults store(UserDefaults::standardPath());
        ASSERT_TRUE(store.set("m3.preferences", bytes));
    }
    const auto result = run({"preferences"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find(R"("batteryThreshold":20)"), std::string::npos);
    EXPECT_NE(result.out.find(R"("showCount":true)"), std::string::npos);
    EXPECT_NE(result.out.find(R"("mutedAppsCustomized":false)"), std::string::npos);
}

}  // namespace
}  // namespace tapwell

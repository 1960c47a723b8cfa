#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <utility>

#include "cli/Cli.h"
#include "cli/CliRun.h"

namespace tapwell {
namespace {

std::optional<cli::AppOptions> parseApp(const std::vector<std::string>& args, std::string* err) {
    std::ostringstream out;
    std::ostringstream errors;
    cli::AppOptions options;
    const auto status = cli::run(args, out, errors, &options);
    *err = errors.str();
    if (status) {
        return std::nullopt;
    }
    return options;
}

TEST(AppOptions, AudioOutputTextBecomesATypedChoice) {
    struct Case {
        std::string text;
        std::optional<AudioOutputChoice::Kind> kind;
        std::string file;
    };
    const Case cases[] = {
        {"sdl", AudioOutputChoice::Kind::device, ""},
        {"null", AudioOutputChoice::Kind::null, ""},
        {"wav:/tmp/out.wav", AudioOutputChoice::Kind::wav, "/tmp/out.wav"},
        {"wav:", std::nullopt, ""},
        {"alsa", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto choice = cli::parseAudioOutput(c.text);
        ASSERT_EQ(choice.has_value(), c.kind.has_value());
        if (choice) {
            EXPECT_EQ(choice->kind, *c.kind);
            EXPECT_EQ(choice->file, c.file);
        }
    }
}

TEST(AppOptions, PeriodAppliesWhicheverOptionComesFirst) {
    std::string err;
    for (const auto& args :
         {std::vector<std::string>{"--audio-period", "512", "--audio-output", "wav:/tmp/x.wav"},
          std::vector<std::string>{"--audio-output", "wav:/tmp/x.wav", "--audio-period", "512"}}) {
        const auto options = parseApp(args, &err);
        ASSERT_TRUE(options.has_value()) << err;
        EXPECT_EQ(options->audio.kind, AudioOutputChoice::Kind::wav);
        EXPECT_EQ(options->audio.periodFrames, 512u);
    }
}

TEST(AppOptions, UnknownOutputIsRefusedBeforeAnythingStarts) {
    std::string err;
    EXPECT_FALSE(parseApp({"--audio-output", "alsa"}, &err).has_value());
    EXPECT_NE(err.find("unknown audio output \"alsa\""), std::string::npos) << err;
}

TEST(AppOptions, AWavFileThatCannotBeWrittenIsNamedBeforeAnythingStarts) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    struct Case {
        std::string output;
        std::string said;  // empty: accepted
    };
    const Case cases[] = {
        {"wav:/nonexistent/x.wav",
         "cannot write sound to /nonexistent/x.wav: the folder "
         "/nonexistent does not exist"},
        {"wav:" + folder.string(), "cannot write sound to " + folder.string() + ": it is a folder"},
        {"wav:" + (folder / "tapwell-output-test.wav").string(), ""},
        {"null", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        std::string err;
        const auto options = parseApp({"--audio-output", c.output}, &err);
        EXPECT_EQ(options.has_value(), c.said.empty());
        if (!c.said.empty()) {
            EXPECT_EQ(err, "tapwell: " + c.said + "\n");
        }
    }
}

TEST(AppOptions, HelpIsACommandToo) {
    for (const auto& [asCommand, asOption] :
         {std::pair<std::vector<std::string>, std::vector<std::string>>{{"help"}, {"--help"}},
          {{"help", "stats"}, {"stats", "--help"}},
          {{"help", "themes", "import"}, {"themes", "import", "--help"}}}) {
        const test::CliResult command = test::runCli(asCommand);
        const test::CliResult option = test::runCli(asOption);
        EXPECT_EQ(command.status, 0);
        EXPECT_EQ(command.out, option.out);
        EXPECT_NE(command.out.find("Usage"), std::string::npos) << command.out;
        EXPECT_EQ(command.err, "");
    }
    EXPECT_NE(test::runCli({"help", "nonsense"}).status, 0);
}

TEST(AppOptions, VerboseIsAnOptionOfTheApplication) {
    std::string err;
    const auto options = parseApp({"--verbose", "--audio-output", "null"}, &err);
    ASSERT_TRUE(options.has_value()) << err;
    EXPECT_TRUE(options->verbose);
}

}  // namespace
}  // namespace tapwell

#include <gtest/gtest.h>

#include <sstream>

#include "cli/Cli.h"

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
         {std::vector<std::string>{"--audio-period", "128", "--audio-output", "wav:/tmp/x.wav"},
          std::vector<std::string>{"--audio-output", "wav:/tmp/x.wav", "--audio-period", "128"}}) {
        const auto options = parseApp(args, &err);
        ASSERT_TRUE(options.has_value()) << err;
        EXPECT_EQ(options->audio.kind, AudioOutputChoice::Kind::wav);
        EXPECT_EQ(options->audio.periodFrames, 128u);
    }
}

TEST(AppOptions, UnknownOutputIsRefusedBeforeAnythingStarts) {
    std::string err;
    EXPECT_FALSE(parseApp({"--audio-output", "alsa"}, &err).has_value());
    EXPECT_NE(err.find("unknown audio output \"alsa\""), std::string::npos) << err;
}

}  // namespace
}  // namespace tapwell

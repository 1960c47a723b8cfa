#pragma once
// The `tapwell` command line. Each area adds its subcommands to the parser; a subcommand writes
// to the context's streams and sets its exit status. With no subcommand, the caller starts the
// application.

#include <expected>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sound/AudioOutputChoice.h"

namespace CLI {
class App;
}

namespace tapwell {
class StatsStore;
struct RecapContent;
class Localization;
}  // namespace tapwell

namespace tapwell::cli {

// What the command line borrows from the program's views, which this library does not link:
// drawing the recap card as PNG bytes (none when it cannot be drawn).
struct Views {
    std::function<std::optional<std::string>(const RecapContent&)> renderRecapPng;
};

struct Context {
    std::ostream& out;
    std::ostream& err;
    int exitStatus = 0;
    Views views;

    // Reports a failure of the command: the message goes to `err` and the status becomes 1.
    void fail(const std::string& message);
};

// How the application runs when no subcommand is given.
struct AppOptions {
    bool headless = false;        // no windows, even where a display exists
    AudioOutputChoice audio;      // --audio-output and --audio-period
    bool openSettings = false;    // --settings
    bool openOnboarding = false;  // --onboarding
    bool verbose = false;         // --verbose: every log line, and libraries' own messages
};

// Parses `args` (without the program name). Returns the exit status when a subcommand, --help or
// --version ran (or parsing failed), no value when the application should start; then `app`
// (when given) holds the application's options. `views` lends the commands that draw images
// their drawing.
std::optional<int> run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       AppOptions* app = nullptr, Views views = {});

// Parses the text of --audio-output: "sdl" (the sound device), "null" or "wav:FILE". The error is
// a message for the user.
std::expected<AudioOutputChoice, std::string> parseAudioOutput(std::string_view text);

// Tells on `err` which damaged day files the store moved aside while this command read them.
void tellSetAsideDays(Context& context, StatsStore& store);

// Why sound cannot be written where `choice` says (a WAV file in a folder that does not exist, or
// at the place of a folder); none when nothing speaks against it yet.
std::optional<std::string> audioOutputProblem(const AudioOutputChoice& choice);

// The language the user chose for the program ("appLanguage", else English), with the texts of
// the resource folder the program uses: command-line texts follow it like the windows do.
Localization chosenLocalization();

// Registration functions, one per area (see Commands.cpp for the list).
void addDefaultsCommand(CLI::App& app, Context& context);
void addPreferencesCommand(CLI::App& app, Context& context);
void addThemesCommand(CLI::App& app, Context& context);
void addRenderCommand(CLI::App& app, Context& context);
void addStatsCommand(CLI::App& app, Context& context);
void addRecapCommand(CLI::App& app, Context& context);

}  // namespace tapwell::cli

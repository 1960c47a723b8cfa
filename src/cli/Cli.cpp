#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

namespace tapwell::cli {

void Context::fail(const std::string& message) {
    err << "tapwell: " << message << '\n';
    exitStatus = 1;
}

std::expected<AudioOutputChoice, std::string> parseAudioOutput(std::string_view text) {
    AudioOutputChoice choice;
    if (text == "sdl") {
        choice.kind = AudioOutputChoice::Kind::device;
    } else if (text == "null") {
        choice.kind = AudioOutputChoice::Kind::null;
    } else if (text.starts_with("wav:") && text.size() > 4) {
        choice.kind = AudioOutputChoice::Kind::wav;
        choice.file = std::filesystem::path(std::string(text.substr(4)));
    } else {
        return std::unexpected("unknown audio output \"" + std::string(text) +
                               "\"; use sdl, null or wav:FILE");
    }
    return choice;
}

std::optional<int> run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       AppOptions* appOptions, Views views) {
    CLI::App app{"Tapwell: typing sounds, private typing statistics and gentle nudges.", "tapwell"};
    app.set_version_flag("--version", std::string("tapwell ") + TAPWELL_VERSION);
    app.allow_extras(false);

    AppOptions options;
    app.add_flag("--headless", options.headless, "Run without windows");
    app.add_option_function<std::string>(
        "--audio-output",
        [&options](const std::string& text) {
            auto choice = parseAudioOutput(text);
            if (!choice) {
                throw CLI::ValidationError("--audio-output", choice.error());
            }
            choice->periodFrames = options.audio.periodFrames;
            options.audio = *choice;
        },
        "Where sound goes: sdl (default), null, or wav:FILE");
    app.add_option("--audio-period", options.audio.periodFrames,
                   "Frames per audio period (default 256)")
        ->check(CLI::Range(16, 8192));
    app.add_flag("--settings", options.openSettings, "Open the settings window at launch");
    app.add_flag("--onboarding", options.openOnboarding, "Open the onboarding window at launch");

    Context context{out, err, 0, std::move(views)};
    addDefaultsCommand(app, context);
    addPreferencesCommand(app, context);
    addThemesCommand(app, context);
    addRenderCommand(app, context);
    addStatsCommand(app, context);
    addRecapCommand(app, context);

    // CLI11 parses from the back of a reversed list.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << "tapwell " << TAPWELL_VERSION << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        err << "tapwell: " << error.what() << '\n';
        if (!app.get_subcommands().empty()) {
            err << "Run 'tapwell " << app.get_subcommands().back()->get_name()
                << " --help' for usage.\n";
        } else {
            err << "Run 'tapwell --help' for usage.\n";
        }
        return error.get_exit_code() == 0 ? 2 : error.get_exit_code();
    }
    if (app.get_subcommands().empty()) {
        if (appOptions != nullptr) {
            *appOptions = options;
        }
        return std::nullopt;
    }
    return context.exitStatus;
}

}  // namespace tapwell::cli

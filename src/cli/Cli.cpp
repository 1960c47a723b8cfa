#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "presentation/Localization.h"

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

Localization chosenLocalization() {
    const UserDefaults defaults(UserDefaults::standardPath());
    const std::string stored = defaults.stringValue(defaultsKey::appLanguage).value_or("");
    return Localization(Localization::supportedOrFallback(stored),
                        ResourceLocator::find().value_or(std::filesystem::path{}));
}

std::optional<std::string> audioOutputProblem(const AudioOutputChoice& choice) {
    if (choice.kind != AudioOutputChoice::Kind::wav) {
        return std::nullopt;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file = fs::absolute(choice.file, error);
    if (error) {
        return "cannot write sound to " + choice.file.string() + ": " + error.message();
    }
    const fs::path folder = file.parent_path();
    if (!fs::is_directory(folder, error)) {
        return "cannot write sound to " + file.string() + ": the folder " + folder.string() +
               " does not exist";
    }
    if (fs::is_directory(file, error)) {
        return "cannot write sound to " + file.string() + ": it is a folder";
    }
    return std::nullopt;
}

std::optional<int> run(const std::vector<std::string>& givenArgs, std::ostream& out,
                       std::ostream& err, AppOptions* appOptions, Views views) {
    std::vector<std::string> args = givenArgs;
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
                   "Frames per audio period (default 128)")
        ->check(CLI::Range(16, 8192));
    app.add_flag("--settings", options.openSettings, "Open the settings window at launch");
    app.add_flag("--onboarding", options.openOnboarding, "Open the onboarding window at launch");
    app.add_flag("--verbose", options.verbose,
                 "Write every log line to standard error, with the sound libraries' messages");
    app.footer("Run 'tapwell help COMMAND' or 'tapwell COMMAND --help' for a command's options.");

    Context context{out, err, 0, std::move(views)};
    addDefaultsCommand(app, context);
    addPreferencesCommand(app, context);
    addThemesCommand(app, context);
    addRenderCommand(app, context);
    addStatsCommand(app, context);
    addRecapCommand(app, context);

    // "tapwell help [COMMAND...]" is "tapwell [COMMAND...] --help", for commands that exist.
    if (!args.empty() && args.front() == "help") {
        args.erase(args.begin());
        const CLI::App* command = &app;
        for (const std::string& name : args) {
            try {
                command = command->get_subcommand(name);
            } catch (const CLI::OptionNotFound&) {
                err << "tapwell: there is no command \"" << name << "\"\n"
                    << "Run 'tapwell help' for the list of commands.\n";
                return 2;
            }
        }
        args.emplace_back("--help");
    }

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
        if (const auto problem = audioOutputProblem(options.audio)) {
            err << "tapwell: " << *problem << '\n';
            return 1;
        }
        if (appOptions != nullptr) {
            *appOptions = options;
        }
        return std::nullopt;
    }
    return context.exitStatus;
}

}  // namespace tapwell::cli

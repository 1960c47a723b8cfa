// `tapwell preferences`: the effective feature settings, as loaded and repaired.

#include <CLI/CLI.hpp>

#include <ostream>

#include "cli/Cli.h"
#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"

namespace tapwell::cli {

void addPreferencesCommand(CLI::App& app, Context& context) {
    CLI::App* command =
        app.add_subcommand("preferences", "Print the effective preferences as JSON");
    command->callback([&context] {
        const UserDefaults store(UserDefaults::standardPath());
        context.out << AppPreferences::load(store).toJSON() << '\n';
    });
}

}  // namespace tapwell::cli

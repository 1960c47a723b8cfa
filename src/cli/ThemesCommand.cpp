// `tapwell themes [--resources DIR] [--json]`: the theme catalogue in display order, with each
// folder's failure text, for checking a resource folder by hand or from scripts.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "core/ResourceLocator.h"
#include "themes/ThemeManager.h"

namespace tapwell::cli {
namespace {

struct ThemesOptions {
    std::string resources;
    bool json = false;
};

// Folder names may hold anything but "/" and NUL; keep one entry on one line.
std::string printable(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result;
}

nlohmann::json entryJson(const ThemeEntry& entry) {
    nlohmann::json object = nlohmann::json::object();
    object["folder"] = entry.folderName();
    object["id"] = entry.theme ? nlohmann::json(entry.theme->id) : nlohmann::json(nullptr);
    object["isDefault"] =
        entry.theme ? nlohmann::json(entry.theme->isDefault) : nlohmann::json(nullptr);
    object["failure"] = entry.failure ? nlohmann::json(*entry.failure) : nlohmann::json(nullptr);
    return object;
}

void runThemes(Context& context, const ThemesOptions& options) {
    std::filesystem::path folder;
    if (!options.resources.empty()) {
        folder = options.resources;
    } else if (auto found = ResourceLocator::find()) {
        folder = *found;
    } else {
        context.fail("no resource folder found; set TAPWELL_RESOURCE_DIR or pass --resources DIR");
        return;
    }

    auto catalogue = ThemeManager::create(folder);
    if (!catalogue) {
        context.fail("cannot list the resource folder: " + catalogue.error().description);
        return;
    }
    std::vector<ThemeEntry> entries = std::move(catalogue->entries);
    sortForDisplay(entries);

    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const ThemeEntry& entry : entries) {
            list.push_back(entryJson(entry));
        }
        // Folder names need not be UTF-8; never let one abort the listing.
        context.out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    if (entries.empty()) {
        context.out << "No themes in " << printable(folder.string()) << '\n';
        return;
    }
    for (const ThemeEntry& entry : entries) {
        context.out << printable(entry.folderName()) << '\t'
                    << (entry.theme ? printable(entry.theme->id) : std::string("-")) << '\t'
                    << (entry.theme && entry.theme->isDefault ? "default" : "-") << '\t'
                    << (entry.failure ? printable(*entry.failure) : std::string("ok")) << '\n';
    }
}

}  // namespace

void addThemesCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<ThemesOptions>();
    CLI::App* command = app.add_subcommand(
        "themes", "List the theme folders in display order with their state (ok or why not)");
    command
        ->add_option("--resources", options->resources,
                     "Resource folder to list (default: the one the program uses)")
        ->type_name("DIR");
    command->add_flag("--json", options->json,
                      "Print a JSON array of {folder, id, isDefault, failure}");
    command->callback([&context, options] { runThemes(context, *options); });
}

}  // namespace tapwell::cli

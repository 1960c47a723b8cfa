// `tapwell themes [--resources DIR] [--json]`: the theme catalogue in display order (built-in
// and the user's own themes), with each folder's failure text, for checking a resource folder by
// hand or from scripts. `tapwell themes import PATH [--id ID]` turns a keyboard sound pack into a
// theme of the user's; `tapwell themes remove ID` removes such a theme again.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "core/ResourceLocator.h"
#include "core/Uuid.h"
#include "themeimport/PackImporter.h"
#include "themes/ThemeManager.h"

namespace tapwell::cli {
namespace {

struct ThemesOptions {
    std::string resources;
    bool json = false;
    std::string importPath;
    std::string importID;
    std::string removeID;
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
    object["user"] = entry.isUserTheme;
    return object;
}

std::optional<std::filesystem::path> resourceFolder(Context& context,
                                                    const ThemesOptions& options) {
    if (!options.resources.empty()) {
        return std::filesystem::path(options.resources);
    }
    if (auto found = ResourceLocator::find()) {
        return found;
    }
    context.fail("no resource folder found; set TAPWELL_RESOURCE_DIR or pass --resources DIR");
    return std::nullopt;
}

void runThemes(Context& context, const ThemesOptions& options) {
    auto folder = resourceFolder(context, options);
    if (!folder) {
        return;
    }
    auto catalogue = ThemeManager::create(*folder, userThemesFolder());
    if (!catalogue) {
        context.fail("cannot list the resource folder: " + catalogue.error().description);
        return;
    }
    if (catalogue->userFolderError) {
        context.err << "tapwell: cannot list your themes folder: "
                    << printable(catalogue->userFolderError->description) << '\n';
    }
    for (const std::string& note : catalogue->notes) {
        context.err << "tapwell: " << printable(note) << '\n';
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
        context.out << "No themes in " << printable(folder->string()) << '\n';
        return;
    }
    for (const ThemeEntry& entry : entries) {
        context.out << printable(entry.folderName()) << '\t'
                    << (entry.theme ? printable(entry.theme->id) : std::string("-")) << '\t'
                    << (entry.theme && entry.theme->isDefault ? "default" : "-") << '\t'
                    << (entry.failure ? printable(*entry.failure) : std::string("ok"))
                    << (entry.isUserTheme ? "\tuser" : "") << '\n';
    }
}

void runImport(Context& context, const ThemesOptions& options) {
    auto folder = resourceFolder(context, options);
    if (!folder) {
        return;
    }
    ImportRequest request;
    request.pack = options.importPath;
    if (!options.importID.empty()) {
        request.id = options.importID;
    }
    request.themesFolder = userThemesFolder();
    request.resourceFolder = *folder;
    auto report = importSoundPack(request);
    if (!report) {
        context.fail(printable(report.error()));
        return;
    }
    context.out << "Imported \"" << printable(report->themeName) << "\" as the theme \""
                << report->themeID << "\" in " << printable(report->directory.string()) << '\n'
                << "Mapped:\n";
    for (const std::string& line : report->mapped) {
        context.out << "  " << printable(line) << '\n';
    }
    context.out << "Dropped:" << (report->dropped.empty() ? " nothing\n" : "\n");
    for (const std::string& line : report->dropped) {
        context.out << "  " << printable(line) << '\n';
    }
    context.out << "Tapwell offers it among its themes from its next start.\n";
}

void runRemove(Context& context, const ThemesOptions& options) {
    const std::string& id = options.removeID;
    const std::filesystem::path themes = userThemesFolder();
    const std::filesystem::path folder = themes / id;
    std::error_code error;
    // Never a path: only a plain folder name inside the user's themes folder is removed.
    if (!isUsableThemeID(id) ||
        !std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
        auto resources = ResourceLocator::find();
        if (isUsableThemeID(id) && resources &&
            std::filesystem::exists(*resources / id / "theme.json", error)) {
            context.fail("\"" + printable(id) +
                         "\" is a built-in theme, which cannot be removed; only themes you "
                         "imported can");
        } else {
            context.fail("there is no imported theme \"" + printable(id) + "\" in " +
                         printable(themes.string()) + "; 'tapwell themes' lists the themes");
        }
        return;
    }
    // Out of the catalogue's sight first, so a removal that fails half-way leaves no broken theme.
    const std::filesystem::path doomed = themes / (".removing-" + makeUuid());
    std::filesystem::rename(folder, doomed, error);
    if (error) {
        context.fail("cannot remove " + printable(folder.string()) + " (" + error.message() +
                     "); check the permissions of " + printable(themes.string()));
        return;
    }
    std::filesystem::remove_all(doomed, error);
    if (error) {
        context.err << "tapwell: the theme is gone, but " << printable(doomed.string())
                    << " could not be deleted (" << error.message() << "); delete it by hand\n";
    }
    context.out << "Removed the theme \"" << printable(id) << "\" (" << printable(folder.string())
                << ")\n";
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
                      "Print a JSON array of {folder, id, isDefault, failure, user}");

    CLI::App* import = command->add_subcommand(
        "import", "Turn a keyboard sound pack (a folder or .zip with config.json) into a theme");
    import->add_option("PATH", options->importPath, "The pack's folder or .zip")->required();
    import->add_option("--id", options->importID, "Theme id (default: made from the pack's name)")
        ->type_name("ID");
    import
        ->add_option("--resources", options->resources,
                     "Folder of the built-in themes (default: the one the program uses)")
        ->type_name("DIR");
    import->callback([&context, options] { runImport(context, *options);
});

CLI::App* remove = command->add_subcommand("remove", "Remove a theme you imported");
remove->add_option("ID", options->removeID, "The theme's id")->required();
remove->callback([&context, options] { runRemove(context, *options); });

command->callback([&context, options, command] {
    if (command->get_subcommands().empty()) {
        runThemes(context, *options);
    }
});
}  // namespace tapwell::cli

}  // namespace tapwell::cli

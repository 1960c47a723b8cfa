// `tapwell recap [--json | --png FILE] [--date YYYY-MM-DD]`: the daily recap card for the
// selected theme and language, as text, as JSON, or drawn to a PNG image.
//
// Today's record comes from the statistics store (as the application shows it); other days are
// read from their files without changing anything on disk.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "core/Calendar.h"
#include "core/Clock.h"
#include "core/FileSystem.h"
#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "presentation/Localization.h"
#include "recap/RecapContent.h"
#include "recap/RecapSettings.h"
#include "stats/StatsPersistence.h"
#include "stats/StatsStore.h"

namespace tapwell::cli {
namespace {

struct RecapOptions {
    bool json = false;
    std::string png;
    std::string date;
};

// Draws the card and writes it atomically: a failure leaves no file and no temporary behind.
void writePng(Context& context, const RecapContent& content, const std::filesystem::path& file) {
    if (!context.views.renderRecapPng) {
        context.fail("this program cannot draw images, so " + file.string() + " was not written");
        return;
    }
    const std::optional<std::string> png = context.views.renderRecapPng(content);
    if (!png) {
        context.fail("the recap card could not be drawn, so " + file.string() + " was not written");
        return;
    }
    if (auto error = writeFileAtomically(file, *png)) {
        context.fail("cannot write " + file.string() + ": " + error->description);
    }
}

// The record of a past or future day, or an error text for a damaged file.
std::optional<DailyStats> readDay(Context& context, const std::string& day) {
    const StatsPersistence persistence(StatsPersistence::defaultDirectory());
    const std::filesystem::path file = persistence.fileFor(day);
    std::error_code code;
    if (!std::filesystem::exists(file, code)) {
        return DailyStats::empty(day);
    }
    ReadResult read = readFile(file);
    if (!read.contents) {
        context.fail("cannot read " + file.string() + ": " + read.error.description);
        return std::nullopt;
    }
    std::optional<DailyStats> stats = StatsPersistence::decode(*read.contents);
    if (!stats || stats->date != day || !stats->isValid()) {
        context.fail(
            StatsPersistence::corruptFileError(file, "not a valid day record").description);
        return std::nullopt;
    }
    return stats;
}

nlohmann::json contentJson(const RecapContent& content, const std::string& day) {
    nlohmann::json stats = nlohmann::json::array();
    for (const RecapContent::Stat& stat : content.stats) {
        stats.push_back({{"label", stat.label}, {"value", stat.value}});
    }
    return nlohmann::json{
        {"day", day},
        {"date", content.date},
        {"themeName", content.themeName},
        {"rank", content.rank},
        {"count", content.count},
        {"countLabel", content.countLabel},
        {"quip", content.quip},
        {"stats", stats},
        {"brand", content.brand},
        {"privacy", content.privacy},
        {"background", content.background},
        {"text", content.text},
        {"secondary", content.secondary},
        {"accent", content.accent},
        {"numberFont",
         content.numberFont ? nlohmann::json(*content.numberFont) : nlohmann::json(nullptr)},
    };
}

void showRecap(Context& context, const RecapOptions& options) {
    const Calendar calendar = Calendar::current();
    std::optional<DailyStats> stats;
    if (options.date.empty()) {
        StatsStore store(SystemClock::shared());
        stats = store.current().today;
        tellSetAsideDays(context, store);
    } else if (!calendar.startOfDay(options.date)) {
        context.fail("'" + options.date + "' is not a date of the form YYYY-MM-DD");
        return;
    } else {
        stats = readDay(context, options.date);
    }
    if (!stats) {
        return;
    }
    const std::string day = stats->date;
    // Local midnight of the record's own day; the current moment if that cannot be formed.
    const Date midnight = calendar.startOfDay(day).value_or(SystemClock::shared().now());

    const std::optional<std::filesystem::path> resources = ResourceLocator::find();
    UserDefaults defaults(UserDefaults::standardPath());
    const RecapSettings settings = RecapSettings::read(defaults, resources);
    if (!settings.theme) {
        context.fail("no theme is available, so there is no recap (looked in " +
                     (resources ? resources->string() : std::string("no resource folder")) + ")");
        return;
    }

    const Localization localization(std::string_view(settings.language),
                                    resources.value_or(std::filesystem::path{}));
    const RecapContent content =
        RecapContent::make(*stats, *settings.theme, localization, midnight, calendar);
    if (!options.png.empty()) {
        writePng(context, content, options.png);
        return;
    }
    if (options.json) {
        nlohmann::json object = contentJson(content, day);
        object["fileName"] = RecapContent::fileName(midnight, calendar);
        context.out << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    context.out << content.date << " - " << content.themeName << '\n';
    if (!content.rank.empty()) {
        context.out << content.rank << '\n';
    }
    context.out << content.count << ' ' << content.countLabel << '\n';
    for (const std::string& line : content.quip) {
        context.out << "  " << line << '\n';
    }
    for (const RecapContent::Stat& stat : content.stats) {
        context.out << stat.label << ": " << stat.value << '\n';
    }
    context.out << content.brand << " - " << content.privacy << '\n';
}

}  // namespace

void addRecapCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<RecapOptions>();
    CLI::App* recap = app.add_subcommand(
        "recap", "The daily recap card's content for the selected theme and language");
    CLI::Option* json =
        recap->add_flag("--json", options->json, "Print one JSON object with every field");
    recap->add_option("--png", options->png, "Draw the card to FILE, a 1080 x 1440 PNG image")
        ->type_name("FILE")
        ->excludes(json);
    recap->add_option("--date", options->date, "The day to recap, YYYY-MM-DD (default: today)");
    recap->callback([&context, options] { showRecap(context, *options); });
}

}  // namespace tapwell::cli

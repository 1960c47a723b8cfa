// `tapwell stats [--json]`, `tapwell stats export FILE`, `tapwell stats delete --yes`: today's
// statistics, the export of every day, and deletion of everything, from the shell.
//
// The command reads through the statistics store like the application does, but never saves:
// the running application owns the day files, and a save from here could replace its newer
// counts with older ones. Export and deletion go through the running application when there is
// one (its memory holds today's counts, and a deletion behind its back would be undone by its
// next save); otherwise they hold the user's instance lock, so no application starts meanwhile.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <ostream>
#include <string>

#include "cli/Cli.h"
#include "core/Clock.h"
#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "core/UserInstance.h"
#include "presentation/Localization.h"
#include "presentation/PluralText.h"
#include "recap/RecapSettings.h"
#include "stats/RankService.h"
#include "stats/StatsPersistence.h"
#include "stats/StatsStore.h"

namespace tapwell::cli {
namespace {

struct StatsOptions {
    bool json = false;
    std::string exportFile;
    bool confirmed = false;
};

std::string twoDigits(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%02lld", value);
    return text;
}

std::string duration(const Localization& localization, double seconds) {
    // Records hold at most a week of focus; anything else would not even convert.
    if (!(seconds >= 0.0)) {
        seconds = 0.0;
    }
    seconds = std::min(seconds, DailyStats::longestFocusSeconds);
    const auto total = static_cast<long long>(std::floor(seconds));
    const long long hours = total / 3600;
    const long long minutes = total % 3600 / 60;
    const long long rest = total % 60;
    if (hours > 0) {
        return localization.format("cli.duration.hms",
                                   {std::to_string(hours), twoDigits(minutes), twoDigits(rest)});
    }
    if (minutes > 0) {
        return localization.format("cli.duration.ms", {std::to_string(minutes), twoDigits(rest)});
    }
    return localization.format("cli.duration.s", {std::to_string(rest)});
}

// The rank's name in the selected theme and language; empty without a theme or a name.
std::string rankName(int rank) {
    UserDefaults defaults(UserDefaults::standardPath());
    const RecapSettings settings = RecapSettings::read(defaults, ResourceLocator::find());
    if (!settings.theme) {
        return {};
    }
    const auto names = pick(settings.theme->ranks, settings.language);
    const auto index = static_cast<std::size_t>(rank);
    return names && index < names->size() ? (*names)[index] : std::string{};
}

void showToday(Context& context, bool json) {
    StatsStore store(SystemClock::shared());
    const StatsSnapshot snapshot = store.current();
    tellSetAsideDays(context, store);
    const DailyStats& today = snapshot.today;
    const int rank = RankService::rankIndex(today.keystrokes);
    const std::string name = rankName(rank);
    const std::optional<std::int64_t> remaining = RankService::remaining(today.keystrokes);

    if (json) {
        nlohmann::json object = nlohmann::json::object();
        object["date"] = today.date;
        object["keystrokes"] = today.keystrokes;
        object["hourly"] = today.hourly;
        object["kpm"] = snapshot.kpm;
        object["topKpm"] = today.topKpm;
        object["focusSeconds"] = today.focusSeconds;
        object["breaks"] = today.breaks;
        object["rank"] = rank;
        object["rankName"] = name;
        object["toNextRank"] = remaining ? nlohmann::json(*remaining) : nlohmann::json(nullptr);
        object["rankProgress"] = RankService::progress(today.keystrokes);
        context.out << object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    const Localization localization = chosenLocalization();
    const auto line = [&](std::string_view key,
                          std::initializer_list<Localization::FormatArgument> arguments) {
        context.out << localization.format(key, arguments) << '\n';
    };
    line("cli.stats.date", {today.date});
    line("cli.stats.keystrokes", {today.keystrokes});
    line("cli.stats.kpm", {snapshot.kpm, today.topKpm});
    line("cli.stats.focus", {duration(localization, today.focusSeconds)});
    line("cli.stats.breaks", {today.breaks});
    line("cli.stats.rank", {name.empty() ? std::string("-") : name, std::int64_t{rank}});
    if (remaining) {
        context.out << pluralText(localization, "cli.stats.toNext", *remaining) << '\n';
    } else {
        line("cli.stats.topRank", {});
    }
    std::string hours;
    for (std::size_t hour = 0; hour < today.hourly.size(); ++hour) {
        if (today.hourly[hour] > 0) {
            char text[48];
            std::snprintf(text, sizeof text, "\n  %02zu:00  %lld", hour,
                          static_cast<long long>(today.hourly[hour]));
            hours += text;
        }
    }
    if (hours.empty()) {
        line("cli.stats.hourly.none", {});
    } else {
        context.out << localization.text("cli.stats.hourly") << hours << '\n';
    }
}

// Asks the running application, or takes the lock that keeps one from starting. Returns the
// application's answer, or none when this process is to do the work itself (holding `lock`).
// Sets the exit status when neither worked.
std::optional<InstanceReply> throughRunningApp(Context& context, const InstanceRequest& request,
                                               std::unique_ptr<UserInstance>& lock) {
    UserInstance::Outcome outcome =
        UserInstance::reachOrClaim(UserInstance::defaultFolder(), request);
    if (outcome.reply) {
        return outcome.reply;
    }
    if (outcome.busy) {
        context.fail(outcome.error->description + "; nothing was changed, try again in a moment");
        return InstanceReply{outcome.error->description};
    }
    if (outcome.error) {
        context.err << "tapwell: warning: " << outcome.error->description << '\n';
    }
    lock = std::move(outcome.owned);
    return std::nullopt;
}

void exportAll(Context& context, const std::string& file) {
    // The running application has another working folder.
    std::error_code failure;
    std::filesystem::path target = std::filesystem::absolute(file, failure);
    if (failure) {
        target = file;
    }
    std::unique_ptr<UserInstance> lock;
    if (auto reply =
            throughRunningApp(context, {InstanceRequest::Kind::exportStats, target}, lock)) {
        if (context.exitStatus != 0) {
            return;
        }
        if (reply->error) {
            context.fail(chosenLocalization().format("cli.stats.exportFailed", {*reply->error}));
        } else {
            context.out << chosenLocalization().format("cli.stats.exportedThroughApp", {file})
                        << '\n';
        }
        return;
    }
    StatsStore store(SystemClock::shared());
    std::promise<std::optional<Error>> done;
    store.exportTo(file, [&done](std::optional<Error> error) { done.set_value(std::move(error)); });
    if (const std::optional<Error> error = done.get_future().get()) {
        context.fail(chosenLocalization().format("cli.stats.exportFailed", {error->description}));
        return;
    }
    context.out << chosenLocalization().format("cli.stats.exported", {file}) << '\n';
    const auto damaged = StatsPersistence(store.directory()).quarantinedFiles();
    if (!damaged.empty()) {
        context.err << "tapwell: "
                    << pluralText(chosenLocalization(), "cli.stats.notExported",
                                  static_cast<std::int64_t>(damaged.size()))
                    << '\n';
        for (const std::filesystem::path& path : damaged) {
            context.err << "  " << path.string() << '\n';
        }
    }
}

void deleteAll(Context& context, bool confirmed) {
    StatsStore store(SystemClock::shared());
    if (!confirmed) {
        context.fail(
            chosenLocalization().format("cli.stats.deleteConfirm", {store.directory().string()}));
        return;
    }
    std::unique_ptr<UserInstance> lock;
    if (auto reply = throughRunningApp(context, {InstanceRequest::Kind::deleteStats, {}}, lock)) {
        if (context.exitStatus != 0) {
            return;
        }
        if (reply->error) {
            context.fail(chosenLocalization().format("cli.stats.deleteFailed", {*reply->error}));
        } else {
            context.out << chosenLocalization().format("cli.stats.deletedThroughApp",
                                                       {store.directory().string()})
                        << '\n';
        }
        return;
    }
    std::promise<std::optional<Error>> done;
    store.deleteAll([&done](std::optional<Error> error) { done.set_value(std::move(error)); });
    if (const std::optional<Error> error = done.get_future().get()) {
        context.fail(chosenLocalization().format("cli.stats.deleteFailed", {error->description}));
        return;
    }
    context.out << chosenLocalization().format("cli.stats.deleted", {store.directory().string()})
                << '\n';
}

}  // namespace

void tellSetAsideDays(Context& context, StatsStore& store) {
    for (const StatsStore::SetAsideDay& aside : store.setAsideDays()) {
        context.err << "tapwell: "
                    << chosenLocalization().format("cli.stats.setAside",
                                                   {aside.day, aside.file.string()})
                    << '\n';
    }
}

void addStatsCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<StatsOptions>();
    CLI::App* stats = app.add_subcommand(
        "stats", "Today's typing statistics: keystrokes, hours, keys per minute, focus, rank");
    stats->add_flag("--json", options->json, "Print one JSON object");
    stats->require_subcommand(0, 1);

    CLI::App* exporter = stats->add_subcommand(
        "export", "Write every day's record to FILE as one JSON array sorted by date");
    exporter->add_option("FILE", options->exportFile, "Where to write the export")->required();
    exporter->callback([&context, options] { exportAll(context, options->exportFile); });

    CLI::App* remover =
        stats->add_subcommand("delete", "Delete all statistics, including set-aside damaged files");
    remover->add_flag("--yes", options->confirmed, "Confirm the deletion");
    remover->callback([&context, options] { deleteAll(context, options->confirmed); });

    stats->callback([&context, options, stats] {
        if (stats->get_subcommands().empty()) {
            showToday(context, options->json);
        }
    });
}

}  // namespace tapwell::cli

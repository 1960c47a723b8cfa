// `tapwell defaults read|write|delete`: edits the user-defaults store from the shell.

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string_view>

#include "cli/Cli.h"
#include "core/Base64.h"
#include "core/FileSystem.h"
#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "system/PowerRules.h"
#include "system/SystemEventsMonitor.h"
#include "wellbeing/WellbeingLedger.h"
#include "wellbeing/WellbeingService.h"

namespace tapwell::cli {

namespace {

std::string describe(const DefaultsValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
                return fmt::format("{}", v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, Bytes>) {
                return base64Encode(v);
            } else {
                return v.iso8601();
            }
        },
        value);
}

// Turns the shell's text into a typed value; the error text says what was wrong.
std::optional<DefaultsValue> parseValue(const std::string& type, const std::string& text,
                                        std::string& error) {
    if (type == "bool") {
        if (text == "true" || text == "yes" || text == "1") {
            return DefaultsValue{true};
        }
        if (text == "false" || text == "no" || text == "0") {
            return DefaultsValue{false};
        }
        error = "'" + text + "' is not a bool (use true or false)";
        return std::nullopt;
    }
    if (type == "int") {
        std::int64_t value = 0;
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc() || ptr != end) {
            error = "'" + text + "' is not a 64-bit integer";
            return std::nullopt;
        }
        return DefaultsValue{value};
    }
    if (type == "double") {
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) ||
            errno == ERANGE) {
            error = "'" + text + "' is not a finite number";
            return std::nullopt;
        }
        return DefaultsValue{value};
    }
    if (type == "string") {
        return DefaultsValue{text};
    }
    if (type == "date") {
        Date date;
        if (!Date::parseIso8601(text, date)) {
            error = "'" + text + "' is not an ISO 8601 date (for example 2026-12-06T18:30:00Z)";
            return std::nullopt;
        }
        return DefaultsValue{date};
    }
    if (type == "data") {
        if (!text.empty() && text.front() == '@') {
            const std::string file = text.substr(1);
            ReadResult read = readFile(file, UserDefaults::maxValueBytes);
            if (!read.contents) {
                error = read.error.code == EFBIG
                            ? file + " is larger than the limit of one setting (" +
                                  std::to_string(UserDefaults::maxValueBytes) + " bytes)"
                            : read.error.description;
                return std::nullopt;
            }
            return DefaultsValue{Bytes(read.contents->begin(), read.contents->end())};
        }
        if (auto bytes = base64Decode(text)) {
            return DefaultsValue{std::move(*bytes)};
        }
        error = "'" + text + "' is not base64 (or @FILE to take a file's bytes)";
        return std::nullopt;
    }
    error = "unknown type '" + type + "' (use bool, int, double, string, date or data)";
    return std::nullopt;
}

// The keys the program reads, each as the one type it reads it as: a value of another type would
// be ignored as if it were absent, so writing one is refused.
struct KnownKey {
    std::string_view key;
    DefaultsType type;
    bool (*decodes)(std::string_view) = nullptr;  // for stored records: whether the bytes are one
};

const std::array<KnownKey, 15>& knownKeys() {
    static const std::array<KnownKey, 15> keys = {{
        {defaultsKey::preferences, DefaultsType::data,
         [](std::string_view text) { return AppPreferences::fromJSON(text).has_value(); }},
        {defaultsKey::soundsEnabled, DefaultsType::boolean},
        {defaultsKey::typingVolume, DefaultsType::real},
        {defaultsKey::alertVolume, DefaultsType::real},
        {defaultsKey::rainEnabled, DefaultsType::boolean},
        {defaultsKey::rainVolume, DefaultsType::real},
        {defaultsKey::celebrationEnabled, DefaultsType::boolean},
        {defaultsKey::mutedUntil, DefaultsType::date},
        {defaultsKey::appLanguage, DefaultsType::string},
        {defaultsKey::themeID, DefaultsType::string},
        {defaultsKey::onboardingCompleted, DefaultsType::boolean},
        {WellbeingLedger::defaultsKey, DefaultsType::data,
         [](std::string_view text) { return WellbeingLedger::fromJSON(text).has_value(); }},
        {WellbeingService::debugKey, DefaultsType::boolean},
        {PowerRules::lowBatteryNotifiedKey, DefaultsType::boolean},
        {SystemEventsMonitor::screenshotBookmarkKey, DefaultsType::data},
    }};
    return keys;
}

// Checks `value` against the known key's type (an integer is taken for a double); the error text
// names the key and what it takes.
bool fitsKnownKey(const std::string& key, DefaultsValue& value, std::string& error) {
    const auto& keys = knownKeys();
    const auto known =
        std::find_if(keys.begin(), keys.end(), [&key](const KnownKey& k) { return k.key == key; });
    if (known == keys.end()) {
        return true;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value);
        integer != nullptr && known->type == DefaultsType::real) {
        value = static_cast<double>(*integer);
    }
    if (typeOf(value) != known->type) {
        error = "'" + key + "' takes a " + toString(known->type) + " value, not " +
                toString(typeOf(value));
        return false;
    }
    if (known->decodes != nullptr) {
        const Bytes& bytes = std::get<Bytes>(value);
        if (!known->decodes(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
            error = "'" + key + "' takes the JSON of its record, and this data is not one";
            return false;
        }
    }
    return true;
}

struct DefaultsArguments {
    std::string readKey;
    std::string writeKey;
    std::string writeType;
    std::string writeValue;
    std::string deleteKey;
};

}  // namespace

void addDefaultsCommand(CLI::App& app, Context& context) {
    auto args = std::make_shared<DefaultsArguments>();
    CLI::App* defaults = app.add_subcommand("defaults", "Read and change the stored settings");
    defaults->require_subcommand(1);

    CLI::App* read = defaults->add_subcommand("read", "Print one stored value, or all of them");
    read->add_option("key", args->readKey, "The key to print");
    read->callback([args, &context] {
        UserDefaults store(UserDefaults::standardPath());
        if (args->readKey.empty()) {
            for (const auto& [key, value] : store.storedValues()) {
                context.out << key << " = " << describe(value) << " (" << toString(typeOf(value))
                            << ")\n";
            }
            return;
        }
        if (!store.hasStoredValue(args->readKey)) {
            context.fail("no value is stored under '" + args->readKey + "'");
            return;
        }
        if (auto value = store.value(args->readKey)) {
            context.out << describe(*value) << '\n';
        } else {
            context.fail("the value under '" + args->readKey + "' has an unknown form");
        }
    });

    CLI::App* write = defaults->add_subcommand("write", "Store a typed value");
    write->add_option("key", args->writeKey, "The key")->required();
    write->add_option("type", args->writeType, "bool, int, double, string, date or data")
        ->required();
    write->add_option("value", args->writeValue,
                      "The value: dates in ISO 8601, data as base64 or @FILE")
        ->required();
    write->callback([args, &context] {
        const std::string& key = args->writeKey;
        if (key.empty()) {
            context.fail("the key is empty");
            return;
        }
        std::string error;
        auto value = parseValue(args->writeType, args->writeValue, error);
        if (!value || !fitsKnownKey(key, *value, error)) {
            context.fail(error);
            return;
        }
        if (auto reason = UserDefaults::refusalReason(key, *value)) {
            context.fail("cannot store '" + key + "': " + *reason);
            return;
        }
        UserDefaults store(UserDefaults::standardPath());
        store.set(key, *value);
        if (auto failure = store.flush()) {
            context.fail("could not save: " + failure->description);
        }
    });

    CLI::App* remove = defaults->add_subcommand("delete", "Remove a stored value");
    remove->add_option("key", args->deleteKey, "The key")->required();
    remove->callback([args, &context] {
        UserDefaults store(UserDefaults::standardPath());
        if (!store.hasStoredValue(args->deleteKey)) {
            context.fail("no value is stored under '" + args->deleteKey + "'");
            return;
        }
        store.remove(args->deleteKey);
        if (auto failure = store.flush()) {
            context.fail("could not save: " + failure->description);
        }
    });
}

}  // namespace tapwell::cli

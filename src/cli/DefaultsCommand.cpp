// `tapwell defaults read|write|delete`: edits the user-defaults store from the shell.

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "cli/Cli.h"
#include "core/Base64.h"
#include "core/FileSystem.h"
#include "core/UserDefaults.h"

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
            ReadResult read = readFile(text.substr(1));
            if (!read.contents) {
                error = read.error.description;
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
        std::string error;
        auto value = parseValue(args->writeType, args->writeValue, error);
        if (!value) {
            context.fail(error);
            return;
        }
        UserDefaults store(UserDefaults::standardPath());
        if (!store.set(args->writeKey, *value)) {
            context.fail("cannot store '" + args->writeKey +
                         "': " + UserDefaults::refusalReason(args->writeKey, *value).value_or(""));
            return;
        }
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

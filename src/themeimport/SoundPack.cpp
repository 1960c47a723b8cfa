#include "themeimport/SoundPack.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>

namespace tapwell {
namespace {

using nlohmann::json;

constexpr std::array<std::string_view, 11> knownFields{
    "version", "name", "key_define_type", "includes_numpad", "sound", "soundup", "defines",
    "id",      "tags", "license",         "author"};

constexpr std::string_view fixHint = "fix config.json or get a complete copy of the pack";

std::optional<std::string> optionalString(const json& config, const char* field) {
    auto found = config.find(field);
    if (found == config.end() || !found->is_string()) {
        return std::nullopt;
    }
    std::string value = found->get<std::string>();
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

// "30" or "30-up": the key code and whether the entry is for the key coming up.
std::optional<std::pair<std::int64_t, bool>> parseDefineName(std::string_view name) {
    bool up = false;
    if (name.ends_with("-up")) {
        up = true;
        name.remove_suffix(3);
    }
    std::int64_t code = 0;
    const char* end = name.data() + name.size();
    auto [rest, error] = std::from_chars(name.data(), end, code);
    if (name.empty() || error != std::errc() || rest != end || code <= 0) {
        return std::nullopt;
    }
    return std::pair{code, up};
}

}  // namespace

std::expected<SoundPack, std::string> decodeSoundPack(std::string_view text,
                                                      std::string_view pack) {
    auto fail = [&](std::string message) {
        return std::unexpected(fmt::format("{}: {}", pack, message));
    };
    json config;
    try {
        config = json::parse(text);
    } catch (const json::exception& error) {
        // A syntax error, or a number beyond the range of a double (out_of_range).
        return fail(fmt::format("config.json is not valid JSON ({}); {}", error.what(), fixHint));
    }
    if (!config.is_object()) {
        return fail(fmt::format("config.json does not hold a JSON object; {}", fixHint));
    }

    SoundPack result;
    if (auto version = config.find("version"); version != config.end() && !version->is_null()) {
        if (version->is_number_integer() && (*version == 1 || *version == 2)) {
            result.version = version->get<int>();
        } else {
            return fail(fmt::format(
                "config.json has \"version\": {}, which this version of Tapwell cannot read (it "
                "reads packs of version 1 and 2); look for an older edition of the pack",
                version->dump()));
        }
    }

    const std::vector<std::string_view> required =
        result.version == 1 ? std::vector<std::string_view>{"name", "key_define_type",
                                                            "includes_numpad", "sound", "defines"}
                            : std::vector<std::string_view>{"name", "key_define_type", "sound",
                                                            "soundup", "defines"};
    for (std::string_view field : required) {
        if (!config.contains(field)) {
            return fail(
                fmt::format("config.json has no \"{}\" field, which a version {} pack "
                            "needs; {}",
                            field, result.version, fixHint));
        }
    }

    const json& name = config["name"];
    if (!name.is_string() ||
        name.get<std::string>().find_first_not_of(" \t\r\n") == std::string::npos) {
        return fail(fmt::format("\"name\" in config.json must be a non-empty text; {}", fixHint));
    }
    result.name = name.get<std::string>();

    const json& type = config["key_define_type"];
    if (type == "single") {
        result.defineType = SoundPack::DefineType::single;
    } else if (type == "multi") {
        result.defineType = SoundPack::DefineType::multi;
    } else {
        return fail(fmt::format(
            "\"key_define_type\" in config.json is {}; it must be \"single\" or \"multi\"; {}",
            type.dump(), fixHint));
    }
    const bool single = result.defineType == SoundPack::DefineType::single;

    result.id = optionalString(config, "id");
    result.author = optionalString(config, "author");
    result.license = optionalString(config, "license");
    // A version 1 "multi" pack has a "sound" field it never uses.
    if (single || result.version == 2) {
        result.sound = optionalString(config, "sound");
    }
    if (result.version == 2) {
        result.soundUp = optionalString(config, "soundup");
    }
    if (single && !result.sound) {
        return fail(
            fmt::format("\"sound\" in config.json must name the audio file that the key "
                        "sounds are cut from; {}",
                        fixHint));
    }

    const json& defines = config["defines"];
    if (!defines.is_object()) {
        return fail(
            fmt::format("\"defines\" in config.json must be an object of key codes; {}", fixHint));
    }
    for (const auto& [key, value] : defines.items()) {
        auto parsed = parseDefineName(key);
        if (!parsed) {
            result.ignoredDefines.push_back(key);
            continue;
        }
        SoundPack::Define define{parsed->first, parsed->second, std::nullopt};
        if (value.is_null()) {
            result.defines.push_back(std::move(define));
            continue;
        }
        if (single) {
            if (!value.is_array() || value.size() != 2 || !value[0].is_number() ||
                !value[1].is_number() || value[0].get<double>() < 0 || value[1].get<double>() < 0) {
                return fail(
                    fmt::format("defines.\"{}\" in config.json is {}; a \"single\" pack "
                                "needs [start_ms, duration_ms] there; {}",
                                key, value.dump(), fixHint));
            }
            define.sound =
                PackSound{define.isUp && result.soundUp ? *result.soundUp : *result.sound,
                          value[0].get<double>(), value[1].get<double>()};
        } else {
            if (!value.is_string()) {
                return fail(
                    fmt::format("defines.\"{}\" in config.json is {}; a \"multi\" pack "
                                "needs a file name or null there; {}",
                                key, value.dump(), fixHint));
            }
            if (!value.get<std::string>().empty()) {
                define.sound = PackSound{value.get<std::string>(), std::nullopt, std::nullopt};
            }
        }
        result.defines.push_back(std::move(define));
    }
    std::sort(result.defines.begin(), result.defines.end(),
              [](const SoundPack::Define& a, const SoundPack::Define& b) {
                  return std::pair{a.code, a.isUp} < std::pair{b.code, b.isUp};
              });
    for (const auto& [key, value] : config.items()) {
        if (std::find(knownFields.begin(), knownFields.end(), key) == knownFields.end()) {
            result.unknownFields.push_back(key);
        }
    }
    return result;
}

}  // namespace tapwell

#pragma once
// A sound theme's manifest ("theme.json"): identity, names per language, colours, rank names and
// recap texts, the sample file names and the mix gains. Immutable once decoded; safe to copy and
// to read from any thread.
//
// Every map keyed by language code ("en", "zh-Hans", "ja", ...) is read through the localisation's
// pick rule: the entry for the current language, else the "en" entry, else nothing.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/Error.h"

namespace tapwell {

struct Theme {
    struct Colors {
        // Colours of the recap card.
        struct Recap {
            std::string background;
            std::string text;
            std::string secondary;
            std::string accent;

            bool operator==(const Recap&) const = default;
        };

        std::string accent;
        std::string onAccent;
        std::string tile;
        std::string keycap;
        Recap recap;

        bool operator==(const Colors&) const = default;
    };

    // File names relative to the theme folder.
    struct Sounds {
        std::vector<std::string> keyDown;  // pool for ordinary keys
        std::vector<std::string> keyUp;    // pool for every key's release; may be empty
        std::string space;
        std::string enter;  // JSON key "return"
        std::string backspace;
        std::map<std::string, std::string> alerts;  // alert name ("capsOn", "rankUp", ...) to file
        std::optional<std::string> ambience;        // looping ambience sample

        // The distinct file names referenced above: the files that must exist and get decoded.
        std::set<std::string> allFiles() const;

        bool operator==(const Sounds&) const = default;
    };

    // Gains in decibels.
    struct Mix {
        float typingGainDb = 0;
        float alertGainDb = 0;
        float keyUpRelativeDb = 0;

        bool operator==(const Mix&) const = default;
    };

    std::int64_t schemaVersion = 0;
    std::string id;
    bool isDefault = false;
    std::map<std::string, std::string> name;
    std::map<std::string, std::string> shortName;
    std::map<std::string, std::string> tagline;
    Colors colors;
    std::optional<std::string> recapNumberFont;
    std::map<std::string, std::vector<std::string>> ranks;  // index 0 names the lowest rank
    std::map<std::string, std::vector<std::vector<std::string>>> recapQuips;  // quip = lines
    std::optional<std::map<std::string, std::string>> floatText;
    Sounds sounds;
    Mix mix;
    bool placeholder = false;

    bool operator==(const Theme&) const = default;
};

// A theme whose manifest and files passed validation, with the folder it came from.
struct LoadedTheme {
    Theme theme;
    std::filesystem::path directory;

    bool operator==(const LoadedTheme&) const = default;
};

// Strict decoding of a manifest's text, without validation: required keys must be present and
// non-null with the right JSON type; unknown keys are ignored. The error has the domain "json" and
// a description naming the offending key.
std::expected<Theme, Error> decodeTheme(std::string_view json);

// The manifest's JSON text for a theme (keys as in "theme.json"; `sounds.enter` is "return").
// Decoding the result gives the same theme back.
std::string encodeTheme(const Theme& theme, int indent = 2);

// An opaque sRGB colour with components in 0...1.
struct SrgbColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const SrgbColor&) const = default;
};

// Converts a theme colour string ("#RRGGBB"): the first character is dropped and the rest is read
// as a hexadecimal number (0, that is black, when it is empty or does not parse).
SrgbColor themeHex(std::string_view color);

}  // namespace tapwell

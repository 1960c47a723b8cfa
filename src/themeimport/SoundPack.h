#pragma once
// The configuration of a keyboard sound pack ("config.json"), decoded and checked, before any of
// its audio is read. Two layouts exist: "single" packs cut every key's sound from one file by
// start and length in milliseconds, "multi" packs give every key a file of its own. A plain value.

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapwell {

// One sound the pack gives a key: a slice of a file ("single") or a whole file ("multi"). File
// names are as the pack writes them, relative to the pack folder; a "multi" name may still hold a
// number range "{a-b}" of which one number is picked per key.
struct PackSound {
    std::string file;
    std::optional<double> startMs;  // slices only
    std::optional<double> durationMs;

    bool isSlice() const { return startMs.has_value(); }
    auto operator<=>(const PackSound&) const = default;
};

struct SoundPack {
    enum class DefineType { single, multi };

    // One "defines" entry with a key code: "<code>" for the key going down, "<code>-up" for it
    // coming up. A null entry has no sound.
    struct Define {
        std::int64_t code = 0;
        bool isUp = false;
        std::optional<PackSound> sound;
    };

    int version = 1;
    DefineType defineType = DefineType::single;
    std::string name;
    std::optional<std::string> id;
    std::optional<std::string> author;
    std::optional<std::string> license;
    // "single": the file the key-down slices come from (and the key-up slices without
    // `soundUp`). "multi" (version 2): the key-down file of keys without an entry.
    std::optional<std::string> sound;
    // Version 2: the file of the key-up slices ("single"), or the key-up file of keys without an
    // entry ("multi").
    std::optional<std::string> soundUp;
    std::vector<Define> defines;              // in ascending code order, key-down first
    std::vector<std::string> ignoredDefines;  // entries whose name is no key code
    std::vector<std::string> unknownFields;   // top-level fields this importer does not read
};

// Decodes "config.json". The error is one sentence naming the field and what to do; `pack` (how
// the user named the pack) starts it.
std::expected<SoundPack, std::string> decodeSoundPack(std::string_view json, std::string_view pack);

}  // namespace tapwell

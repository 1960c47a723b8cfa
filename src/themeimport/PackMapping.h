#pragma once
// How the keys of a sound pack become the sounds of a theme, in three steps: which sound each key
// gives (aliases, general sounds and number ranges resolved, modifiers left out), the decoded
// sounds (files read through the pack and sliced), and what the theme plays (its own sounds for
// space, return and backspace, the distinct sounds of every other key as the pools). Plain values;
// only the decoding step reads files.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "keyboard/KeyActivity.h"
#include "themeimport/PackArchive.h"
#include "themeimport/SoundPack.h"

namespace tapwell {

using PackClip = std::shared_ptr<const std::vector<float>>;  // mono samples at 48 kHz

// The sounds one key of the pack gives.
struct PackKeySounds {
    std::int64_t packCode = 0;  // the standard code, also for a key named by its alias
    std::int64_t linuxCode = 0;
    std::optional<PackSound> down;
    std::optional<PackSound> up;
};

struct PackPlan {
    std::map<std::int64_t, PackKeySounds> keys;  // by standard pack code; no modifiers
    std::set<std::int64_t> unknownCodes;
    std::set<std::int64_t> shadowedAliases;  // aliases of keys with entries of their own
    std::set<std::int64_t> modifierCodes;
    std::size_t fallbackKeys = 0;  // keys given the pack's general key-down sound
};

// Every key's sounds. A null entry counts as no entry. Version 2 "multi" packs give keys without
// an entry their general sounds; a number range "{a-b}" in a file name is resolved key by key in
// code order, taking the numbers in turn.
PackPlan planPackKeys(const SoundPack& pack);

// The decoded sounds of the pack, file by file and then slice by slice.
struct PackClips {
    std::map<PackSound, PackClip> clips;
    std::vector<std::string> notFound;     // file names as the config gives them
    std::vector<std::string> undecodable;  // entry paths with the reason
    std::set<std::int64_t> slicesOutside;  // keys whose slice lies beyond its file's end
};

// Reads and decodes every file the plan needs (unpacking into `scratch`) and cuts the slices. A
// missing or unreadable file is recorded, not fatal, except a "single" pack's own sound file.
// Fails when the pack crosses a size limit or its sounds last too long together.
std::expected<PackClips, std::string> decodePackSounds(const PackPlan& plan, const SoundPack& pack,
                                                       PackArchive& archive,
                                                       const std::filesystem::path& scratch);

// What the theme plays.
struct PackMapping {
    std::vector<PackSound> keyDown;  // distinct, in Linux key code order of their first key
    std::vector<PackSound> keyUp;
    std::map<KeyKind, PackSound> special;  // space, enter and delete_ where the pack has them
    std::size_t pooledKeys = 0;
    std::set<std::int64_t> secondSpecials;  // keypad Enter, Delete with sounds not played
    std::size_t droppedSpecialUps = 0;      // key-up sounds of special keys not in the pool
};

// Space takes key 57's sound, return Enter's (else keypad Enter's), backspace Backspace's (else
// Delete's). Ordinary keys' distinct sounds make the pools; special keys' key-up sounds join the
// key-up pool only when ordinary keys have none.
PackMapping mapPackSounds(const PackPlan& plan, const PackClips& clips);

}  // namespace tapwell

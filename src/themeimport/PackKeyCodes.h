#pragma once
// The key codes of sound packs and what they mean here. Packs name keys by the virtual codes of a
// cross-platform input hook; this is the one table that turns them into Linux input codes
// (KEY_* of linux/input-event-codes.h), so the importer can tell space, return, the delete keys
// and the modifiers from ordinary keys. Plain data, usable from any thread.

#include <cstdint>
#include <optional>
#include <span>

namespace tapwell {

struct PackKeyCode {
    std::int64_t linuxCode = 0;
    // A second code some packs use for a navigation key; it counts only where the key's standard
    // code has no entry of its own.
    bool isAlias = false;
    std::int64_t standardPackCode = 0;  // the pack code this one stands for (itself when standard)
};

// What a pack's key code means, or none for a code this table does not know.
std::optional<PackKeyCode> mapPackKeyCode(std::int64_t packCode);

// Every standard (non-alias) pack code of the table, ascending: the keys a pack's fallback sound
// covers.
std::span<const std::int64_t> standardPackKeyCodes();

}  // namespace tapwell

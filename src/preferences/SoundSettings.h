#pragma once
// The sound settings: the master switch, the typing and alert volumes, the ambience loop and its
// volume, the rank-up celebration and the timed mute. Each lives under its own user-defaults key;
// the first six are registered defaults. This record is the one place that knows their keys,
// defaults and repairs. Owned by the application state on the main thread.

#include <optional>

#include "core/Clock.h"

namespace tapwell {

class UserDefaults;

struct SoundSettings {
    bool soundsEnabled = true;
    double typingVolume = 0.7;
    double alertVolume = 0.85;
    bool rainEnabled = false;
    double rainVolume = 0.3;
    bool celebrationEnabled = true;
    std::optional<Date> mutedUntil;  // end of a temporary mute

    bool operator==(const SoundSettings&) const = default;

    // Registers the six defaults; call once at start-up, before anything reads them.
    static void registerDefaults(UserDefaults& defaults);

    // Never fails: a missing or mistyped value gives its default, volumes are repaired, and a
    // "mutedUntil" that is not a date means no mute.
    static SoundSettings load(const UserDefaults& defaults);

    // Volumes clamped to 0...1; a volume that is not a number takes its default.
    void repair();

    // Writes the values that differ from `previous` (a mute of none removes "mutedUntil").
    void save(UserDefaults& defaults, const SoundSettings& previous) const;

    bool isMuted(Date now) const { return mutedUntil && now < *mutedUntil; }
};

}  // namespace tapwell

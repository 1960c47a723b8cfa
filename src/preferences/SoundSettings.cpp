#include "preferences/SoundSettings.h"

#include <algorithm>
#include <cmath>

#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"

namespace tapwell {

namespace {

double repairedVolume(double value, double fallback) {
    if (std::isnan(value)) {
        return fallback;
    }
    return std::clamp(value, 0.0, 1.0);
}

}  // namespace

void SoundSettings::registerDefaults(UserDefaults& defaults) {
    const SoundSettings initial;
    defaults.registerDefaults({
        {defaultsKey::soundsEnabled, initial.soundsEnabled},
        {defaultsKey::typingVolume, initial.typingVolume},
        {defaultsKey::alertVolume, initial.alertVolume},
        {defaultsKey::rainEnabled, initial.rainEnabled},
        {defaultsKey::rainVolume, initial.rainVolume},
        {defaultsKey::celebrationEnabled, initial.celebrationEnabled},
    });
}

SoundSettings SoundSettings::load(const UserDefaults& defaults) {
    SoundSettings settings;
    settings.soundsEnabled =
        defaults.boolValue(defaultsKey::soundsEnabled).value_or(settings.soundsEnabled);
    settings.typingVolume =
        defaults.doubleValue(defaultsKey::typingVolume).value_or(settings.typingVolume);
    settings.alertVolume =
        defaults.doubleValue(defaultsKey::alertVolume).value_or(settings.alertVolume);
    settings.rainEnabled =
        defaults.boolValue(defaultsKey::rainEnabled).value_or(settings.rainEnabled);
    settings.rainVolume =
        defaults.doubleValue(defaultsKey::rainVolume).value_or(settings.rainVolume);
    settings.celebrationEnabled =
        defaults.boolValue(defaultsKey::celebrationEnabled).value_or(settings.celebrationEnabled);
    settings.mutedUntil = defaults.dateValue(defaultsKey::mutedUntil);
    settings.repair();
    return settings;
}

void SoundSettings::repair() {
    const SoundSettings initial;
    typingVolume = repairedVolume(typingVolume, initial.typingVolume);
    alertVolume = repairedVolume(alertVolume, initial.alertVolume);
    rainVolume = repairedVolume(rainVolume, initial.rainVolume);
}

void SoundSettings::save(UserDefaults& defaults, const SoundSettings& previous) const {
    if (soundsEnabled != previous.soundsEnabled) {
        defaults.set(defaultsKey::soundsEnabled, soundsEnabled);
    }
    if (typingVolume != previous.typingVolume) {
        defaults.set(defaultsKey::typingVolume, typingVolume);
    }
    if (alertVolume != previous.alertVolume) {
        defaults.set(defaultsKey::alertVolume, alertVolume);
    }
    if (rainEnabled != previous.rainEnabled) {
        defaults.set(defaultsKey::rainEnabled, rainEnabled);
    }
    if (rainVolume != previous.rainVolume) {
        defaults.set(defaultsKey::rainVolume, rainVolume);
    }
    if (celebrationEnabled != previous.celebrationEnabled) {
        defaults.set(defaultsKey::celebrationEnabled, celebrationEnabled);
    }
    if (mutedUntil != previous.mutedUntil) {
        if (mutedUntil) {
            defaults.set(defaultsKey::mutedUntil, *mutedUntil);
        } else {
            defaults.remove(defaultsKey::mutedUntil);
        }
    }
}

}  // namespace tapwell

#include <gtest/gtest.h>

#include <cmath>

#include "core/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "preferences/SoundSettings.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

class SoundSettingsStore : public ::testing::Test {
  protected:
    test::TempDir dir;
    UserDefaults defaults{dir / "defaults.json"};
};

TEST_F(SoundSettingsStore, LoadRepairsWhatWasStored) {
    struct Case {
        const char* key;
        DefaultsValue stored;
        double SoundSettings::*field;
        double expected;
    };
    const Case cases[] = {
        {defaultsKey::typingVolume, 1.5, &SoundSettings::typingVolume, 1.0},
        {defaultsKey::alertVolume, -0.2, &SoundSettings::alertVolume, 0.0},
        {defaultsKey::rainVolume, std::int64_t{1}, &SoundSettings::rainVolume, 1.0},
        {defaultsKey::typingVolume, std::string("loud"), &SoundSettings::typingVolume, 0.7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(defaults.set(c.key, c.stored));
        SoundSettings::registerDefaults(defaults);
        EXPECT_EQ(SoundSettings::load(defaults).*c.field, c.expected);
        defaults.remove(c.key);
    }
}

TEST_F(SoundSettingsStore, MuteThatIsNotADateMeansNone) {
    defaults.set(defaultsKey::mutedUntil, std::string("tomorrow"));
    EXPECT_EQ(SoundSettings::load(defaults).mutedUntil, std::nullopt);
}

TEST_F(SoundSettingsStore, SaveWritesOnlyWhatChangedAndRoundTrips) {
    SoundSettings::registerDefaults(defaults);
    const SoundSettings initial = SoundSettings::load(defaults);
    EXPECT_EQ(initial, SoundSettings{});

    SoundSettings changed = initial;
    changed.alertVolume = 0.25;
    changed.mutedUntil = Date{1000.0};
    changed.save(defaults, initial);
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::typingVolume));
    EXPECT_EQ(SoundSettings::load(defaults), changed);

    SoundSettings unmuted = changed;
    unmuted.mutedUntil.reset();
    unmuted.save(defaults, changed);
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::mutedUntil));
    EXPECT_EQ(SoundSettings::load(defaults), unmuted);
}

TEST(SoundSettings, RepairClampsAndReplacesNotANumber) {
    SoundSettings settings;
    settings.typingVolume = std::nan("");
    settings.alertVolume = 3.0;
    settings.rainVolume = -1.0;
    settings.repair();
    EXPECT_EQ(settings.typingVolume, SoundSettings{}.typingVolume);
    EXPECT_EQ(settings.alertVolume, 1.0);
    EXPECT_EQ(settings.rainVolume, 0.0);
}

}  // namespace
}  // namespace tapwell

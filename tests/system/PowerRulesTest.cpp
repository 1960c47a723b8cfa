#include "system/PowerRules.h"

#include <gtest/gtest.h>

namespace tapwell {
namespace {

using Events = std::vector<SystemSoundEvent>;
constexpr auto batteryLow = SystemSoundEvent::batteryLow;
constexpr auto charger = SystemSoundEvent::charger;

PowerSample onBattery(std::optional<std::int64_t> percent) {
    return {false, percent};
}
PowerSample onAC(std::optional<std::int64_t> percent = 80) {
    return {true, percent};
}

TEST(PowerRules, FirstReadingNeverGivesAnEvent) {
    PowerRules rules;
    EXPECT_EQ(rules.update(onBattery(5), 20), Events{});
    EXPECT_FALSE(rules.lowNotified);
    EXPECT_EQ(rules.previous, onBattery(5));

    PowerRules plugged;
    EXPECT_EQ(plugged.update(onAC(), 20), Events{});
}

TEST(PowerRules, BatteryLowOnceAtTheThresholdWhileDischarging) {
    PowerRules rules;
    EXPECT_EQ(rules.update(onBattery(30), 20), Events{});
    EXPECT_EQ(rules.update(onBattery(21), 20), Events{});
    EXPECT_EQ(rules.update(onBattery(20), 20), Events{batteryLow});
    EXPECT_TRUE(rules.lowNotified);
    EXPECT_EQ(rules.update(onBattery(19), 20), Events{});
    EXPECT_EQ(rules.update(onBattery(10), 20), Events{});
}

TEST(PowerRules, ExternalPowerRearmsTheLowBatteryEvent) {
    PowerRules rules;
    rules.update(onBattery(30), 20);
    ASSERT_EQ(rules.update(onBattery(15), 20), Events{batteryLow});
    EXPECT_EQ(rules.update(onAC(16), 20), Events{charger});
    EXPECT_FALSE(rules.lowNotified);
    EXPECT_EQ(rules.update(onBattery(18), 20), Events{batteryLow});
}

TEST(PowerRules, ChargerOnlyOnBatteryToExternalTransitions) {
    PowerRules rules;
    rules.update(onAC(), 20);
    EXPECT_EQ(rules.update(onAC(90), 20), Events{});  // a new charger wattage, for example
    EXPECT_EQ(rules.update(onBattery(90), 20), Events{});
    EXPECT_EQ(rules.update(onAC(90), 20), Events{charger});
    EXPECT_EQ(rules.update(onAC(91), 20), Events{});
}

TEST(PowerRules, WithoutBatteryNeverLowAndChargerOnlyWhenTheSourceChanges) {
    PowerRules rules;
    EXPECT_EQ(rules.update(onBattery(std::nullopt), 100), Events{});
    EXPECT_EQ(rules.update(onBattery(std::nullopt), 100), Events{});
    EXPECT_EQ(rules.update(onAC(std::nullopt), 100), Events{charger});
    EXPECT_EQ(rules.update(onAC(std::nullopt), 100), Events{});
}

TEST(PowerRules, RaisedThresholdFiresAtTheNextReading) {
    PowerRules rules;
    rules.update(onBattery(25), 20);
    EXPECT_EQ(rules.update(onBattery(25), 20), Events{});
    EXPECT_EQ(rules.update(onBattery(25), 30), Events{batteryLow});
}

TEST(PowerRules, NotifiedFlagSurvivesARelaunchUntilExternalPower) {
    PowerRules before;
    before.update(onBattery(16), 20);
    ASSERT_EQ(before.update(onBattery(15), 20), Events{batteryLow});

    // A relaunch keeps only the persisted flag.
    PowerRules after;
    after.lowNotified = before.lowNotified;
    EXPECT_EQ(after.update(onBattery(14), 20), Events{});
    EXPECT_EQ(after.update(onBattery(12), 20), Events{});
    EXPECT_TRUE(after.lowNotified);
    EXPECT_EQ(after.update(onAC(12), 20), Events{charger});
    EXPECT_EQ(after.update(onBattery(12), 20), Events{batteryLow});
}

TEST(PowerRules, LowBatteryFlagClearedEvenOnTheFirstExternalReading) {
    PowerRules rules;
    rules.lowNotified = true;
    EXPECT_EQ(rules.update(onAC(), 20), Events{});
    EXPECT_FALSE(rules.lowNotified);
}

TEST(BatteryPercent, TruncatesAndNeedsAPositiveMaximum) {
    EXPECT_EQ(batteryPercent(431, 500), 86);
    EXPECT_EQ(batteryPercent(499, 500), 99);
    EXPECT_EQ(batteryPercent(500, 500), 100);
    EXPECT_EQ(batteryPercent(0, 500), 0);
    EXPECT_EQ(batteryPercent(431, 0), std::nullopt);
    EXPECT_EQ(batteryPercent(431, -5), std::nullopt);
    EXPECT_EQ(batteryPercent(431, std::nullopt), std::nullopt);
    EXPECT_EQ(batteryPercent(std::nullopt, 500), std::nullopt);
    // Values of real batteries in µWh are large; ×100 must not overflow for them.
    EXPECT_EQ(batteryPercent(45'123'000, 57'000'000), 79);
    EXPECT_EQ(batteryPercent(INT64_MAX, 1), std::nullopt);
}

}  // namespace
}  // namespace tapwell

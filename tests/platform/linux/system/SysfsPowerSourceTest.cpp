#include "platform/linux/system/SysfsPowerSource.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tapwell {
namespace {

using test::TempDir;

// A folder laid out like /sys/class/power_supply.
class FakeSysfs {
  public:
    void supply(const std::string& name, const std::map<std::string, std::string>& attributes) {
        for (const auto& [attribute, value] : attributes) {
            dir_.write(name + "/" + attribute, value + "\n");
        }
    }
    SysfsPowerSource source() const { return SysfsPowerSource(dir_.path()); }
    const TempDir& dir() const { return dir_; }

  private:
    TempDir dir_;
};

TEST(SysfsPowerSource, LaptopDischargingWithEnergyValues) {
    FakeSysfs sysfs;
    sysfs.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    sysfs.supply("BAT0", {{"type", "Battery"},
                          {"status", "Discharging"},
                          {"energy_now", "43100000"},
                          {"energy_full", "50000000"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{false, 86}));
}

TEST(SysfsPowerSource, LaptopChargingWithChargeValues) {
    FakeSysfs sysfs;
    sysfs.supply("ADP1", {{"type", "Mains"}, {"online", "1"}});
    sysfs.supply("BAT1", {{"type", "Battery"},
                          {"scope", "System"},
                          {"status", "Charging"},
                          {"charge_now", "1999"},
                          {"charge_full", "4000"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{true, 49}));
}

TEST(SysfsPowerSource, EnergyValuesWinOverChargeValues) {
    FakeSysfs sysfs;
    sysfs.supply("BAT0", {{"type", "Battery"},
                          {"status", "Discharging"},
                          {"energy_now", "10"},
                          {"energy_full", "100"},
                          {"charge_now", "90"},
                          {"charge_full", "100"}});
    EXPECT_EQ(sysfs.source().read()->percent, 10);
}

TEST(SysfsPowerSource, DesktopWithoutBattery) {
    FakeSysfs sysfs;
    sysfs.supply("AC", {{"type", "Mains"}, {"online", "1"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{true, std::nullopt}));

    FakeSysfs empty;  // most desktops list no supply at all
    EXPECT_EQ(empty.source().read(), (PowerSample{true, std::nullopt}));
}

TEST(SysfsPowerSource, MaximumZeroOrMissingGivesNoPercent) {
    FakeSysfs zero;
    zero.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    zero.supply("BAT0", {{"type", "Battery"}, {"energy_now", "431"}, {"energy_full", "0"}});
    EXPECT_EQ(zero.source().read(), (PowerSample{false, std::nullopt}));

    FakeSysfs missing;
    missing.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    missing.supply("BAT0", {{"type", "Battery"}, {"charge_now", "431"}});
    EXPECT_EQ(missing.source().read(), (PowerSample{false, std::nullopt}));

    FakeSysfs garbage;
    garbage.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    garbage.supply("BAT0", {{"type", "Battery"}, {"charge_now", "431"}, {"charge_full", "5x"}});
    EXPECT_EQ(garbage.source().read(), (PowerSample{false, std::nullopt}));
}

TEST(SysfsPowerSource, PeripheralBatteriesAreNotTheInternalOne) {
    FakeSysfs sysfs;
    sysfs.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    sysfs.supply("A_mouse", {{"type", "Battery"},
                             {"scope", "Device"},
                             {"capacity", "5"},
                             {"energy_now", "5"},
                             {"energy_full", "100"}});
    sysfs.supply("BAT0", {{"type", "Battery"}, {"energy_now", "70"}, {"energy_full", "100"}});
    sysfs.supply("BAT1", {{"type", "Battery"}, {"energy_now", "20"}, {"energy_full", "100"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{false, 70}));
}

TEST(SysfsPowerSource, AnyOnlineMainsOrUsbSupplyIsExternalPower) {
    FakeSysfs sysfs;
    sysfs.supply("AC", {{"type", "Mains"}, {"online", "0"}});
    sysfs.supply("ucsi-source-psy-1", {{"type", "USB"}, {"online", "2"}});
    sysfs.supply("BAT0", {{"type", "Battery"}, {"energy_now", "70"}, {"energy_full", "100"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{true, 70}));
}

TEST(SysfsPowerSource, WithoutExternalSupplyTheBatteryStatusDecides) {
    FakeSysfs sysfs;
    sysfs.supply("BAT0", {{"type", "Battery"},
                          {"status", "Discharging"},
                          {"energy_now", "70"},
                          {"energy_full", "100"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{false, 70}));
    sysfs.supply("BAT0", {{"status", "Full"}});
    EXPECT_EQ(sysfs.source().read(), (PowerSample{true, 70}));
}

TEST(SysfsPowerSource, FollowsTheReadingAsItChanges) {
    FakeSysfs sysfs;
    sysfs.supply("AC", {{"type", "Mains"}, {"online", "1"}});
    sysfs.supply("BAT0", {{"type", "Battery"}, {"energy_now", "50"}, {"energy_full", "100"}});
    auto source = sysfs.source();
    EXPECT_EQ(source.read(), (PowerSample{true, 50}));
    sysfs.supply("AC", {{"online", "0"}});
    sysfs.supply("BAT0", {{"energy_now", "49"}});
    EXPECT_EQ(source.read(), (PowerSample{false, 49}));
}

TEST(SysfsPowerSource, MissingRootGivesNoReading) {
    TempDir dir;
    SysfsPowerSource source(dir / "absent");
    EXPECT_EQ(source.read(), std::nullopt);
}

TEST(SysfsPowerSource, NotificationsStartAndStopCleanly) {
    FakeSysfs sysfs;
    auto source = sysfs.source();
    // A sandbox may refuse the udev socket; either way stopping must be clean and repeatable.
    const bool started = source.startNotifications([] {});
    source.stopNotifications();
    source.stopNotifications();
    if (started) {
        EXPECT_TRUE(source.startNotifications([] {}));
    }
    source.stopNotifications();
}

}  // namespace
}  // namespace tapwell

#include "keyboard/GlobalShortcut.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "keyboard/KeyCodes.h"

namespace tapwell {
namespace {

// Records what the shortcut asks of the hot-key service; `press()` fires the handler from
// another thread, as the real service does.
struct FakeHotKeys {
    std::vector<HotKey> registered;
    std::vector<HotKeyRef> unregistered;
    HotKeyService::Handler handler;
    int removeCount = 0;
    std::optional<Error> refuse;
    HotKeyRef nextRef = 7;

    void press() {
        std::thread([this] { handler(1); }).join();
    }
};

class FakeHotKeyService final : public HotKeyService {
  public:
    explicit FakeHotKeyService(FakeHotKeys& keys) : keys_(keys) {}
    void installHandler(Handler handler) override { keys_.handler = std::move(handler); }
    void removeHandler() override {
        keys_.handler = nullptr;
        ++keys_.removeCount;
    }
    std::expected<HotKeyRef, Error> registerHotKey(const HotKey& hotKey) override {
        keys_.registered.push_back(hotKey);
        if (keys_.refuse) {
            return std::unexpected(*keys_.refuse);
        }
        return keys_.nextRef++;
    }
    void unregisterHotKey(HotKeyRef ref) override { keys_.unregistered.push_back(ref); }

  private:
    FakeHotKeys& keys_;
};

class GlobalShortcutTest : public ::testing::Test {
  protected:
    std::unique_ptr<GlobalShortcut> makeShortcut() {
        auto shortcut =
            std::make_unique<GlobalShortcut>(std::make_unique<FakeHotKeyService>(keys), main);
        shortcut->onToggle = [this] {
            ++toggles;
            toggleThreads.push_back(std::this_thread::get_id());
        };
        return shortcut;
    }

    FakeHotKeys keys;
    PumpedMainQueue main;
    int toggles = 0;
    std::vector<std::thread::id> toggleThreads;
};

TEST_F(GlobalShortcutTest, RegistersControlAltK) {
    auto shortcut = makeShortcut();
    EXPECT_TRUE(keys.registered.empty());  // creation installs the handler only
    ASSERT_NE(keys.handler, nullptr);
    EXPECT_TRUE(shortcut->registerHotKey());
    EXPECT_TRUE(shortcut->isRegistered());
    ASSERT_EQ(keys.registered.size(), 1u);
    const HotKey& hotKey = keys.registered.front();
    EXPECT_EQ(hotKey.keyCode, keycode::k);
    EXPECT_EQ(hotKey.modifiers, hotKeyModifier::control | hotKeyModifier::alt);
    EXPECT_EQ(hotKey.signature, 0x5450574Cu);  // "TPWL"
    EXPECT_EQ(hotKey.id, 1u);
}

TEST_F(GlobalShortcutTest, PressesReachOnToggleOnTheMainThreadOnly) {
    auto shortcut = makeShortcut();
    ASSERT_TRUE(shortcut->registerHotKey());
    keys.press();
    keys.press();
    EXPECT_EQ(toggles, 0);  // nothing runs until the main thread pumps
    EXPECT_EQ(main.runPending(), 2u);
    EXPECT_EQ(toggles, 2);
    for (const auto id : toggleThreads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

TEST_F(GlobalShortcutTest, RegisteringAgainReleasesTheOldHotKeyFirst) {
    auto shortcut = makeShortcut();
    ASSERT_TRUE(shortcut->registerHotKey());
    ASSERT_TRUE(shortcut->registerHotKey());
    EXPECT_EQ(keys.unregistered, (std::vector<HotKeyRef>{7}));
    shortcut->unregisterHotKey();
    shortcut->unregisterHotKey();  // nothing left to release
    EXPECT_EQ(keys.unregistered, (std::vector<HotKeyRef>{7, 8}));
    EXPECT_FALSE(shortcut->isRegistered());
}

TEST_F(GlobalShortcutTest, RefusedRegistrationLeavesNothingRegistered) {
    keys.refuse = Error{"x11", 10, "BadAccess"};
    auto shortcut = makeShortcut();
    EXPECT_FALSE(shortcut->registerHotKey());
    EXPECT_FALSE(shortcut->isRegistered());
    ASSERT_TRUE(shortcut->lastError().has_value());
    EXPECT_EQ(shortcut->lastError()->code, 10);
    shortcut.reset();
    EXPECT_TRUE(keys.unregistered.empty());

    keys.refuse.reset();
    auto second = makeShortcut();
    EXPECT_TRUE(second->registerHotKey());
    EXPECT_FALSE(second->lastError().has_value());
}

TEST_F(GlobalShortcutTest, DestructionReleasesTheHotKeyAndIgnoresPressesStillQueued) {
    auto shortcut = makeShortcut();
    ASSERT_TRUE(shortcut->registerHotKey());
    keys.press();
    shortcut.reset();
    EXPECT_EQ(keys.unregistered, (std::vector<HotKeyRef>{7}));
    EXPECT_EQ(keys.removeCount, 1);
    EXPECT_EQ(main.runPending(), 1u);
    EXPECT_EQ(toggles, 0);
}

TEST_F(GlobalShortcutTest, APressWithoutOnToggleDoesNothing) {
    auto shortcut = makeShortcut();
    shortcut->onToggle = nullptr;
    ASSERT_TRUE(shortcut->registerHotKey());
    keys.press();
    EXPECT_EQ(main.runPending(), 1u);
    EXPECT_EQ(toggles, 0);
}

}  // namespace
}  // namespace tapwell

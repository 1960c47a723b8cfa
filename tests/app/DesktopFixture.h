#pragma once
// The application state with fakes of every desktop service, for the desktop integration tests.

#include <gtest/gtest.h>

#include "app/AppState.h"
#include "core/Calendar.h"
#include "keyboard/FakeKeyTap.h"
#include "keyboard/KeyCodes.h"
#include "sound/OfflineAudioOutput.h"
#include "stats/StatsPersistence.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

namespace tapwell::test {

using namespace std::chrono_literals;

struct FakeNotifier final : Notifier {
    Capabilities capabilities{true, true};
    std::vector<Notification> posted;
    void queryCapabilities(std::function<void(Capabilities)> done) override { done(capabilities); }
    void post(const Notification& notification,
              std::function<void(std::optional<NotificationID>)> done) override {
        posted.push_back(notification);
        done(static_cast<NotificationID>(posted.size()));
    }
};

struct FakeFocus final : FocusSource {
    void start() override {}
    void stop() override {}
};

struct FakeSleep final : SleepSource {
    void start() override {}
    void stop() override {}
};

struct FakeLoginItem final : LoginItem {
    Status current;
    std::optional<Error> failure;
    Status status() const override { return current; }
    std::optional<Error> setEnabled(bool enabled) override {
        if (failure) {
            return failure;
        }
        current.enabled = enabled;
        return std::nullopt;
    }
};

struct FakeApplications final : ApplicationDirectory {
    std::vector<InstalledApp> list(std::string_view language) override {
        return {{"org.example.Meeting", language == "ja" ? "会議" : "Meeting", "meeting"}};
    }
};

class RecordingShell final : public AppShell {
  public:
    std::vector<Window> shown;
    bool hasWindows() const override { return true; }
    void showWindow(Window window) override { shown.push_back(window); }
    std::optional<std::filesystem::path> askSavePath(const SaveRequest&) override { return {}; }
    std::vector<std::string> askApplications() override { return {}; }
    std::optional<std::string> renderRecapPng(const RecapContent&) override { return {}; }
    bool copyPng(const std::string&) override { return false; }
    void openFolder(const std::filesystem::path&) override {}
    void quit() override {}
};

class DesktopIntegration : public ::testing::Test {
  protected:
    TempDir dir;
    UserDefaults defaults{dir / "defaults.json"};
    PumpedMainQueue mainQueue;
    FakeClock clock{Date{800000000.0}, 5000.0, "Europe/Berlin"};
    static constexpr double timerInterval = 0.25;
    std::shared_ptr<FakeKeyTap::State> keys = std::make_shared<FakeKeyTap::State>();
    RecordingShell shell;
    FakeNotifier* notifier = nullptr;
    FakeFocus* focus = nullptr;
    FakeSleep* sleep = nullptr;
    FakeLoginItem* login = nullptr;
    // The focus source to use instead of the fake.
    std::function<std::unique_ptr<FocusSource>()> makeFocus;
    std::shared_ptr<AppState> state;

    void SetUp() override {
        keys->available = true;
        defaults.set(defaultsKey::onboardingCompleted, true);
    }
    void TearDown() override {
        if (state) {
            state->shutdown();
        }
        Localization::store().setCode("en");
    }

    void launch() {
        AppEnvironment environment;
        environment.defaults = &defaults;
        environment.mainQueue = &mainQueue;
        environment.clock = &clock;
        environment.shell = &shell;
        environment.statsDirectory = dir / "stats";
        environment.keyTap = std::make_unique<FakeKeyTap>(keys);
        environment.resourceFolder = TAPWELL_TEST_RESOURCE_DIR;
        environment.makeSoundEngine = [this](const std::vector<LoadedTheme>& themes,
                                             const std::optional<std::string>& preferred)
            -> std::expected<std::unique_ptr<SoundEngine>, std::string> {
            SoundEngine::Dependencies dependencies;
            dependencies.output = std::make_shared<OfflineAudioOutput>();
            dependencies.clock = &clock;
            auto engine = SoundEngine::create(themes, preferred, std::move(dependencies));
            if (!engine) {
                return std::unexpected(describe(engine.error()));
            }
            return std::move(*engine);
        };
        auto fakeNotifier = std::make_unique<FakeNotifier>();
        notifier = fakeNotifier.get();
        environment.notifier = std::move(fakeNotifier);
        if (makeFocus) {
            environment.focus = makeFocus();
        } else {
            auto fakeFocus = std::make_unique<FakeFocus>();
            focus = fakeFocus.get();
            environment.focus = std::move(fakeFocus);
        }
        auto fakeSleep = std::make_unique<FakeSleep>();
        sleep = fakeSleep.get();
        environment.sleep = std::move(fakeSleep);
        auto fakeLogin = std::make_unique<FakeLoginItem>();
        login = fakeLogin.get();
        environment.loginItem = std::move(fakeLogin);
        environment.applications = std::make_shared<FakeApplications>();
        // Ticks are the test's to cause, by moving the clock.
        environment.timerInterval = timerInterval;
        state = AppState::create(std::move(environment));
        mainQueue.runFor(10ms);
    }

    // Counted keys are published with the app timer's next tick: one comes once the monitor has
    // handed the keys on.
    void type(int count) {
        for (int i = 0; i < count; ++i) {
            const auto t = static_cast<std::int64_t>(clock.uptime() * 1e9) + i * 1'000'000;
            keys->push(KeyTapEvent{keycode::a, KeyTapAction::press, t});
            keys->push(KeyTapEvent{keycode::a, KeyTapAction::release, t + 500'000});
        }
        EXPECT_TRUE(keys->waitUntilHandled());
        clock.advance(timerInterval);
    }
    bool pumpUntil(const std::function<bool()>& done) { return mainQueue.runUntil(done, 5000ms); }
    std::string today() const { return clock.calendar().dayID(clock.now()); }
    void writeToday(std::int64_t keystrokes) {
        DailyStats stats = DailyStats::empty(today());
        stats.keystrokes = keystrokes;
        stats.hourly[0] = keystrokes;
        dir.write("stats/" + today() + ".json", StatsPersistence::encode(stats));
    }
    void storePreferences(const AppPreferences& preferences) {
        const std::string json = preferences.toJSON();
        defaults.set(defaultsKey::preferences, Bytes(json.begin(), json.end()));
    }
    std::optional<DailyStats> savedToday() {
        return StatsPersistence(dir / "stats").load(today()).value_or(std::nullopt);
    }
};

}  // namespace tapwell::test

#include <gtest/gtest.h>

#include <spdlog/sinks/ringbuffer_sink.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "app/AppState.h"
#include "core/Log.h"
#include "keyboard/FakeKeyTap.h"
#include "keyboard/KeyCodes.h"
#include "sound/OfflineAudioOutput.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"
#include "themes/ThemeFixture.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

using namespace std::chrono_literals;
using test::FakeClock;
using test::FakeKeyTap;
using test::TempDir;

// A hot-key service whose presses the test makes.
class FakeHotKeys final : public HotKeyService {
  public:
    struct State {
        Handler handler;
        int registrations = 0;
        bool refuse = false;
    };
    explicit FakeHotKeys(std::shared_ptr<State> state) : state_(std::move(state)) {}
    void installHandler(Handler handler) override { state_->handler = std::move(handler); }
    void removeHandler() override { state_->handler = nullptr; }
    std::expected<HotKeyRef, Error> registerHotKey(const HotKey&) override {
        if (state_->refuse) {
            return std::unexpected(Error{"x11", 10, "BadAccess"});
        }
        ++state_->registrations;
        return HotKeyRef{1};
    }
    void unregisterHotKey(HotKeyRef) override {}

  private:
    std::shared_ptr<State> state_;
};

// Lines of the start-up log, captured while the test runs.
class StartupLog {
  public:
    StartupLog() : sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(256)) {
        auto& log = logger(LogCategory::startup);
        previousLevel_ = log.level();
        log.set_level(spdlog::level::debug);
        log.sinks().push_back(sink_);
    }
    ~StartupLog() {
        auto& log = logger(LogCategory::startup);
        auto& sinks = log.sinks();
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
        log.set_level(previousLevel_);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& line : sink_->last_formatted()) {
            out.push_back(line);
        }
        return out;
    }
    // The lines that contain one of `needles`, in order, as the needle they contain.
    std::vector<std::string> matching(const std::vector<std::string>& needles) const {
        std::vector<std::string> out;
        for (const auto& line : lines()) {
            for (const auto& needle : needles) {
                if (line.find(needle) != std::string::npos) {
                    out.push_back(needle);
                }
            }
        }
        return out;
    }

  private:
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
    spdlog::level::level_enum previousLevel_;
};

class AppStateTest : public ::testing::Test {
  protected:
    TempDir dir;
    UserDefaults defaults{dir / "defaults.json"};
    PumpedMainQueue mainQueue;
    FakeClock clock{Date{800000000.0}, 5000.0, "Europe/Berlin"};
    std::shared_ptr<FakeKeyTap::State> keys = std::make_shared<FakeKeyTap::State>();
    std::shared_ptr<FakeHotKeys::State> hotKeys = std::make_shared<FakeHotKeys::State>();
    std::shared_ptr<OfflineAudioOutput> output;
    bool withSound = true;
    std::function<DesktopSession()> session;  // none: the session's fields, given at once
    bool soundBeside =
        false;  // made on another thread while the state is built, as the program does
    AppShell* shellForLaunch = nullptr;
    bool openOnboardingFlag = false;
    MainQueue* queueForLaunch = nullptr;  // none: `mainQueue`
    std::shared_ptr<AppState> state;
    static constexpr double timerInterval = 0.02;

    void SetUp() override { keys->available = true; }

    void TearDown() override {
        if (state) {
            state->shutdown();
            state.reset();
        }
    }

    void launch() {
        AppEnvironment environment;
        environment.defaults = &defaults;
        environment.mainQueue = queueForLaunch != nullptr ? queueForLaunch : &mainQueue;
        environment.clock = &clock;
        environment.statsDirectory = dir / "stats";
        environment.userThemes = dir / "themes";
        environment.keyTap = std::make_unique<FakeKeyTap>(keys);
        environment.hotKeys = std::make_unique<FakeHotKeys>(hotKeys);
        environment.timerInterval = timerInterval;
        environment.shell = shellForLaunch;
        environment.openOnboardingAtLaunch = openOnboardingFlag;
        if (withSound) {
            environment.resourceFolder = TAPWELL_TEST_RESOURCE_DIR;
            environment.makeSoundEngine = [this](const std::vector<LoadedTheme>& themes,
                                                 const std::optional<std::string>& preferred)
                -> std::expected<std::unique_ptr<SoundEngine>, std::string> {
                output = std::make_shared<OfflineAudioOutput>();
                SoundEngine::Dependencies dependencies;
                dependencies.output = output;
                dependencies.clock = &clock;
                auto engine = SoundEngine::create(themes, preferred, std::move(dependencies));
                if (!engine) {
                    return std::unexpected(describe(engine.error()));
                }
                return std::move(*engine);
            };
        }
        environment.desktopSession = session;
        if (soundBeside) {
            environment.soundStart = std::async(
                std::launch::async,
                [request = SoundStart::Request{environment.resourceFolder, dir / "themes",
                                               std::move(environment.makeSoundEngine),
                                               defaults.stringValue(defaultsKey::themeID)}] {
                    return SoundStart::prepare(request);
                });
        }
        state = AppState::create(std::move(environment));
    }

    void press(std::int64_t code, KeyTapAction action = KeyTapAction::press) {
        keys->push(KeyTapEvent{code, action, static_cast<std::int64_t>(clock.uptime() * 1e9)});
    }
    // Counted keys are published with the app timer's next tick: one comes once the monitor has
    // handed the keys on.
    void type(int count) {
        for (int i = 0; i < count; ++i) {
            press(keycode::a + i % 3, KeyTapAction::press);
            press(keycode::a + i % 3, KeyTapAction::release);
        }
        EXPECT_TRUE(keys->waitUntilHandled());
        clock.advance(timerInterval);
    }
    bool pumpUntil(const std::function<bool()>& done) { return mainQueue.runUntil(done, 5000ms); }
};

// The key monitor starts first (its thread looks for keyboards while the sound starts), before the
// services its keys go to have started (they queue the keys:
// KeysBeforeTheStartCountOnTopOfTheStoredDay), and before everything else.
TEST_F(AppStateTest, StartsTheSoundAndTheKeyMonitorFirst) {
    StartupLog log;
    launch();
    const std::vector<std::string> steps = {"Starting key monitor", "Starting wellbeing",
                                            "Starting stats", "Starting system events",
                                            "Following the desktop session"};
    EXPECT_EQ(log.matching(steps), steps);
}

// The sound files' headers are read after the start. A selected theme with a file the engine
// cannot play (an alert whose header claims 65535 channels) is then listed as failed in the words
// of the `themes` command and gives way to the theme the start would have chosen without it; the
// stored choice stays, as when a theme fails at start.
TEST_F(AppStateTest, SelectedThemeWithALyingHeaderGivesWayOnceTheHeadersAreRead) {
    const std::filesystem::path mine = dir / "themes" / "mine";
    std::filesystem::create_directories(mine.parent_path());
    std::filesystem::copy(std::filesystem::path(TAPWELL_TEST_RESOURCE_DIR) / "clicky", mine,
                          std::filesystem::copy_options::recursive);
    auto manifest = nlohmann::json::parse(std::ifstream(mine / "theme.json"));
    manifest["id"] = "mine";
    test::writeBytes(mine / "theme.json", manifest.dump());
    test::writeBytes(mine / manifest["sounds"]["alerts"]["rankUp"].get<std::string>(),
                     test::wavBytes(16, 48000, 65535));
    defaults.set(defaultsKey::themeID, std::string("mine"));
    const auto expected = ThemeManager::create(TAPWELL_TEST_RESOURCE_DIR, dir / "themes");
    ASSERT_TRUE(expected);
    ASSERT_TRUE(expected->entries.back().failure);

    launch();
    auto failure = [&]() -> std::optional<std::string> {
        for (const ThemeEntry& entry : state->themes()) {
            if (entry.directory == mine) {
                return entry.failure;
            }
        }
        return std::nullopt;
    };
    ASSERT_TRUE(pumpUntil([&] { return failure().has_value(); }));
    EXPECT_EQ(failure(), expected->entries.back().failure);
    EXPECT_FALSE(state->availableThemeIDs().contains("mine"));
    ASSERT_TRUE(state->currentTheme());
    EXPECT_NE(state->currentTheme()->id, "mine");
    EXPECT_TRUE(state->currentTheme()->isDefault);
    EXPECT_EQ(defaults.stringValue(defaultsKey::themeID), "mine");
}

TEST_F(AppStateTest, ShutsDownOnceInOrder) {
    StartupLog log;
    launch();
    state->shutdown();
    state->shutdown();
    const std::vector<std::string> steps = {"Stopping key monitor", "Stopping stats",
                                            "Stopping wellbeing", "Stopping system events",
                                            "Shut down"};
    EXPECT_EQ(log.matching(steps), steps);
    EXPECT_TRUE(state->isStopped());
}

TEST_F(AppStateTest, KeysAreCountedAndReachTheStore) {
    launch();
    type(3);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 3; }));
    EXPECT_TRUE(state->inputAvailable());
}

TEST_F(AppStateTest, NoKeyboardIsKnownOnlyAfterTheMonitorLooked) {
    keys->available = false;
    launch();
    EXPECT_FALSE(state->inputChecked());  // not yet known, so nothing may be said about it
    int published = 0;
    state->setChangeHandler(
        [&](PublishedSet what) { published += what.contains(Published::inputAvailable) ? 1 : 0; });
    ASSERT_TRUE(pumpUntil([&] { return state->inputChecked(); }));
    EXPECT_FALSE(state->inputAvailable());
    EXPECT_EQ(published, 1);
}

TEST_F(AppStateTest, MutedSoundsStillCount) {
    defaults.set(defaultsKey::soundsEnabled, false);
    launch();
    ASSERT_TRUE(state->audioAvailable());
    EXPECT_EQ(state->soundEngine()->busVolumes().typing, 0.0f);
    type(2);
    EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 2; }));
}

TEST_F(AppStateTest, KeyGateStopsSoundAndCounting) {
    launch();
    state->keyGate().setValue(true);
    type(4);
    ASSERT_TRUE(keys->waitFor([](auto& s) { return s.input.empty(); }));
    state->keyGate().setValue(false);
    type(1);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes >= 1; }));
    // A gated key counted by mistake came before this one: once the store has settled, the last
    // snapshot shows it.
    clock.settle();
    mainQueue.runPending();
    EXPECT_EQ(state->snapshot().today.keystrokes, 1);
}

TEST_F(AppStateTest, RunsSilentlyWithoutResources) {
    withSound = false;
    launch();
    EXPECT_FALSE(state->audioAvailable());
    EXPECT_NE(state->audioProblem().value_or(""), "");
    EXPECT_FALSE(state->currentTheme());
    type(2);
    EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 2; }));
}

// The program makes the sound on a thread of its own while the rest starts; the state then holds
// what it would have made itself, with sound and without.
TEST_F(AppStateTest, SoundMadeBesideTheStartIsAdoptedAsItsOwn) {
    defaults.set(defaultsKey::themeID, std::string("thock"));
    for (const bool sound : {true, false}) {
        SCOPED_TRACE(sound);
        struct Seen {
            bool available;
            std::optional<std::string> problem;
            std::optional<std::string> theme;
            std::size_t themes;
        };
        std::vector<Seen> seen;
        for (const bool beside : {false, true}) {
            withSound = sound;
            soundBeside = beside;
            launch();
            type(2);
            EXPECT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 2; }));
            seen.push_back(
                {state->audioAvailable(), state->audioProblem(),
                 state->currentTheme() ? std::optional(state->currentTheme()->id) : std::nullopt,
                 state->themes().size()});
            state->shutdown();
            state.reset();
            std::filesystem::remove_all(dir / "stats");
        }
        EXPECT_EQ(seen[1].available, sound);
        EXPECT_EQ(seen[1].theme, sound ? std::optional<std::string>("thock") : std::nullopt);
        EXPECT_EQ(seen[1].available, seen[0].available);
        EXPECT_EQ(seen[1].problem, seen[0].problem);
        EXPECT_EQ(seen[1].theme, seen[0].theme);
        EXPECT_EQ(seen[1].themes, seen[0].themes);
    }
}

// The desktop session's bus connection takes round trips, so the program hands it over as a maker
// that the state calls once the key monitor runs and the sound plays; what it makes is then used.
TEST_F(AppStateTest, TheDesktopSessionIsMadeOnceTheKeyPathRuns) {
    class AnsweringNotifier final : public Notifier {
      public:
        explicit AnsweringNotifier(int& queries) : queries_(queries) {}
        void queryCapabilities(std::function<void(Capabilities)> done) override {
            ++queries_;
            done({true, true});
        }
        void post(const Notification&,
                  std::function<void(std::optional<NotificationID>)> done) override {
            done(std::nullopt);
        }

      private:
        int& queries_;
    };
    StartupLog log;
    int made = 0;
    int queries = 0;
    bool keyPathRan = false;
    session = [&] {
        ++made;
        keyPathRan =
            log.matching({"Starting key monitor"}).size() == 1 && output && output->isRunning();
        DesktopSession desktop;
        desktop.notifier = std::make_unique<AnsweringNotifier>(queries);
        return desktop;
    };
    launch();
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(keyPathRan);
    EXPECT_TRUE(pumpUntil([&] {
        return state->notificationStatus().authorization == NotificationAuthorization::authorized;
    }));
    EXPECT_TRUE(state->notificationStatus().actionsAvailable);
    EXPECT_GT(queries, 0);
}

TEST_F(AppStateTest, StoredVolumesAreClampedAtStart) {
    defaults.set(defaultsKey::typingVolume, 1.5);
    defaults.set(defaultsKey::alertVolume, -0.2);
    defaults.set(defaultsKey::rainVolume, std::int64_t{1});
    launch();
    EXPECT_EQ(state->soundSettings().typingVolume, 1.0);
    EXPECT_EQ(state->soundSettings().alertVolume, 0.0);
    EXPECT_EQ(state->soundSettings().rainVolume, 1.0);
}

TEST_F(AppStateTest, TimedMuteEndsWithinATimerTickAndIsForgotten) {
    defaults.set(defaultsKey::mutedUntil, clock.now() + 1.0);
    launch();
    ASSERT_TRUE(state->isMuted());
    EXPECT_EQ(state->soundEngine()->busVolumes().typing, 0.0f);
    clock.advance(1.0);
    ASSERT_TRUE(pumpUntil([&] { return !state->soundSettings().mutedUntil.has_value(); }));
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::mutedUntil));
    EXPECT_FALSE(state->isMuted());
    EXPECT_GT(state->soundEngine()->busVolumes().typing, 0.0f);
}

TEST_F(AppStateTest, SetMuteWritesThroughAndClears) {
    launch();
    state->setMute(clock.now() + 3600.0);
    EXPECT_EQ(defaults.dateValue(defaultsKey::mutedUntil), clock.now() + 3600.0);
    EXPECT_EQ(state->soundEngine()->busVolumes().typing, 0.0f);
    state->setMute(std::nullopt);
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::mutedUntil));
    EXPECT_GT(state->soundEngine()->busVolumes().typing, 0.0f);
}

TEST_F(AppStateTest, SoundSettingsWriteThrough) {
    launch();
    SoundSettings settings = state->soundSettings();
    settings.typingVolume = 0.25;
    settings.alertVolume = 0.5;
    settings.rainEnabled = true;
    settings.rainVolume = 0.1;
    settings.celebrationEnabled = false;
    state->setSoundSettings(settings);
    EXPECT_EQ(defaults.doubleValue(defaultsKey::typingVolume), 0.25);
    EXPECT_EQ(defaults.doubleValue(defaultsKey::alertVolume), 0.5);
    EXPECT_EQ(defaults.boolValue(defaultsKey::rainEnabled), true);
    EXPECT_EQ(defaults.doubleValue(defaultsKey::rainVolume), 0.1);
    EXPECT_EQ(defaults.boolValue(defaultsKey::celebrationEnabled), false);
    EXPECT_GT(state->soundEngine()->busVolumes().ambience, 0.0f);
}

TEST_F(AppStateTest, ShortcutTogglesSoundsTwice) {
    launch();
    ASSERT_TRUE(state->shortcutAvailable());
    ASSERT_TRUE(hotKeys->handler);
    hotKeys->handler(GlobalShortcut::toggleHotKey.id);
    ASSERT_TRUE(pumpUntil([&] { return !state->soundSettings().soundsEnabled; }));
    EXPECT_EQ(defaults.boolValue(defaultsKey::soundsEnabled), false);
    hotKeys->handler(GlobalShortcut::toggleHotKey.id);
    ASSERT_TRUE(pumpUntil([&] { return state->soundSettings().soundsEnabled; }));
}

TEST_F(AppStateTest, RefusedShortcutIsReportedUnavailable) {
    hotKeys->refuse = true;
    launch();
    EXPECT_FALSE(state->shortcutAvailable());
}

TEST_F(AppStateTest, CallbacksAfterShutdownAreIgnored) {
    launch();
    state->shutdown();
    const bool before = state->soundSettings().soundsEnabled;
    if (hotKeys->handler) {
        hotKeys->handler(GlobalShortcut::toggleHotKey.id);
    }
    mainQueue.runFor(50ms);
    EXPECT_EQ(state->soundSettings().soundsEnabled, before);
}

// Passes posts on to the pumped queue and, for each post made on another thread while the main
// thread runs none of the posted work, counts who owns the observed state at that moment: a
// report that holds the state itself makes it two owners. Posted work holds the state while it
// runs (and may set off reports, as a tick does), so posts made meanwhile do not count.
class OwnerCountingQueue final : public MainQueue {
  public:
    explicit OwnerCountingQueue(PumpedMainQueue& target) : target_(target) {}

    void observe(const std::shared_ptr<AppState>& state) {
        std::lock_guard lock(mutex_);
        observed_ = state;
    }
    void post(std::function<void()> work) override {
        if (std::this_thread::get_id() != mainThread_) {
            std::lock_guard lock(mutex_);
            if (const long owners = observed_.use_count(); owners > 0 && !running_) {
                ++reports_;
                mostOwners_ = std::max(mostOwners_, owners);
            }
        }
        target_.post([this, work = std::move(work)] {
            setRunning(true);
            work();
            setRunning(false);
        });
    }
    int reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    long mostOwners() const {
        std::lock_guard lock(mutex_);
        return mostOwners_;
    }

  private:
    void setRunning(bool running) {
        std::lock_guard lock(mutex_);
        running_ = running;
    }

    PumpedMainQueue& target_;
    const std::thread::id mainThread_ = std::this_thread::get_id();
    bool running_ = false;  // guarded by mutex_
    mutable std::mutex mutex_;
    std::weak_ptr<AppState> observed_;
    int reports_ = 0;
    long mostOwners_ = 0;
};

TEST_F(AppStateTest, ServiceThreadsNeverHoldTheState) {
    OwnerCountingQueue counting(mainQueue);
    queueForLaunch = &counting;
    withSound = false;
    launch();
    counting.observe(state);
    type(3);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 3; }));
    EXPECT_GT(counting.reports(), 0);
    EXPECT_EQ(counting.mostOwners(), 1);
    // The state posts to the counting queue until it is gone, so it goes before the queue.
    state->shutdown();
    state.reset();
}

// The main thread lets go of the state while the key monitor, the store and the wellbeing service
// are reporting: the state must still end on the main thread (its destructor checks).
TEST_F(AppStateTest, DroppedWhileServicesReportItEndsOnTheMainThread) {
    withSound = false;
    for (int round = 0; round < 20; ++round) {
        launch();
        keys->set([](auto& s) { s.available = !s.available; });
        type(4);
        std::weak_ptr<AppState> observer = state;
        state.reset();
        EXPECT_TRUE(observer.expired());
        mainQueue.runFor(5ms);
        keys->set([](auto& s) { s.input.clear(); });
    }
}

}  // namespace
}  // namespace tapwell

namespace tapwell {
namespace {

// A desktop that records which windows were asked for.
class RecordingShell final : public AppShell {
  public:
    std::vector<Window> shown;
    std::optional<std::filesystem::path> savePath;
    std::optional<SaveRequest> lastSave;
    std::vector<std::string> chosenApps;

    bool hasWindows() const override { return true; }
    void showWindow(Window window) override { shown.push_back(window); }
    std::optional<std::filesystem::path> askSavePath(const SaveRequest& request) override {
        lastSave = request;
        return savePath;
    }
    std::vector<std::string> askApplications() override { return chosenApps; }
    std::optional<std::string> renderRecapPng(const RecapContent&) override { return "png"; }
    bool copyPng(const std::string& png) override { return png == "png"; }
    void openFolder(const std::filesystem::path&) override {}
    void quit() override {}
};

class AppStateCommands : public AppStateTest {
  protected:
    RecordingShell shell;
    std::vector<PublishedSet> changes;

    void launchWithShell(bool onboardingDone = true) {
        if (onboardingDone) {
            defaults.set(defaultsKey::onboardingCompleted, true);
        }
        shellForLaunch = &shell;
        launch();
        state->setChangeHandler([this](PublishedSet what) { changes.push_back(what); });
        mainQueue.runFor(20ms);
    }
};

TEST_F(AppStateCommands, VolumesAreClampedWhenSet) {
    launchWithShell();
    SoundSettings settings = state->soundSettings();
    settings.typingVolume = 1.5;
    settings.alertVolume = -1.0;
    state->setSoundSettings(settings);
    EXPECT_EQ(state->soundSettings().typingVolume, 1.0);
    EXPECT_EQ(defaults.doubleValue(defaultsKey::alertVolume), 0.0);
}

TEST_F(AppStateCommands, MuteToggleStartsAnHourFromNowAndEndsWithNothingStored) {
    launchWithShell();
    clock.advance(7200.0);  // the published moment is stale while no mute runs
    state->toggleMute();
    ASSERT_TRUE(state->isMuted());
    EXPECT_EQ(state->soundSettings().mutedUntil, clock.now() + 3600.0);
    state->toggleMute();
    EXPECT_FALSE(state->isMuted());
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::mutedUntil));
}

TEST_F(AppStateCommands, LanguageSwitchFollowsTheDefaultMutedListUntilItIsEdited) {
    launchWithShell();
    state->setLanguage("zh-Hans");
    EXPECT_EQ(state->localization().language(), "zh-Hans");
    EXPECT_EQ(state->menuBar().language, "zh-Hans");
    EXPECT_EQ(defaults.stringValue(defaultsKey::appLanguage), "zh-Hans");
    EXPECT_EQ(state->preferences().mutedApps, defaultMutedApps("zh-Hans"));

    state->removeMutedApp(defaultMutedApps("zh-Hans").front());
    const auto edited = state->preferences().mutedApps;
    state->setLanguage("ja");
    EXPECT_EQ(state->preferences().mutedApps, edited);
    EXPECT_TRUE(state->preferences().mutedAppsCustomized);

    state->setLanguage("fr");  // unsupported: ignored
    EXPECT_EQ(state->localization().language(), "ja");
}

TEST_F(AppStateCommands, ChosenAppsAreAddedOnceAndSorted) {
    launchWithShell();
    shell.chosenApps = {"org.example.Zed", "org.example.Alpha", "org.example.Zed"};
    state->chooseMutedApps();
    state->addMutedApps({"org.example.Alpha"});
    auto apps = state->preferences().mutedApps;
    EXPECT_TRUE(std::is_sorted(apps.begin(), apps.end()));
    EXPECT_EQ(std::count(apps.begin(), apps.end(), "org.example.Alpha"), 1);
    EXPECT_EQ(std::count(apps.begin(), apps.end(), "org.example.Zed"), 1);
    shell.chosenApps.clear();  // cancelled
    state->chooseMutedApps();
    EXPECT_EQ(state->preferences().mutedApps, apps);
}

TEST_F(AppStateCommands, SelectingAThemeStoresItAndUnknownIdsChangeNothing) {
    launchWithShell();
    ASSERT_TRUE(state->currentTheme());
    state->selectTheme("no-such-theme");
    EXPECT_FALSE(defaults.hasStoredValue(defaultsKey::themeID));
    const std::string other = state->currentTheme()->id == "clicky" ? "thock" : "clicky";
    state->selectTheme(other);
    EXPECT_EQ(state->currentTheme()->id, other);
    EXPECT_EQ(defaults.stringValue(defaultsKey::themeID), other);
}

TEST_F(AppStateCommands, TrayCountAppearsAtOnceAndOnlyWhenShown) {
    launchWithShell();
    type(2);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 2; }));
    EXPECT_EQ(state->menuBar().count, std::nullopt);
    AppPreferences preferences = state->preferences();
    preferences.showCount = true;
    changes.clear();
    state->setPreferences(preferences);
    EXPECT_EQ(state->menuBar().count, 2);
    EXPECT_TRUE(std::any_of(changes.begin(), changes.end(),
                            [](PublishedSet s) { return s.contains(Published::menuBar); }));
}

TEST_F(AppStateCommands, OnboardingDecision) {
    struct Case {
        const char* name;
        std::optional<bool> completed;
        bool existingUser;
        bool flag;
        bool opens;
        std::optional<bool> storedAfter;
    };
    const Case cases[] = {
        {"completed false", false, true, false, true, false},
        {"unknown, existing user", std::nullopt, true, false, false, true},
        {"unknown, new user", std::nullopt, false, false, true, std::nullopt},
        {"completed, --onboarding", true, false, true, true, true},
        {"completed", true, false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        defaults.remove(defaultsKey::onboardingCompleted);
        defaults.remove(defaultsKey::themeID);
        shell.shown.clear();
        if (c.completed) {
            defaults.set(defaultsKey::onboardingCompleted, *c.completed);
        }
        if (c.existingUser) {
            defaults.set(defaultsKey::themeID, std::string("thock"));
        }
        openOnboardingFlag = c.flag;
        shellForLaunch = &shell;
        launch();
        mainQueue.runFor(20ms);
        const bool opened =
            std::count(shell.shown.begin(), shell.shown.end(), AppShell::Window::onboarding) == 1;
        EXPECT_EQ(opened, c.opens);
        EXPECT_EQ(defaults.boolValue(defaultsKey::onboardingCompleted), c.storedAfter);
    }
}

TEST_F(AppStateCommands, TryOutPadTakesTypingOnlyWhileFocusedOnTheFirstStep) {
    launchWithShell();
    state->openOnboarding();
    EXPECT_FALSE(state->keyGate().value());  // not focused yet
    state->onboardingWindowFocusChanged(true);
    EXPECT_TRUE(state->keyGate().value());

    using Key = StateView::LocalKey;
    EXPECT_FALSE(state->handleLocalKey(Key{keycode::tab, true, false, false, 1.0}));
    EXPECT_FALSE(state->handleLocalKey(Key{keycode::a, true, false, true, 1.0}));  // Control-A
    EXPECT_TRUE(state->handleLocalKey(Key{keycode::a, true, false, false, 1.0}));
    EXPECT_TRUE(state->handleLocalKey(Key{keycode::a, true, true, false, 1.1}));  // repeat
    EXPECT_TRUE(state->handleLocalKey(Key{keycode::a, false, false, false, 1.2}));
    EXPECT_TRUE(state->handleLocalKey(Key{keycode::leftShift, true, false, false, 1.3}));
    EXPECT_EQ(state->onboardingPresses(), 1);

    state->setOnboardingStep(1);
    EXPECT_FALSE(state->keyGate().value());
    EXPECT_FALSE(state->handleLocalKey(Key{keycode::a, true, false, false, 2.0}));
    state->setOnboardingStep(0);
    state->onboardingWindowFocusChanged(false);
    EXPECT_FALSE(state->keyGate().value());

    state->onboardingWindowFocusChanged(true);
    state->onboardingWindowClosed();
    EXPECT_FALSE(state->keyGate().value());
    EXPECT_EQ(defaults.boolValue(defaultsKey::onboardingCompleted), true);

    // Nothing typed into the pad was counted.
    mainQueue.runFor(50ms);
    EXPECT_EQ(state->snapshot().today.keystrokes, 0);
}

TEST_F(AppStateCommands, SampleLineShowsTodayAsStored) {
    launchWithShell();
    type(3);
    ASSERT_TRUE(pumpUntil([&] { return state->snapshot().today.keystrokes == 3; }));
    const std::string day = state->snapshot().today.date;
    EXPECT_EQ(state->onboardingSample(),
              "{ \"date\": \"" + day + "\", \"keystrokes\": 3, \"topSpeed\": " +
                  std::to_string(state->snapshot().today.topKpm) + ", \"breaks\": 0 }");
}

TEST_F(AppStateCommands, RecapCopiesThroughTheDesktopAndExportFailuresAreShown) {
    launchWithShell();
    EXPECT_TRUE(state->copyRecap());
    shell.savePath = dir / "no-such-folder" / "stats.json";
    state->exportStats();
    ASSERT_TRUE(shell.lastSave.has_value());
    EXPECT_EQ(shell.lastSave->proposedName, "Tapwell-stats.json");
    EXPECT_EQ(shell.lastSave->suffix, "json");
    ASSERT_TRUE(pumpUntil([&] { return state->serviceError().has_value(); }));
    state->clearServiceError();
    EXPECT_FALSE(state->serviceError());
}

TEST_F(AppStateCommands, ThemeImportRunsOneAtATimeAndShowsItsFailure) {
    launchWithShell();
    const auto themesBefore = state->themes().size();
    ASSERT_FALSE(state->importingTheme());
    state->importTheme(dir / "no-such-pack");
    EXPECT_TRUE(state->importingTheme());
    state->importTheme(dir / "another-pack");  // ignored while the first runs
    ASSERT_TRUE(pumpUntil([&] { return !state->importingTheme(); }));
    ASSERT_TRUE(state->serviceError().has_value());
    EXPECT_NE(state->serviceError()->find("no-such-pack"), std::string::npos)
        << *state->serviceError();
    EXPECT_EQ(state->themes().size(), themesBefore);
}

}  // namespace
}  // namespace tapwell

#include "app/AppState.h"

#include <algorithm>
#include <cstdio>

#include "core/Assert.h"
#include "core/Calendar.h"
#include "core/FileSystem.h"
#include "core/Log.h"
#include "keyboard/KeyCodes.h"
#include "platform/fallback/UnavailableHotKeyService.h"
#include "themeimport/PackImporter.h"
#include "themes/ThemeChoice.h"

namespace tapwell {

namespace {

constexpr double hourSeconds = 3600.0;

// The onboarding step that explains keyboard access.
constexpr int keyboardAccessStep = 1;

// Where a window's frame is kept in the defaults store.
std::string windowFrameKey(const std::string& name) {
    return "windowFrame." + name;
}

// Stands in where the desktop has no notification server: nothing is ever taken.
class NoNotificationServer final : public Notifier {
  public:
    void queryCapabilities(std::function<void(Capabilities)> done) override { done({}); }
    void post(const Notification&,
              std::function<void(std::optional<NotificationID>)> done) override {
        done(std::nullopt);
    }
};

std::string startupLanguage(const UserDefaults& defaults) {
    return std::string(Localization::supportedOrFallback(
        defaults.stringValue(defaultsKey::appLanguage).value_or(std::string())));
}

}  // namespace

std::shared_ptr<AppState> AppState::create(AppEnvironment environment) {
    std::shared_ptr<AppState> state(new AppState(std::move(environment)));
    state->start();
    return state;
}

AppState::AppState(AppEnvironment environment)
    : environment_(std::move(environment)),
      defaults_(*environment_.defaults),
      mainQueue_(*environment_.mainQueue),
      clock_(*environment_.clock),
      shell_(environment_.shell),
      now_(clock_.now()),
      localization_(startupLanguage(defaults_),
                    environment_.resourceFolder.value_or(std::filesystem::path{})) {
    // The fields' initial values. The shortcut installs its handler now, the key monitor reads the
    // caps lock state now; the statistics store is created but not started.
    wellbeingStatus_.nextMinutes = 60;
    auto hotKeys = std::move(environment_.hotKeys);
    if (!hotKeys) {
        hotKeys = std::make_unique<UnavailableHotKeyService>();
    }
    shortcut_ = std::make_unique<GlobalShortcut>(std::move(hotKeys), mainQueue_);
    keyGate_ = std::make_shared<KeyGate>();
    monitor_ = std::make_unique<KeyMonitor>(std::move(environment_.keyTap),
                                            std::move(environment_.keyMonitorOptions));
    stats_ = std::make_unique<StatsStore>(clock_, environment_.statsDirectory);
    overlays_ = std::make_unique<OverlayService>(environment_.overlayPresenter,
                                                 environment_.mainTimer, localization_);
    if (!environment_.desktopSession) {
        adoptSession(DesktopSession{std::move(environment_.notifier), std::move(environment_.focus),
                                    std::move(environment_.sleep),
                                    std::move(environment_.loginItem),
                                    std::move(environment_.applications)});
    }
}

void AppState::adoptSession(DesktopSession session) {
    notifier_ = std::move(session.notifier);
    if (!notifier_) {
        notifier_ = std::make_unique<NoNotificationServer>();
    }
    notifications_ = std::make_unique<NotificationService>(
        *notifier_, clock_, environment_.resourceFolder.value_or(std::filesystem::path{}));
    loginItem_ = std::move(session.loginItem);
    applications_ = std::move(session.applications);
    sleep_ = std::move(session.sleep);
    focus_ = std::move(session.focus);
}

AppState::~AppState() {
    // Elsewhere the services' threads could end up joining themselves.
    TAPWELL_ASSERT(std::this_thread::get_id() == mainThread_,
                   "AppState destroyed off the main thread");
    shutdown();
}

void AppState::start() {
    auto& log = logger(LogCategory::startup);

    // Language first: every text after this is in it. The localization itself was built for
    // the stored language with the other fields; here it becomes the process-wide choice.
    Localization::store().setCode(localization_.language());
    preferences_ = AppPreferences::load(defaults_);
    wellbeing_ = std::make_unique<WellbeingService>(defaults_, clock_);
    SoundSettings::registerDefaults(defaults_);
    sound_ = SoundSettings::load(defaults_);

    // First the way to the first key's sound: the key monitor (its thread connects to the
    // keyboards meanwhile), then the selected theme's key sounds and the output. A key that comes
    // before the sound is counted without it; one that comes before the statistics store or the
    // wellbeing service has started waits in its queue and is counted (the store loads the day
    // with the first key). Everything else follows: the system, the desktop session and, once the
    // monitor has looked, the other themes.
    wireKeyPath();
    log.debug("Starting key monitor");
    monitor_->start();
    loadThemesAndSound();
    keySound_->store(soundEngine_.get(), std::memory_order_release);
    // The desktop session's connection to the bus takes round trips a key does not wait for.
    if (environment_.desktopSession) {
        adoptSession(environment_.desktopSession());
    }

    notifications_->registerCategories();
    if (environment_.systemPlatform.timer == nullptr) {
        environment_.systemPlatform.timer = environment_.mainTimer;
    }
    systemEvents_ = std::make_unique<SystemEventsMonitor>(
        defaults_, mainQueue_, std::move(environment_.systemPlatform), clock_);
    wireCallbacks();
    wireDesktop();
    registerShortcut();
    configureServices(std::nullopt);
    refreshLoginStatus();
    log.debug("Starting wellbeing");
    wellbeing_->start();
    log.debug("Starting stats");
    stats_->start();
    log.debug("Starting system events");
    systemEvents_->start();
    log.debug("Following the desktop session");
    if (sleep_) {
        sleep_->start();
    }
    if (focus_) {
        focus_->start();
    }

    // The timer only hands its work to the main queue.
    timerQueue_ = std::make_unique<SerialQueue>("com.tapwell.app-timer", clock_.scheduler());
    std::weak_ptr<AppState> weak = weak_from_this();
    MainQueue* mainQueue = &mainQueue_;
    timer_ = timerQueue_->makeTimer(environment_.timerInterval, environment_.timerInterval, 0.0,
                                    [weak, mainQueue] {
                                        mainQueue->post([weak] {
                                            if (auto self = weak.lock()) {
                                                self->periodicWork();
                                            }
                                        });
                                    });

    if (environment_.openSettingsAtLaunch) {
        onMain([](AppState& state) { state.openSettings(); });
    }
    menuBarStatus_.setLanguage(localization_.language());
    onMain([](AppState& state) { state.reloadInstalledApps(); });
    decideOnboarding();
    log.info("Tapwell started: sound {}, language {}", audioAvailable_ ? "on" : "unavailable",
             localization_.language());
}

void AppState::loadThemesAndSound() {
    auto& log = logger(LogCategory::startup);
    // Made by the program while it started, or here.
    SoundStart start =
        environment_.soundStart.valid()
            ? environment_.soundStart.get()
            : SoundStart::prepare({environment_.resourceFolder,
                                   environment_.userThemes.value_or(userThemesFolder()),
                                   environment_.makeSoundEngine,
                                   defaults_.stringValue(defaultsKey::themeID)});
    for (const std::string& note : start.notes) {
        log.warn("Themes: {}", note);
    }
    themes_ = std::move(start.themes);
    if (!start.engine) {
        audioProblem_ = std::move(start.problem).value_or("no audio output");
        log.warn("Startup resources/audio unavailable: {}", *audioProblem_);
        return;
    }
    soundEngine_ = std::move(start.engine);
    // The engine prepares the other themes after the start; until checkThemeSamples has heard
    // from it, every listed theme is offered (selecting one waits for its preparation).
    for (const ThemeEntry& entry : themes_) {
        if (entry.loaded) {
            availableThemeIDs_.insert(entry.loaded->theme.id);
        }
    }
    const std::string selected = soundEngine_->selectedID();
    for (const ThemeEntry& entry : themes_) {
        if (entry.theme && entry.theme->id == selected) {
            currentTheme_ = entry.theme;
            break;
        }
    }
    audioAvailable_ = true;
    soundEngine_->setTypingVolume(static_cast<float>(sound_.typingVolume));
    soundEngine_->setAlertVolume(static_cast<float>(sound_.alertVolume));
    soundEngine_->setAmbience(sound_.rainEnabled, static_cast<float>(sound_.rainVolume));
    soundEngine_->setEnabled(sound_.soundsEnabled, sound_.mutedUntil);
}

void AppState::checkThemeSamples() {
    if (!soundEngine_) {
        return;
    }
    soundEngine_->prepareOtherThemes();
    std::vector<LoadedTheme> listed;
    for (const ThemeEntry& entry : themes_) {
        if (entry.loaded) {
            listed.push_back(*entry.loaded);
        }
    }
    themeCheckQueue_ = std::make_unique<SerialQueue>("com.tapwell.theme-check");
    themeCheckQueue_->async([listed = std::move(listed), engine = soundEngine_.get(),
                             weak = weak_from_this(), mainQueue = &mainQueue_] {
        // What the catalogue would have said, then what the engine found decoding the keys.
        std::map<std::filesystem::path, std::string> failures;
        for (const LoadedTheme& loaded : listed) {
            if (auto failure = ThemeManager::sampleFailure(loaded)) {
                failures.emplace(loaded.directory, std::move(*failure));
            }
        }
        auto unavailable = engine->unavailableThemes();
        auto available = engine->availableIDs();
        postToMain(*mainQueue, weak,
                   [failures = std::move(failures), unavailable = std::move(unavailable),
                    available = std::move(available)](AppState& state) mutable {
                       state.applyThemeCheck(failures, unavailable, std::move(available));
                   });
    });
}

void AppState::applyThemeCheck(const std::map<std::filesystem::path, std::string>& failures,
                               const std::map<std::string, std::string>& unavailable,
                               std::set<std::string> available) {
    std::vector<std::string> withdrawn;
    for (ThemeEntry& entry : themes_) {
        if (!entry.loaded) {
            continue;
        }
        const std::string id = entry.loaded->theme.id;
        if (const auto failed = failures.find(entry.directory); failed != failures.end()) {
            logger(LogCategory::startup).warn("Theme {} is unavailable: {}", id, failed->second);
            entry.failure = failed->second;
            entry.loaded.reset();
            withdrawn.push_back(id);
            available.erase(id);
        } else if (const auto it = unavailable.find(id); it != unavailable.end()) {
            // The catalogue reads headers only; a theme whose audio then fails to decode is
            // listed as failed too, so that the list and the engine agree.
            entry.failure = it->second;
            entry.loaded.reset();
        }
    }
    // A selected theme that turned out unplayable gives way to the one the start would have
    // chosen without it; the stored choice stays, as when it fails at start.
    const std::string selected = soundEngine_->selectedID();
    if (std::find(withdrawn.begin(), withdrawn.end(), selected) != withdrawn.end()) {
        std::vector<const Theme*> listed;
        for (const ThemeEntry& entry : themes_) {
            if (entry.theme) {
                listed.push_back(&*entry.theme);
            }
        }
        const auto fallback =
            chooseThemeID(listed, available, defaults_.stringValue(defaultsKey::themeID));
        if (fallback && soundEngine_->selectTheme(*fallback)) {
            currentTheme_.reset();
            for (const ThemeEntry& entry : themes_) {
                if (entry.theme && entry.theme->id == *fallback) {
                    currentTheme_ = entry.theme;
                    break;
                }
            }
        }
    }
    for (const std::string& id : withdrawn) {
        soundEngine_->removeTheme(id);
    }
    availableThemeIDs_ = std::move(available);
    changed(Published::themes);
}

void AppState::onMain(std::function<void(AppState&)> work) {
    postToMain(mainQueue_, weak_from_this(), std::move(work));
}

void AppState::postToMain(MainQueue& mainQueue, std::weak_ptr<AppState> weak,
                          std::function<void(AppState&)> work) {
    // The weak reference is locked on the main thread only: a service thread that held the state
    // even briefly could end up dropping its last reference, and then the state (and the services
    // it joins) would be destroyed on that service thread.
    mainQueue.post([weak = std::move(weak), work = std::move(work)] {
        if (auto self = weak.lock(); self && !self->stopped_) {
            work(*self);
        }
    });
}

std::function<void(KeyActivity)> AppState::makeKeyHandler(std::shared_ptr<const KeyGate> gate,
                                                          std::shared_ptr<const KeySound> sound,
                                                          StatsStore& stats,
                                                          WellbeingService& wellbeing,
                                                          const Clock& clock) {
    return [gate = std::move(gate), sound = std::move(sound), stats = &stats,
            wellbeing = &wellbeing, clock = &clock](KeyActivity activity) {
        if (gate->value()) {
            return;
        }
        if (SoundEngine* engine = sound->load(std::memory_order_acquire)) {
            engine->play(activity);
        }
        // Read here, at the time of the key; the hand-overs neither lock nor allocate.
        const Date now = clock->now();
        stats->record(activity, now);
        wellbeing->record(activity, now);
    };
}

void AppState::wireKeyPath() {
    // The monitor is stopped and joined before any of the services goes away.
    monitor_->onKey = makeKeyHandler(keyGate_, keySound_, *stats_, *wellbeing_, clock_);

    // The reports of service threads go through postToMain and never lock `weak` themselves.
    // Those a key can set off are in place before the first key.
    std::weak_ptr<AppState> weak = weak_from_this();
    MainQueue* mainQueue = &mainQueue_;
    stats_->onSnapshot = [weak, mainQueue, wellbeing = wellbeing_.get()](
                             const StatsSnapshot& snapshot, bool rankUp) {
        wellbeing->updateTotal(snapshot.today.keystrokes);
        postToMain(*mainQueue, weak, [snapshot, rankUp](AppState& state) {
            state.receiveSnapshot(snapshot, rankUp);
        });
    };
    wellbeing_->onUpdate = [weak, mainQueue](const std::vector<WellbeingEvent>& events,
                                             const WellbeingStatus& status) {
        postToMain(*mainQueue, weak,
                   [events, status](AppState& state) { state.handleWellbeing(events, status); });
    };
    monitor_->onAvailability = [weak, mainQueue](bool available) {
        postToMain(*mainQueue, weak, [available](AppState& state) {
            const bool first = !state.inputChecked_;
            state.inputChecked_ = true;
            if (first) {
                // The first key can play now: what was left for later may take the CPU.
                state.checkThemeSamples();
            }
            if (first || state.inputAvailable_ != available) {
                state.inputAvailable_ = available;
                state.changed(Published::inputAvailable);
            }
        });
    };
    monitor_->onCapsLock = [weak, mainQueue](bool isOn) {
        postToMain(*mainQueue, weak, [isOn](AppState& state) {
            state.handleSystemEvent(isOn ? SystemSoundEvent::capsOn : SystemSoundEvent::capsOff);
        });
    };
}

void AppState::wireCallbacks() {
    std::weak_ptr<AppState> weak = weak_from_this();
    // The system events monitor already reports on the main thread.
    systemEvents_->onEvent = [weak](SystemSoundEvent event) {
        if (auto self = weak.lock()) {
            self->handleSystemEvent(event);
        }
    };
    systemEvents_->onDownloadStatus = [weak](const std::optional<std::string>& message) {
        if (auto self = weak.lock(); self && !self->stopped_ && self->downloadError_ != message) {
            self->downloadError_ = message;
            self->missingDownloads_ = self->systemEvents_->missingDownloadsFolder();
            self->changed(Published::downloadError);
        }
    };
    systemEvents_->onScreenshotStatus = [weak](const std::optional<std::filesystem::path>& folder,
                                               const std::optional<std::string>& message) {
        if (auto self = weak.lock(); self && !self->stopped_) {
            self->screenshotFolder_ = folder;
            self->screenshotError_ = message;
            self->changed(Published::screenshot);
        }
    };
    shortcut_->onToggle = [weak] {
        if (auto self = weak.lock(); self && !self->stopped_) {
            SoundSettings settings = self->sound_;
            settings.soundsEnabled = !settings.soundsEnabled;
            self->setSoundSettings(settings);
        }
    };
    menuBarStatus_.onChange = [this] { changed(Published::menuBar); };
}

void AppState::registerShortcut() {
    shortcut_->unregisterHotKey();
    bool available = true;
    if (preferences_.shortcutEnabled) {
        available = shortcut_->registerHotKey();
        if (!available && shortcut_->lastError()) {
            logger(LogCategory::startup)
                .warn("Global shortcut unavailable: {}", shortcut_->lastError()->description);
        }
    }
    if (available != shortcutAvailable_) {
        shortcutAvailable_ = available;
        changed(Published::shortcutAvailable);
    }
}

void AppState::decideOnboarding() {
    const auto completed = defaults_.boolValue(defaultsKey::onboardingCompleted);
    bool opened = false;
    if (completed.has_value() && !*completed) {
        opened = true;
    } else if (!completed.has_value()) {
        const bool existingUser = defaults_.hasStoredValue(defaultsKey::themeID) ||
                                  defaults_.dataValue(defaultsKey::preferences).has_value() ||
                                  std::filesystem::exists(stats_->directory());
        if (existingUser) {
            defaults_.set(defaultsKey::onboardingCompleted, true);
        } else {
            opened = true;
        }
    }
    if (!opened && environment_.openOnboardingAtLaunch) {
        opened = true;
    }
    if (opened) {
        onMain([](AppState& state) { state.openOnboarding(); });
    }
}

void AppState::configureServices(const std::optional<AppPreferences>& old) {
    menuBarStatus_.update(preferences_.showCount
                              ? std::optional<std::int64_t>(snapshot_.today.keystrokes)
                              : std::nullopt);
    const bool contextMuted =
        activeAppID_ && std::find(preferences_.mutedApps.begin(), preferences_.mutedApps.end(),
                                  *activeAppID_) != preferences_.mutedApps.end();
    if (soundEngine_) {
        soundEngine_->setContextMuted(contextMuted);
    }
    wellbeing_->configure(preferences_, preferences_.pauseInMeetings && contextMuted);

    if (systemEvents_->threshold() != preferences_.batteryThreshold) {
        systemEvents_->setThreshold(preferences_.batteryThreshold);
        systemEvents_->powerChanged();
    }
    if (systemEvents_->downloadEnabled() != preferences_.download) {
        systemEvents_->setDownloadEnabled(preferences_.download);
        if (systemEvents_->started()) {
            systemEvents_->refreshDownloads();
        }
    }

    if (old && old->shortcutEnabled != preferences_.shortcutEnabled) {
        registerShortcut();
    }

    if (appliedBuiltInOutput_ != preferences_.builtInSpeakers) {
        if (!soundEngine_) {
            appliedBuiltInOutput_ = preferences_.builtInSpeakers;
        } else if (auto result = soundEngine_->setBuiltInOutput(preferences_.builtInSpeakers)) {
            appliedBuiltInOutput_ = preferences_.builtInSpeakers;
        } else {
            serviceError_ = describe(result.error());
            changed(Published::serviceError);
            refreshBuiltInSpeakers();
            if (preferences_.builtInSpeakers) {
                AppPreferences corrected = preferences_;
                corrected.builtInSpeakers = false;
                setPreferences(std::move(corrected));
                return;
            }
        }
    }
}

void AppState::setPreferences(AppPreferences preferences) {
    const AppPreferences old = preferences_;
    preferences_ = std::move(preferences);
    preferences_.save(defaults_);
    changed(Published::preferences);
    configureServices(old);
}

void AppState::setSoundSettings(SoundSettings settings) {
    settings.repair();
    if (settings == sound_) {
        return;
    }
    const SoundSettings old = sound_;
    sound_ = std::move(settings);
    sound_.save(defaults_, old);
    applySoundSettings(old);
    changed(Published::sound);
    if (sound_.celebrationEnabled && !old.celebrationEnabled) {
        requestNotificationAuthorization();
    }
}

void AppState::applySoundSettings(const SoundSettings& old) {
    if (!soundEngine_) {
        return;
    }
    if (sound_.soundsEnabled != old.soundsEnabled || sound_.mutedUntil != old.mutedUntil) {
        soundEngine_->setEnabled(sound_.soundsEnabled, sound_.mutedUntil);
    }
    if (sound_.typingVolume != old.typingVolume) {
        soundEngine_->setTypingVolume(static_cast<float>(sound_.typingVolume));
    }
    if (sound_.alertVolume != old.alertVolume) {
        soundEngine_->setAlertVolume(static_cast<float>(sound_.alertVolume));
    }
    if (sound_.rainEnabled != old.rainEnabled || sound_.rainVolume != old.rainVolume) {
        soundEngine_->setAmbience(sound_.rainEnabled, static_cast<float>(sound_.rainVolume));
    }
}

void AppState::setMute(std::optional<Date> until) {
    SoundSettings settings = sound_;
    settings.mutedUntil = until;
    setSoundSettings(std::move(settings));
}

void AppState::toggleMute() {
    // The published moment only moves while a mute runs; an hour must start from now.
    now_ = clock_.now();
    changed(Published::now);
    if (isMuted()) {
        setMute(std::nullopt);
    } else {
        setMute(now_ + hourSeconds);
    }
}

void AppState::selectTheme(const std::string& id) {
    if (!soundEngine_ || !soundEngine_->selectTheme(id)) {
        return;
    }
    currentTheme_.reset();
    for (const ThemeEntry& entry : themes_) {
        if (entry.theme && entry.theme->id == id) {
            currentTheme_ = entry.theme;
            break;
        }
    }
    defaults_.set(defaultsKey::themeID, id);
    soundEngine_->preview();
    changed(Published::themes);
}

void AppState::setLanguage(const std::string& code) {
    if (!Localization::isSupported(code) || code == localization_.language()) {
        return;
    }
    Localization::store().setCode(code);
    defaults_.set(defaultsKey::appLanguage, code);
    localization_ =
        Localization(code, environment_.resourceFolder.value_or(std::filesystem::path{}));
    changed(Published::localization);
    notifications_->registerCategories();
    menuBarStatus_.setLanguage(code);
    if (!preferences_.mutedAppsCustomized) {
        AppPreferences updated = preferences_;
        updated.mutedApps = defaultMutedApps(code);
        setPreferences(std::move(updated));
    }
    reloadInstalledApps();
}

void AppState::toggleWellbeingPause() {
    if (!wellbeingStatus_.pausedUntil) {
        wellbeing_->setPaused(clock_.now() + hourSeconds);
    } else {
        wellbeing_->setPaused(std::nullopt);
    }
}

void AppState::setLoginEnabled(bool enabled) {
    if (!loginItem_) {
        return;
    }
    if (auto error = loginItem_->setEnabled(enabled)) {
        serviceError_ = error->description;
        changed(Published::serviceError);
    }
    refreshLoginStatus();
}

void AppState::refreshLoginStatus() {
    const LoginItem::Status status = loginItem_ ? loginItem_->status() : LoginItem::Status{};
    // Waiting for approval still counts as on: the user asked for it.
    const bool enabled = status.enabled || status.needsApproval;
    if (enabled != loginEnabled_ || status.needsApproval != loginNeedsApproval_) {
        loginEnabled_ = enabled;
        loginNeedsApproval_ = status.needsApproval;
        changed(Published::login);
    }
}

void AppState::addMutedApps(const std::vector<std::string>& ids) {
    if (ids.empty()) {
        return;
    }
    AppPreferences updated = preferences_;
    updated.mutedAppsCustomized = true;
    updated.mutedApps.insert(updated.mutedApps.end(), ids.begin(), ids.end());
    std::sort(updated.mutedApps.begin(), updated.mutedApps.end());
    updated.mutedApps.erase(std::unique(updated.mutedApps.begin(), updated.mutedApps.end()),
                            updated.mutedApps.end());
    setPreferences(std::move(updated));
}

void AppState::chooseMutedApps() {
    if (shell_ != nullptr) {
        reloadInstalledApps();  // what was installed since the start shows up too
        addMutedApps(shell_->askApplications());
    }
}

void AppState::removeMutedApp(const std::string& id) {
    AppPreferences updated = preferences_;
    updated.mutedAppsCustomized = true;
    std::erase(updated.mutedApps, id);
    setPreferences(std::move(updated));
}

void AppState::setOnboardingStep(int step) {
    if (step == onboardingStep_) {
        return;
    }
    onboardingStep_ = step;
    changed(Published::onboarding);
    updateLocalPreview();
}

void AppState::clearServiceError() {
    if (serviceError_) {
        serviceError_.reset();
        changed(Published::serviceError);
    }
}

void AppState::setScreenshotFolder(const std::filesystem::path& folder) {
    systemEvents_->chooseScreenshotFolder(folder);
}

void AppState::importTheme(const std::filesystem::path& pack) {
    if (importingTheme_ || stopped_) {
        return;
    }
    if (!environment_.resourceFolder) {
        showServiceError(localization_.format("settings.themes.importFailed",
                                              {std::string("the built-in themes were not found")}));
        return;
    }
    importingTheme_ = true;
    changed(Published::themes);
    if (!importQueue_) {
        importQueue_ = std::make_unique<SerialQueue>("com.tapwell.import");
    }
    ImportRequest request;
    request.pack = pack;
    request.numberTakenID = true;
    request.themesFolder = environment_.userThemes.value_or(userThemesFolder());
    request.resourceFolder = *environment_.resourceFolder;
    // The engine outlives the import queue; the state is only reached back on the main queue.
    importQueue_->async([request = std::move(request), engine = soundEngine_.get(),
                         weak = weak_from_this(), mainQueue = &mainQueue_] {
        std::optional<LoadedTheme> theme;
        std::optional<std::string> failure;
        bool prepared = false;
        if (auto report = importSoundPack(request); !report) {
            failure = report.error();
        } else if (auto loaded = ThemeManager::load(report->directory); !loaded) {
            failure = describe(loaded.error());
        } else {
            theme = std::move(*loaded);
            if (engine != nullptr) {
                auto added = engine->addTheme(*theme);
                prepared = added.has_value();
                if (!added) {
                    failure = describe(added.error());
                }
            }
        }
        mainQueue->post(
            [weak, theme = std::move(theme), prepared, failure = std::move(failure)]() mutable {
                if (auto self = weak.lock(); self && !self->stopped_) {
                    self->finishImport(std::move(theme), prepared, std::move(failure));
                }
            });
    });
}

void AppState::finishImport(std::optional<LoadedTheme> theme, bool prepared,
                            std::optional<std::string> failure) {
    importingTheme_ = false;
    if (theme) {
        // An entry of the same folder (a theme removed and imported again) is replaced.
        std::erase_if(themes_, [&theme](const ThemeEntry& entry) {
            return entry.directory == theme->directory;
        });
        ThemeEntry entry;
        entry.directory = theme->directory;
        entry.theme = theme->theme;
        entry.loaded = *theme;
        entry.isUserTheme = true;
        themes_.push_back(std::move(entry));
        sortForDisplay(themes_);
        if (prepared) {
            availableThemeIDs_.insert(theme->theme.id);
        }
    }
    changed(Published::themes);
    if (failure) {
        showServiceError(localization_.format("settings.themes.importFailed", {*failure}));
    } else if (theme && prepared) {
        selectTheme(theme->theme.id);
    }
}

void AppState::showServiceError(std::string message) {
    serviceError_ = std::move(message);
    changed(Published::serviceError);
}

std::vector<DailyStats> AppState::recentDays(int count) const {
    return stats_->recentDays(count);
}

std::optional<std::string> AppState::windowFrame(const std::string& name) const {
    const auto bytes = defaults_.dataValue(windowFrameKey(name));
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

void AppState::setWindowFrame(const std::string& name, const std::string& frame) {
    defaults_.set(windowFrameKey(name), Bytes(frame.begin(), frame.end()));
}

void AppState::refreshBuiltInSpeakers() {
    const bool available = soundEngine_ && soundEngine_->hasBuiltInOutput();
    if (available != builtInSpeakersAvailable_) {
        builtInSpeakersAvailable_ = available;
        changed(Published::sound);
    }
}

void AppState::previewAlert(SystemSoundEvent event) {
    if (soundEngine_) {
        soundEngine_->playAlert(toString(event));
    }
}

void AppState::showWindow(AppShell::Window window) {
    if (shell_ == nullptr || !shell_->hasWindows()) {
        logger(LogCategory::startup)
            .info("No display: run 'tapwell --settings' in a desktop session to see Tapwell");
        return;
    }
    shell_->showWindow(window);
}

void AppState::openSettings() {
    refreshBuiltInSpeakers();  // speakers come and go with docks and sound cards
    showWindow(AppShell::Window::settings);
}

void AppState::openOnboarding() {
    onboardingStep_ = 0;
    onboardingPresses_ = 0;
    changed(Published::onboarding);
    updateLocalPreview();
    if (shell_ != nullptr && shell_->hasWindows()) {
        onboardingWindowShown_ = true;
    }
    showWindow(AppShell::Window::onboarding);
    updateLocalPreview();
}

void AppState::openRecap() {
    stats_->tick();
    showWindow(AppShell::Window::recap);
}

void AppState::openInputSettings() {
    openOnboarding();
    setOnboardingStep(keyboardAccessStep);
}

Date AppState::recapDate() const {
    return Calendar::current().startOfDay(snapshot_.today.date).value_or(now_);
}

std::optional<RecapContent> AppState::recapContent() const {
    if (!currentTheme_) {
        return std::nullopt;
    }
    return RecapContent::make(snapshot_.today, *currentTheme_, localization_, recapDate());
}

bool AppState::copyRecap() {
    const auto content = recapContent();
    if (!content || shell_ == nullptr) {
        return false;
    }
    const auto png = shell_->renderRecapPng(*content);
    return png && shell_->copyPng(*png);
}

void AppState::saveRecap() {
    const auto content = recapContent();
    if (!content || shell_ == nullptr) {
        return;
    }
    const auto png = shell_->renderRecapPng(*content);
    if (!png) {
        return;
    }
    const auto path = shell_->askSavePath(
        {localization_.text("recap.savePNG"), RecapContent::fileName(recapDate()), "PNG", "png"});
    if (!path) {
        return;
    }
    // The image is meant to be shared, so it gets the usual permissions of a user's file.
    using std::filesystem::perms;
    if (auto error = writeFileAtomically(
            *path, *png,
            perms::owner_read | perms::owner_write | perms::group_read | perms::others_read)) {
        serviceError_ = error->description;
        changed(Published::serviceError);
    }
}

void AppState::requestNotificationAuthorization() {
    notifications_->requestAuthorization();
}

void AppState::sendTestNotification() {
    notifications_->send(localization_.text("notification.test.title"),
                         localization_.text("notification.test.body"));
}

void AppState::showStoredData() {
    createFolders(stats_->directory());  // errors are ignored: the file manager says what is wrong
    if (shell_ != nullptr) {
        shell_->openFolder(stats_->directory());
    }
}

void AppState::exportStats() {
    if (shell_ == nullptr) {
        return;
    }
    const auto path = shell_->askSavePath(
        {localization_.text("settings.privacy.exportTitle"), "Tapwell-stats.json", "JSON", "json"});
    if (!path) {
        return;
    }
    std::weak_ptr<AppState> weak = weak_from_this();
    stats_->exportTo(*path, [weak, mainQueue = &mainQueue_](std::optional<Error> error) {
        if (!error) {
            return;
        }
        postToMain(*mainQueue, weak, [description = error->description](AppState& state) {
            state.serviceError_ = description;
            state.changed(Published::serviceError);
        });
    });
}

void AppState::deleteAllStats() {
    std::weak_ptr<AppState> weak = weak_from_this();
    stats_->deleteAll([weak, mainQueue = &mainQueue_](std::optional<Error> error) {
        if (!error) {
            return;
        }
        postToMain(*mainQueue, weak, [description = error->description](AppState& state) {
            state.serviceError_ = description;
            state.changed(Published::serviceError);
        });
    });
}

std::string AppState::onboardingSample() const {
    std::string date = snapshot_.today.date;
    if (date.empty()) {
        date = Calendar::current().dayID(clock_.now());
    }
    const DailyStats& today = snapshot_.today;
    char buffer[160];
    std::snprintf(
        buffer, sizeof buffer,
        "{ \"date\": \"%s\", \"keystrokes\": %lld, \"topSpeed\": %lld, \"breaks\": %lld }",
        date.c_str(), static_cast<long long>(today.keystrokes),
        static_cast<long long>(today.topKpm), static_cast<long long>(today.breaks));
    return buffer;
}

std::string AppState::appName(const std::string& id) const {
    for (const InstalledApp& app : installedApps_) {
        if (app.id == id) {
            return app.name;
        }
    }
    return id;
}

void AppState::onboardingWindowFocusChanged(bool focused) {
    onboardingWindowShown_ = true;
    onboardingWindowFocused_ = focused;
    updateLocalPreview();
}

void AppState::onboardingWindowClosed() {
    onboardingWindowFocused_ = false;
    defaults_.set(defaultsKey::onboardingCompleted, true);
    setKeyGate(false);
}

void AppState::updateLocalPreview() {
    setKeyGate(onboardingWindowShown_ && onboardingWindowFocused_ && onboardingStep_ == 0);
}

void AppState::setKeyGate(bool gated) {
    if (!gated) {
        localFilter_.reset();
    }
    if (keyGate_->value() == gated) {
        return;
    }
    keyGate_->setValue(gated);
    // Says when typing elsewhere stops and starts counting again; the end-to-end test waits for it.
    logger(LogCategory::keyboardPermission)
        .debug(gated ? "Try-out pad takes typing" : "Try-out pad releases typing");
}

bool AppState::handleLocalKey(const LocalKey& key) {
    if (stopped_ || !keyGate_->value()) {
        return false;
    }
    if (key.withCommandModifier || key.code == keycode::tab || key.code == keycode::escape) {
        return false;
    }
    if (const auto accepted = localFilter_.accept(key.isDown, key.code, key.isAutoRepeat)) {
        if (soundEngine_) {
            soundEngine_->play({accepted->kind, accepted->isDown, key.timestamp});
        }
        if (accepted->isDown) {
            ++onboardingPresses_;
            changed(Published::onboarding);
        }
    }
    return true;
}

void AppState::quit() {
    if (shell_ != nullptr) {
        shell_->quit();
    }
}

void AppState::periodicWork() {
    if (stopped_) {
        return;
    }
    if (sound_.mutedUntil) {
        now_ = clock_.now();
        changed(Published::now);
        if (now_ >= *sound_.mutedUntil) {
            setMute(std::nullopt);
        }
        if (soundEngine_) {
            soundEngine_->refreshMute();
        }
    }
    stats_->tick();
}

void AppState::receiveSnapshot(const StatsSnapshot& snapshot, bool rankUp) {
    if (!(snapshot == snapshot_)) {
        snapshot_ = snapshot;
        changed(Published::snapshot);
    }
    menuBarStatus_.update(preferences_.showCount
                              ? std::optional<std::int64_t>(snapshot_.today.keystrokes)
                              : std::nullopt);
    if (rankUp) {
        celebrate();
    }
}

void AppState::celebrate() {
    if (!sound_.celebrationEnabled || !currentTheme_) {
        return;
    }
    const auto names = localization_.pick(currentTheme_->ranks);
    if (!names || names->empty()) {
        return;
    }
    if (soundEngine_) {
        soundEngine_->playAlert("rankUp");
    }
    const auto count = localization_.groupedInteger(snapshot_.today.keystrokes);
    const auto tier = static_cast<std::size_t>(rank());
    const std::string body =
        tier + 1 >= names->size()
            ? localization_.format("notification.rankUp.bodyTop", {count})
            : localization_.format("notification.rankUp.body", {count, (*names)[tier + 1]});
    const std::string title = localization_.format(
        "notification.rankUp.title", {tier < names->size() ? (*names)[tier] : std::string()});
    notifications_->send(title, body);
}

void AppState::handleSystemEvent(SystemSoundEvent event) {
    if (stopped_ || !preferences_.isEnabled(event)) {
        return;
    }
    if (soundEngine_) {
        soundEngine_->playAlert(toString(event));
    }
    if (event == SystemSoundEvent::capsOn) {
        overlays_->showCapsLock();
    }
}

void AppState::handleWellbeing(const std::vector<WellbeingEvent>& events,
                               const WellbeingStatus& status) {
    if (stopped_) {
        return;
    }
    if (!(status == wellbeingStatus_)) {
        wellbeingStatus_ = status;
        changed(Published::wellbeingStatus);
    }
    if (soundEngine_) {
        soundEngine_->setSofter(status.softer);
    }
    for (WellbeingEvent event : events) {
        switch (event) {
            case WellbeingEvent::takeBreak:
                if (soundEngine_) {
                    soundEngine_->playAlert("breakNudge");
                }
                break;
            case WellbeingEvent::wrapUp:
                if (soundEngine_) {
                    soundEngine_->playAlert("wrapUp");
                }
                openRecap();
                break;
            case WellbeingEvent::edgeDim:
                overlays_->dimEdges();
                break;
            case WellbeingEvent::lateNight:
            case WellbeingEvent::dailyLimit:
                break;
        }
        notifications_->health(event, status.elapsedMinutes, snapshot_.today.keystrokes);
    }
}

void AppState::changed(PublishedSet what) {
    if (onChange_ && !what.empty()) {
        onChange_(what);
    }
}

void AppState::shutdown() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    auto& log = logger(LogCategory::startup);
    timer_.cancel();
    log.debug("Stopping key monitor");
    if (monitor_) {
        monitor_->stop();  // does not wait for the worker
    }
    log.debug("Stopping stats");
    if (stats_) {
        stats_->stop();
    }
    log.debug("Stopping wellbeing");
    if (wellbeing_) {
        wellbeing_->stop();
    }
    log.debug("Stopping system events");
    if (systemEvents_) {
        systemEvents_->stop();
    }
    log.debug("Stopping overlays");
    if (overlays_) {
        overlays_->stop();
    }
    if (shortcut_) {
        shortcut_->unregisterHotKey();
    }
    if (focus_) {
        focus_->stop();
    }
    if (sleep_) {
        sleep_->stop();
    }
    keyGate_->setValue(false);
    log.debug("Shut down");
}

}  // namespace tapwell

namespace tapwell {

void AppState::wireDesktop() {
    std::weak_ptr<AppState> weak = weak_from_this();
    // The notification service answers on the main thread.
    notifications_->onAuthorization = [weak](NotificationStatus status) {
        if (auto self = weak.lock();
            self && !self->stopped_ && !(self->notificationStatus_ == status)) {
            self->notificationStatus_ = status;
            self->changed(Published::notificationStatus);
        }
    };
    // Holds the wellbeing service, not the state: an answer to a nudge counts until the end.
    notifications_->onBreakAction = [wellbeing = wellbeing_.get()](BreakAction action) {
        wellbeing->act(action);
    };
    notifications_->refreshAuthorization();
    if (focus_) {
        // Reported on the focus watcher's thread.
        focus_->onChange = [weak, mainQueue = &mainQueue_](std::optional<std::string> id) {
            postToMain(*mainQueue, weak,
                       [id = std::move(id)](AppState& state) { state.setActiveApp(id); });
        };
    }
    if (sleep_) {
        sleep_->onWillSleep = [weak] {
            if (auto self = weak.lock(); self && !self->stopped_) {
                self->willSleep();
            }
        };
        sleep_->onDidWake = [weak] {
            if (auto self = weak.lock(); self && !self->stopped_) {
                self->didWake();
            }
        };
    }
}

void AppState::setActiveApp(std::optional<std::string> id) {
    if (id == activeAppID_) {
        return;
    }
    activeAppID_ = std::move(id);
    configureServices(std::nullopt);
}

void AppState::willSleep() {
    logger(LogCategory::startup).info("Going to sleep");
    wellbeing_->suspend();
    stats_->suspend();
    if (soundEngine_) {
        soundEngine_->setSuspended(true);
    }
}

void AppState::didWake() {
    logger(LogCategory::startup).info("Woke up");
    wellbeing_->resume();
    stats_->resume();
    if (soundEngine_) {
        soundEngine_->setSuspended(false);
    }
    stats_->tick();
}

void AppState::didBecomeActive() {
    if (stopped_) {
        return;
    }
    refreshLoginStatus();
    notifications_->refreshAuthorization();
    if (systemEvents_->started() && systemEvents_->downloadEnabled() &&
        systemEvents_->downloadFailed()) {
        systemEvents_->refreshDownloads();
    }
}

void AppState::reloadInstalledApps() {
    if (!applications_) {
        return;
    }
    auto apps = applications_->list(localization_.language());
    if (apps != installedApps_) {
        installedApps_ = std::move(apps);
        changed(Published::installedApps);
    }
}

void AppState::handleInstanceRequest(const InstanceRequest& request,
                                     UserInstance::Respond respond) {
    auto answer = [respond](std::optional<Error> error) {
        respond(
            InstanceReply{error ? std::optional<std::string>(error->description) : std::nullopt});
    };
    if (stopped_) {
        respond(InstanceReply{"Tapwell is shutting down"});
        return;
    }
    switch (request.kind) {
        case InstanceRequest::Kind::reopen:
        case InstanceRequest::Kind::openSettings:
            openSettings();
            respond({});
            break;
        case InstanceRequest::Kind::openOnboarding:
            openOnboarding();
            respond({});
            break;
        case InstanceRequest::Kind::exportStats:
            stats_->exportTo(request.file, answer);
            break;
        case InstanceRequest::Kind::deleteStats:
            stats_->deleteAll(answer);
            break;
    }
}

}  // namespace tapwell

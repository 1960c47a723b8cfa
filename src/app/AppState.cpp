#include "app/AppState.h"

#include <algorithm>
#include <cmath>

#include "core/Log.h"
#include "platform/fallback/UnavailableHotKeyService.h"
#include "stats/RankService.h"

namespace tapwell {

namespace {

double clampUnit(double value) {
    if (std::isnan(value)) {
        return 0.0;
    }
    return std::clamp(value, 0.0, 1.0);
}

std::string startupLanguage(const UserDefaults& defaults) {
    const auto stored = defaults.stringValue(defaultsKey::appLanguage);
    if (stored && Localization::isSupported(*stored)) {
        return *stored;
    }
    return std::string(Localization::fallbackLanguage);
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
      now_(clock_.now()),
      localization_(startupLanguage(defaults_),
                    environment_.resourceFolder.value_or(std::filesystem::path{})) {
    // Step 1: the fields' initial values. The shortcut installs its handler now, the key monitor
    // reads the caps lock state now; the statistics store is created but not started.
    auto hotKeys = std::move(environment_.hotKeys);
    if (!hotKeys) {
        hotKeys = std::make_unique<UnavailableHotKeyService>();
    }
    shortcut_ = std::make_unique<GlobalShortcut>(std::move(hotKeys), mainQueue_);
    keyGate_ = std::make_shared<KeyGate>();
    monitor_ = std::make_unique<KeyMonitor>(std::move(environment_.keyTap),
                                            std::move(environment_.keyMonitorOptions));
    stats_ = std::make_unique<StatsStore>(clock_, environment_.statsDirectory);
}

AppState::~AppState() {
    shutdown();
}

void AppState::start() {
    auto& log = logger(LogCategory::startup);

    // Language first: every text after this is in it. The localization itself was built for
    // the stored language with the other fields; here it becomes the process-wide choice.
    Localization::store().setCode(localization_.language());

    preferences_ = AppPreferences::load(defaults_);

    wellbeing_ = std::make_unique<WellbeingService>(defaults_, clock_);
    systemEvents_ = std::make_unique<SystemEventsMonitor>(
        defaults_, mainQueue_, std::move(environment_.systemPlatform), clock_);

    registerSoundDefaults(defaults_);
    soundsEnabled_ = defaults_.boolValue(defaultsKey::soundsEnabled).value_or(true);
    typingVolume_ = clampUnit(defaults_.doubleValue(defaultsKey::typingVolume).value_or(0.7));
    alertVolume_ = clampUnit(defaults_.doubleValue(defaultsKey::alertVolume).value_or(0.85));
    rainEnabled_ = defaults_.boolValue(defaultsKey::rainEnabled).value_or(false);
    rainVolume_ = clampUnit(defaults_.doubleValue(defaultsKey::rainVolume).value_or(0.3));
    celebrationEnabled_ = defaults_.boolValue(defaultsKey::celebrationEnabled).value_or(true);
    mutedUntil_ = defaults_.dateValue(defaultsKey::mutedUntil);

    loadThemesAndSound();
    wireCallbacks();
    registerShortcut();
    configureServices(std::nullopt);

    // The key monitor starts last, so that no key arrives before the store and the wellbeing
    // service run.
    log.debug("Starting system events");
    systemEvents_->start();
    log.debug("Starting wellbeing");
    wellbeing_->start();
    log.debug("Starting stats");
    stats_->start();
    log.debug("Starting key monitor");
    monitor_->start();

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
    log.info("Tapwell started: sound {}, language {}", audioAvailable_ ? "on" : "unavailable",
             localization_.language());
}

void AppState::loadThemesAndSound() {
    auto& log = logger(LogCategory::startup);
    if (!environment_.resourceFolder) {
        log.error("Startup resources/audio unavailable: {}",
                  "no resource folder was found (set TAPWELL_RESOURCE_DIR)");
        return;
    }
    auto catalogue = ThemeManager::create(*environment_.resourceFolder);
    if (!catalogue) {
        log.error("Startup resources/audio unavailable: {}", catalogue.error().description);
        return;
    }
    themes_ = std::move(catalogue->entries);
    sortForDisplay(themes_);
    std::vector<LoadedTheme> loaded;
    for (const ThemeEntry& entry : themes_) {
        if (entry.loaded) {
            loaded.push_back(*entry.loaded);
        }
    }
    if (!environment_.makeSoundEngine) {
        log.error("Startup resources/audio unavailable: {}", "no audio output");
        return;
    }
    auto engine = environment_.makeSoundEngine(loaded, defaults_.stringValue(defaultsKey::themeID));
    if (!engine) {
        log.error("Startup resources/audio unavailable: {}", engine.error());
        return;
    }
    soundEngine_ = std::move(*engine);
    availableThemeIDs_ = soundEngine_->availableIDs();
    const std::string selected = soundEngine_->selectedID();
    for (const ThemeEntry& entry : themes_) {
        if (entry.theme && entry.theme->id == selected) {
            currentTheme_ = entry.theme;
            break;
        }
    }
    audioAvailable_ = true;
    soundEngine_->setTypingVolume(static_cast<float>(typingVolume_));
    soundEngine_->setAlertVolume(static_cast<float>(alertVolume_));
    soundEngine_->setAmbience(rainEnabled_, static_cast<float>(rainVolume_));
    soundEngine_->setEnabled(soundsEnabled_, mutedUntil_);
}

void AppState::onMain(std::function<void(AppState&)> work) {
    std::weak_ptr<AppState> weak = weak_from_this();
    mainQueue_.post([weak, work = std::move(work)] {
        if (auto self = weak.lock(); self && !self->stopped_) {
            work(*self);
        }
    });
}

std::function<void(KeyActivity)> AppState::makeKeyHandler(std::shared_ptr<const KeyGate> gate,
                                                          SoundEngine* engine, StatsStore& stats,
                                                          WellbeingService& wellbeing,
                                                          const Clock& clock) {
    return [gate = std::move(gate), engine, stats = &stats, wellbeing = &wellbeing,
            clock = &clock](KeyActivity activity) {
        if (gate->value()) {
            return;
        }
        if (engine != nullptr) {
            engine->play(activity);
        }
        // Read here, at the time of the key; the hand-overs neither lock nor allocate.
        const Date now = clock->now();
        stats->record(activity, now);
        wellbeing->record(activity, now);
    };
}

void AppState::wireCallbacks() {
    // The monitor is stopped and joined before any of the services goes away.
    monitor_->onKey = makeKeyHandler(keyGate_, soundEngine_.get(), *stats_, *wellbeing_, clock_);

    std::weak_ptr<AppState> weak = weak_from_this();
    stats_->onSnapshot = [weak, wellbeing = wellbeing_.get()](const StatsSnapshot& snapshot,
                                                              bool rankUp) {
        wellbeing->updateTotal(snapshot.today.keystrokes);
        if (auto self = weak.lock()) {
            self->onMain(
                [snapshot, rankUp](AppState& state) { state.receiveSnapshot(snapshot, rankUp); });
        }
    };
    monitor_->onAvailability = [weak](bool available) {
        if (auto self = weak.lock()) {
            self->onMain([available](AppState& state) {
                if (state.inputAvailable_ != available) {
                    state.inputAvailable_ = available;
                    state.changed();
                }
            });
        }
    };
    monitor_->onCapsLock = [weak](bool isOn) {
        if (auto self = weak.lock()) {
            self->onMain([isOn](AppState& state) {
                state.handleSystemEvent(isOn ? SystemSoundEvent::capsOn
                                             : SystemSoundEvent::capsOff);
            });
        }
    };
    // The system events monitor already reports on the main thread.
    systemEvents_->onEvent = [weak](SystemSoundEvent event) {
        if (auto self = weak.lock()) {
            self->handleSystemEvent(event);
        }
    };
    systemEvents_->onDownloadStatus = [weak](const std::optional<std::string>& message) {
        if (auto self = weak.lock(); self && !self->stopped_) {
            self->downloadError_ = message;
            self->changed();
        }
    };
    systemEvents_->onScreenshotStatus = [weak](const std::optional<std::filesystem::path>& folder,
                                               const std::optional<std::string>& message) {
        if (auto self = weak.lock(); self && !self->stopped_) {
            self->screenshotFolder_ = folder;
            self->screenshotError_ = message;
            self->changed();
        }
    };
    wellbeing_->onUpdate = [weak](const std::vector<WellbeingEvent>& events,
                                  const WellbeingStatus& status) {
        if (auto self = weak.lock()) {
            self->onMain(
                [events, status](AppState& state) { state.handleWellbeing(events, status); });
        }
    };
    shortcut_->onToggle = [weak] {
        if (auto self = weak.lock(); self && !self->stopped_) {
            self->setSoundsEnabled(!self->soundsEnabled_);
        }
    };
}

void AppState::registerShortcut() {
    shortcut_->unregisterHotKey();
    if (preferences_.shortcutEnabled) {
        shortcutAvailable_ = shortcut_->registerHotKey();
        if (!shortcutAvailable_ && shortcut_->lastError()) {
            logger(LogCategory::startup)
                .warn("Global shortcut unavailable: {}", shortcut_->lastError()->description);
        }
    } else {
        shortcutAvailable_ = true;
    }
}

void AppState::configureServices(const std::optional<AppPreferences>& old) {
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
            if (preferences_.builtInSpeakers) {
                AppPreferences corrected = preferences_;
                corrected.builtInSpeakers = false;
                setPreferences(std::move(corrected));
                return;
            }
        }
    }
    changed();
}

void AppState::setPreferences(AppPreferences preferences) {
    const AppPreferences old = preferences_;
    preferences_ = std::move(preferences);
    preferences_.save(defaults_);
    configureServices(old);
}

void AppState::setSoundsEnabled(bool enabled) {
    soundsEnabled_ = enabled;
    defaults_.set(defaultsKey::soundsEnabled, enabled);
    if (soundEngine_) {
        soundEngine_->setEnabled(soundsEnabled_, mutedUntil_);
    }
    changed();
}

void AppState::setTypingVolume(double volume) {
    typingVolume_ = volume;
    defaults_.set(defaultsKey::typingVolume, volume);
    if (soundEngine_) {
        soundEngine_->setTypingVolume(static_cast<float>(volume));
    }
    changed();
}

void AppState::setAlertVolume(double volume) {
    alertVolume_ = volume;
    defaults_.set(defaultsKey::alertVolume, volume);
    if (soundEngine_) {
        soundEngine_->setAlertVolume(static_cast<float>(volume));
    }
    changed();
}

void AppState::setRainEnabled(bool enabled) {
    rainEnabled_ = enabled;
    defaults_.set(defaultsKey::rainEnabled, enabled);
    if (soundEngine_) {
        soundEngine_->setAmbience(rainEnabled_, static_cast<float>(rainVolume_));
    }
    changed();
}

void AppState::setRainVolume(double volume) {
    rainVolume_ = volume;
    defaults_.set(defaultsKey::rainVolume, volume);
    if (soundEngine_) {
        soundEngine_->setAmbience(rainEnabled_, static_cast<float>(rainVolume_));
    }
    changed();
}

void AppState::setCelebrationEnabled(bool enabled) {
    celebrationEnabled_ = enabled;
    defaults_.set(defaultsKey::celebrationEnabled, enabled);
    changed();
}

void AppState::setMute(std::optional<Date> until) {
    mutedUntil_ = until;
    if (until) {
        defaults_.set(defaultsKey::mutedUntil, *until);
    } else {
        defaults_.remove(defaultsKey::mutedUntil);
    }
    if (soundEngine_) {
        soundEngine_->setEnabled(soundsEnabled_, mutedUntil_);
    }
    changed();
}

void AppState::periodicWork() {
    if (stopped_) {
        return;
    }
    if (mutedUntil_) {
        now_ = clock_.now();
        if (now_ >= *mutedUntil_) {
            setMute(std::nullopt);
        }
        if (soundEngine_) {
            soundEngine_->refreshMute();
        }
        changed();
    }
    stats_->tick();
}

void AppState::receiveSnapshot(const StatsSnapshot& snapshot, bool rankUp) {
    if (!(snapshot == snapshot_)) {
        snapshot_ = snapshot;
        changed();
    }
    if (rankUp) {
        celebrate();
    }
}

void AppState::celebrate() {
    if (!celebrationEnabled_ || !currentTheme_) {
        return;
    }
    const auto names = localization_.pick(currentTheme_->ranks);
    if (!names || names->empty()) {
        return;
    }
    if (soundEngine_) {
        soundEngine_->playAlert("rankUp");
    }
    // The rank-up notification joins here once notifications are posted.
}

void AppState::handleSystemEvent(SystemSoundEvent event) {
    if (stopped_ || !preferences_.isEnabled(event)) {
        return;
    }
    if (soundEngine_) {
        soundEngine_->playAlert(toString(event));
    }
    // The caps lock badge joins here once overlays exist.
}

void AppState::handleWellbeing(const std::vector<WellbeingEvent>& events,
                               const WellbeingStatus& status) {
    if (stopped_) {
        return;
    }
    if (!(status == wellbeingStatus_)) {
        wellbeingStatus_ = status;
        changed();
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
                break;
            case WellbeingEvent::edgeDim:
            case WellbeingEvent::lateNight:
            case WellbeingEvent::dailyLimit:
                break;
        }
    }
}

double AppState::remainingMuteSeconds() const {
    if (!mutedUntil_) {
        return 0.0;
    }
    return std::max(0.0, *mutedUntil_ - now_);
}

int AppState::rank() const {
    return RankService::rankIndex(snapshot_.today.keystrokes);
}

std::string AppState::rankName() const {
    if (!currentTheme_) {
        return {};
    }
    const auto names = localization_.pick(currentTheme_->ranks);
    const int index = rank();
    if (!names || index >= static_cast<int>(names->size())) {
        return {};
    }
    return (*names)[static_cast<std::size_t>(index)];
}

void AppState::changed() {
    if (onChange) {
        onChange();
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
    if (shortcut_) {
        shortcut_->unregisterHotKey();
    }
    log.debug("Shut down");
}

}  // namespace tapwell

#pragma once
// The one object that owns and wires every service for the whole run. It starts them in a fixed
// order, routes each key activity from the key monitor to the sound engine, the statistics store
// and the wellbeing service, turns system and wellbeing events into sounds, keeps the user's sound
// settings in the defaults store, drives a quarter-second timer and stops everything once.
//
// Lives on the main thread. Services report on their own threads; every report hops to the main
// queue and holds the state weakly, so one that arrives after shut-down does nothing. The key
// event path alone runs on the key monitor's thread: it reads the key gate and calls the services
// it captured, never the state's own fields.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/MainQueue.h"
#include "core/SerialQueue.h"
#include "core/UserDefaults.h"
#include "keyboard/GlobalShortcut.h"
#include "keyboard/HotKeyService.h"
#include "keyboard/KeyGate.h"
#include "keyboard/KeyMonitor.h"
#include "keyboard/KeyTap.h"
#include "preferences/AppPreferences.h"
#include "presentation/Localization.h"
#include "sound/SoundEngine.h"
#include "stats/DailyStats.h"
#include "stats/StatsStore.h"
#include "system/SystemEventsMonitor.h"
#include "themes/ThemeManager.h"
#include "wellbeing/WellbeingEvent.h"
#include "wellbeing/WellbeingService.h"

namespace tapwell {

// Everything the state is built from. The entry passes the real services; tests pass fakes.
struct AppEnvironment {
    UserDefaults* defaults = nullptr;                     // required, outlives the state
    MainQueue* mainQueue = nullptr;                       // required, outlives the state
    Clock* clock = nullptr;                               // required, outlives the state
    std::optional<std::filesystem::path> resourceFolder;  // none: run without sound
    std::optional<std::filesystem::path> statsDirectory;  // none: the standard folder
    std::unique_ptr<KeyTap> keyTap;                       // required
    std::unique_ptr<HotKeyService> hotKeys;               // none: no global shortcut
    SystemEventsMonitor::Platform systemPlatform;
    SoundEngineFactory makeSoundEngine;  // none: run without sound
    KeyMonitor::Options keyMonitorOptions;
    double timerInterval = 0.25;
};

class AppState : public std::enable_shared_from_this<AppState> {
  public:
    // Builds and starts everything. Call on the main thread.
    static std::shared_ptr<AppState> create(AppEnvironment environment);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Stops every service once, in a fixed order. Later calls do nothing.
    void shutdown();

    // Called on the main thread after any published value changed (for views and the headless
    // runner).
    std::function<void()> onChange;

    // Published values.
    const AppPreferences& preferences() const { return preferences_; }
    const WellbeingStatus& wellbeingStatus() const { return wellbeingStatus_; }
    const std::optional<std::string>& downloadError() const { return downloadError_; }
    const std::optional<std::string>& screenshotError() const { return screenshotError_; }
    const std::optional<std::filesystem::path>& screenshotFolder() const {
        return screenshotFolder_;
    }
    const std::optional<std::string>& serviceError() const { return serviceError_; }
    bool shortcutAvailable() const { return shortcutAvailable_; }
    bool soundsEnabled() const { return soundsEnabled_; }
    double typingVolume() const { return typingVolume_; }
    double alertVolume() const { return alertVolume_; }
    bool rainEnabled() const { return rainEnabled_; }
    double rainVolume() const { return rainVolume_; }
    bool celebrationEnabled() const { return celebrationEnabled_; }
    const std::optional<Date>& mutedUntil() const { return mutedUntil_; }
    Date now() const { return now_; }
    const StatsSnapshot& snapshot() const { return snapshot_; }
    bool inputAvailable() const { return inputAvailable_; }
    bool audioAvailable() const { return audioAvailable_; }
    const std::optional<Theme>& currentTheme() const { return currentTheme_; }
    const Localization& localization() const { return localization_; }
    const std::vector<ThemeEntry>& themes() const { return themes_; }
    const std::set<std::string>& availableThemeIDs() const { return availableThemeIDs_; }
    // The sound engine; none when it could not be created.
    SoundEngine* soundEngine() const { return soundEngine_.get(); }
    bool isStopped() const { return stopped_; }

    // Derived values.
    bool isMuted() const { return mutedUntil_ && now_ < *mutedUntil_; }
    double remainingMuteSeconds() const;
    int rank() const;
    std::string rankName() const;

    // Settings that write through to the defaults store and the sound engine.
    void setPreferences(AppPreferences preferences);
    void setSoundsEnabled(bool enabled);
    void setTypingVolume(double volume);
    void setAlertVolume(double volume);
    void setRainEnabled(bool enabled);
    void setRainVolume(double volume);
    void setCelebrationEnabled(bool enabled);
    void setMute(std::optional<Date> until);

    // The onboarding window sets this while it takes typing itself.
    KeyGate& keyGate() { return *keyGate_; }

    // The key event path as the key monitor runs it on its own thread: the gate, the sound, then
    // the hand-over to statistics and wellbeing. It holds the services, never the state. The
    // application installs exactly this; measurements and tests call it too.
    static std::function<void(KeyActivity)> makeKeyHandler(std::shared_ptr<const KeyGate> gate,
                                                           SoundEngine* engine, StatsStore& stats,
                                                           WellbeingService& wellbeing,
                                                           const Clock& clock);

    // Internal routing, exposed for the event sources of later layers (views, overlays).
    void handleSystemEvent(SystemSoundEvent event);
    void handleWellbeing(const std::vector<WellbeingEvent>& events, const WellbeingStatus& status);
    void configureServices(const std::optional<AppPreferences>& old);

  private:
    explicit AppState(AppEnvironment environment);
    void start();
    void loadThemesAndSound();
    void wireCallbacks();
    void registerShortcut();
    void periodicWork();
    void receiveSnapshot(const StatsSnapshot& snapshot, bool rankUp);
    void celebrate();
    void changed();
    // Runs `work` on the main queue if the state still exists and has not stopped.
    void onMain(std::function<void(AppState&)> work);

    AppEnvironment environment_;
    UserDefaults& defaults_;
    MainQueue& mainQueue_;
    Clock& clock_;

    AppPreferences preferences_;
    WellbeingStatus wellbeingStatus_;
    std::optional<std::string> downloadError_;
    std::optional<std::string> screenshotError_;
    std::optional<std::filesystem::path> screenshotFolder_;
    std::optional<std::string> serviceError_;
    bool shortcutAvailable_ = true;
    bool soundsEnabled_ = true;
    double typingVolume_ = 0.7;
    double alertVolume_ = 0.85;
    bool rainEnabled_ = false;
    double rainVolume_ = 0.3;
    bool celebrationEnabled_ = true;
    std::optional<Date> mutedUntil_;
    Date now_;
    StatsSnapshot snapshot_;
    bool inputAvailable_ = false;
    bool audioAvailable_ = false;
    std::optional<Theme> currentTheme_;
    Localization localization_;

    std::vector<ThemeEntry> themes_;
    std::set<std::string> availableThemeIDs_;
    std::optional<std::string> activeAppID_;
    bool appliedBuiltInOutput_ = false;
    bool stopped_ = false;

    // Declaration order is destruction order in reverse: the key monitor (whose key path uses the
    // services below it) goes first, the sound engine last.
    std::unique_ptr<SoundEngine> soundEngine_;
    std::unique_ptr<StatsStore> stats_;
    std::unique_ptr<WellbeingService> wellbeing_;
    std::unique_ptr<SystemEventsMonitor> systemEvents_;
    std::unique_ptr<GlobalShortcut> shortcut_;
    std::shared_ptr<KeyGate> keyGate_;
    std::unique_ptr<KeyMonitor> monitor_;
    std::unique_ptr<SerialQueue> timerQueue_;
    QueueTimer timer_;
};

}  // namespace tapwell

#pragma once
// The one object that owns and wires every service for the whole run. It starts them in a fixed
// order, routes each key activity from the key monitor to the sound engine, the statistics store
// and the wellbeing service, turns system and wellbeing events into sounds, keeps the user's sound
// settings in the defaults store, drives a quarter-second timer, carries out the user's commands
// and stops everything once.
//
// Lives on the main thread, and is destroyed there: services report on their own threads, and
// every report hops to the main queue holding the state only weakly (it is locked there), so a
// report never keeps the state alive on another thread, and one that arrives after shut-down does
// nothing. The key
// event path alone runs on the key monitor's thread: it reads the key gate and calls the services
// it captured, never the state's own fields.

#include <atomic>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/AppShell.h"
#include "app/MenuBarStatus.h"
#include "app/SoundStart.h"
#include "app/StateView.h"
#include "core/Clock.h"
#include "core/MainQueue.h"
#include "core/MainTimer.h"
#include "core/SerialQueue.h"
#include "core/UserDefaults.h"
#include "core/UserInstance.h"
#include "keyboard/GlobalShortcut.h"
#include "keyboard/HotKeyService.h"
#include "keyboard/KeyEventFilter.h"
#include "keyboard/KeyGate.h"
#include "keyboard/KeyMonitor.h"
#include "keyboard/KeyTap.h"
#include "platform/DesktopServices.h"
#include "preferences/AppPreferences.h"
#include "preferences/SoundSettings.h"
#include "presentation/Localization.h"
#include "presentation/NotificationService.h"
#include "presentation/Notifier.h"
#include "presentation/OverlayPresenter.h"
#include "presentation/OverlayService.h"
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
    AppShell* shell = nullptr;                            // none: no windows (headless)
    OverlayPresenter* overlayPresenter = nullptr;         // none: no overlays (headless)
    MainTimer* mainTimer = nullptr;                       // none: no overlays
    std::optional<std::filesystem::path> resourceFolder;  // none: run without sound
    std::optional<std::filesystem::path> statsDirectory;  // none: the standard folder
    std::optional<std::filesystem::path> userThemes;      // none: the standard folder
    std::unique_ptr<KeyTap> keyTap;                       // required
    std::unique_ptr<HotKeyService> hotKeys;               // none: no global shortcut
    SystemEventsMonitor::Platform systemPlatform;
    SoundEngineFactory makeSoundEngine;  // none: run without sound
    // When valid, the sound as the program made it since its start; resourceFolder, userThemes and
    // makeSoundEngine then serve nothing more at start.
    std::future<SoundStart> soundStart;
    // The desktop session, made once the key monitor runs and the sound is in place; when given,
    // the five fields below serve nothing.
    std::function<DesktopSession()> desktopSession;
    // The desktop session; each none where the desktop lacks it.
    std::unique_ptr<Notifier> notifier;                  // none: no notification server
    std::unique_ptr<FocusSource> focus;                  // none: the front application unknown
    std::unique_ptr<SleepSource> sleep;                  // none: sleep is not followed
    std::unique_ptr<LoginItem> loginItem;                // none: no login item
    std::shared_ptr<ApplicationDirectory> applications;  // none: no installed applications
    KeyMonitor::Options keyMonitorOptions;
    // The process's command-line flags that the start-up reads.
    bool openSettingsAtLaunch = false;    // --settings
    bool openOnboardingAtLaunch = false;  // --onboarding
    double timerInterval = 0.25;
};

class AppState final : public StateView, public std::enable_shared_from_this<AppState> {
  public:
    // Builds and starts everything. Call on the main thread.
    static std::shared_ptr<AppState> create(AppEnvironment environment);
    ~AppState() override;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Stops every service once, in a fixed order. Later calls do nothing.
    void shutdown();
    bool isStopped() const { return stopped_; }

    void setChangeHandler(ChangeHandler handler) override { onChange_ = std::move(handler); }

    // Published values.
    const AppPreferences& preferences() const override { return preferences_; }
    const WellbeingStatus& wellbeingStatus() const override { return wellbeingStatus_; }
    const std::optional<std::string>& downloadError() const override { return downloadError_; }
    // The Downloads folder while it does not exist (then `downloadError` says so too).
    const std::optional<std::filesystem::path>& missingDownloadsFolder() const {
        return missingDownloads_;
    }
    const std::optional<std::string>& screenshotError() const override { return screenshotError_; }
    const std::optional<std::filesystem::path>& screenshotFolder() const override {
        return screenshotFolder_;
    }
    const std::optional<std::string>& serviceError() const override { return serviceError_; }
    NotificationStatus notificationStatus() const override { return notificationStatus_; }
    bool loginEnabled() const override { return loginEnabled_; }
    bool loginNeedsApproval() const override { return loginNeedsApproval_; }
    bool shortcutAvailable() const override { return shortcutAvailable_; }
    int onboardingStep() const override { return onboardingStep_; }
    std::int64_t onboardingPresses() const override { return onboardingPresses_; }
    const SoundSettings& soundSettings() const override { return sound_; }
    Date now() const override { return now_; }
    const StatsSnapshot& snapshot() const override { return snapshot_; }
    bool inputAvailable() const override { return inputAvailable_; }
    // Whether the key monitor has reported at least once, so that `inputAvailable` is known rather
    // than assumed.
    bool inputChecked() const { return inputChecked_; }
    bool audioAvailable() const override { return audioAvailable_; }
    // Why there is no sound, in the words of the step that failed; none while there is sound.
    const std::optional<std::string>& audioProblem() const { return audioProblem_; }
    const std::optional<Theme>& currentTheme() const override { return currentTheme_; }
    const Localization& localization() const override { return localization_; }
    const std::vector<ThemeEntry>& themes() const override { return themes_; }
    const std::set<std::string>& availableThemeIDs() const override { return availableThemeIDs_; }
    const MenuBarState& menuBar() const override { return menuBarStatus_.state(); }
    const std::vector<InstalledApp>& installedApps() const override { return installedApps_; }
    bool builtInSpeakersAvailable() const override { return builtInSpeakersAvailable_; }
    bool importingTheme() const override { return importingTheme_; }

    std::optional<RecapContent> recapContent() const override;
    std::string onboardingSample() const override;
    std::string appName(const std::string& id) const override;
    std::vector<DailyStats> recentDays(int count) const override;
    std::optional<std::string> windowFrame(const std::string& name) const override;

    // Settings that write through to the defaults store and the services.
    void setPreferences(AppPreferences preferences) override;
    void setSoundSettings(SoundSettings settings) override;
    void setMute(std::optional<Date> until);
    void selectTheme(const std::string& id) override;
    void setLanguage(const std::string& code) override;
    void toggleMute() override;
    void toggleWellbeingPause() override;
    void setLoginEnabled(bool enabled) override;
    void addMutedApps(const std::vector<std::string>& ids) override;
    void chooseMutedApps() override;
    void removeMutedApp(const std::string& id) override;
    void setOnboardingStep(int step) override;
    void clearServiceError() override;
    void setScreenshotFolder(const std::filesystem::path& folder) override;
    void importTheme(const std::filesystem::path& pack) override;
    void setWindowFrame(const std::string& name, const std::string& frame) override;
    void previewAlert(SystemSoundEvent event) override;

    void openSettings() override;
    void openOnboarding() override;
    void openRecap() override;
    void openInputSettings() override;
    bool copyRecap() override;
    void saveRecap() override;
    void requestNotificationAuthorization() override;
    void sendTestNotification() override;

    void showStoredData() override;
    void exportStats() override;
    void deleteAllStats() override;

    void onboardingWindowFocusChanged(bool focused) override;
    void onboardingWindowClosed() override;
    bool handleLocalKey(const LocalKey& key) override;

    void quit() override;

    // The onboarding window sets this while it takes typing itself.
    KeyGate& keyGate() { return *keyGate_; }
    // The sound engine; none when it could not be created.
    SoundEngine* soundEngine() const { return soundEngine_.get(); }
    const std::filesystem::path& statsDirectory() const { return stats_->directory(); }

    // The sound engine as the key path finds it: none until it has started (the key monitor
    // starts alongside it, and a key before then is counted without sound).
    using KeySound = std::atomic<SoundEngine*>;

    // The key event path as the key monitor runs it on its own thread: the gate, the sound, then
    // the hand-over to statistics and wellbeing. It holds the services, never the state. The
    // application installs exactly this; measurements and tests call it too.
    static std::function<void(KeyActivity)> makeKeyHandler(std::shared_ptr<const KeyGate> gate,
                                                           std::shared_ptr<const KeySound> sound,
                                                           StatsStore& stats,
                                                           WellbeingService& wellbeing,
                                                           const Clock& clock);

    // Internal routing, exposed for the event sources of later layers.
    void handleSystemEvent(SystemSoundEvent event);
    void handleWellbeing(const std::vector<WellbeingEvent>& events, const WellbeingStatus& status);
    void configureServices(const std::optional<AppPreferences>& old);

    // The desktop session.
    // The application's first window gained the focus.
    void didBecomeActive();
    void refreshLoginStatus();
    // Another tapwell process asked something of this one; `respond` is called once, maybe later
    // and from another thread.
    void handleInstanceRequest(const InstanceRequest& request, UserInstance::Respond respond);

  private:
    explicit AppState(AppEnvironment environment);
    void start();
    void loadThemesAndSound();
    void adoptSession(DesktopSession session);
    void applySoundSettings(const SoundSettings& old);
    void wireKeyPath();
    void wireCallbacks();
    // Once the key monitor has looked for keyboards: has the engine prepare the other themes, reads
    // the sound files' headers of every listed theme away from the main thread and waits for the
    // engine; then, on the main thread, applyThemeCheck lists the themes that failed either way
    // as failed, and a failed selected theme gives way.
    void checkThemeSamples();
    void applyThemeCheck(const std::map<std::filesystem::path, std::string>& failures,
                         const std::map<std::string, std::string>& unavailable,
                         std::set<std::string> available);
    void registerShortcut();
    void decideOnboarding();
    void updateLocalPreview();
    void setKeyGate(bool gated);
    void periodicWork();
    void receiveSnapshot(const StatsSnapshot& snapshot, bool rankUp);
    void celebrate();
    void wireDesktop();
    void setActiveApp(std::optional<std::string> id);
    void willSleep();
    void didWake();
    void reloadInstalledApps();
    void showWindow(AppShell::Window window);
    void refreshBuiltInSpeakers();
    // On the main thread, after an import: the new theme joins the catalogue (and, when the
    // engine prepared it, the offered themes) and is selected, or the failure is shown.
    void finishImport(std::optional<LoadedTheme> theme, bool prepared,
                      std::optional<std::string> failure);
    void showServiceError(std::string message);
    // The recap card's day: the snapshot's own day at local midnight, else now.
    Date recapDate() const;
    void changed(PublishedSet what);
    // Runs `work` on the main queue if the state still exists and has not stopped.
    void onMain(std::function<void(AppState&)> work);
    // The same from another thread: the state is only locked on the main thread, so a worker
    // never holds the last reference (its destructor joins the workers).
    static void postToMain(MainQueue& mainQueue, std::weak_ptr<AppState> weak,
                           std::function<void(AppState&)> work);

    AppEnvironment environment_;
    UserDefaults& defaults_;
    MainQueue& mainQueue_;
    Clock& clock_;
    const std::thread::id mainThread_ = std::this_thread::get_id();
    AppShell* shell_;
    ChangeHandler onChange_;

    AppPreferences preferences_;
    WellbeingStatus wellbeingStatus_;
    std::optional<std::string> downloadError_;
    std::optional<std::filesystem::path> missingDownloads_;
    std::optional<std::string> screenshotError_;
    std::optional<std::filesystem::path> screenshotFolder_;
    std::optional<std::string> serviceError_;
    NotificationStatus notificationStatus_;
    bool loginEnabled_ = false;
    bool loginNeedsApproval_ = false;
    bool shortcutAvailable_ = true;
    int onboardingStep_ = 0;
    std::int64_t onboardingPresses_ = 0;
    SoundSettings sound_;
    Date now_;
    StatsSnapshot snapshot_;
    bool inputAvailable_ = false;
    bool inputChecked_ = false;
    bool audioAvailable_ = false;
    std::optional<std::string> audioProblem_;
    std::optional<Theme> currentTheme_;
    Localization localization_;
    std::vector<InstalledApp> installedApps_;
    bool builtInSpeakersAvailable_ = false;
    bool importingTheme_ = false;

    std::vector<ThemeEntry> themes_;
    std::set<std::string> availableThemeIDs_;
    MenuBarStatus menuBarStatus_;
    std::optional<std::string> activeAppID_;
    bool appliedBuiltInOutput_ = false;
    // The onboarding window exists (it is created once and kept) and has the focus.
    bool onboardingWindowShown_ = false;
    bool onboardingWindowFocused_ = false;
    KeyEventFilter localFilter_;
    bool stopped_ = false;

    // Declaration order is destruction order in reverse: the key monitor (whose key path uses the
    // services below it) goes first, the sound engine last.
    std::unique_ptr<SoundEngine> soundEngine_;
    std::unique_ptr<Notifier> notifier_;
    std::unique_ptr<NotificationService> notifications_;
    std::unique_ptr<LoginItem> loginItem_;
    std::shared_ptr<ApplicationDirectory> applications_;
    std::unique_ptr<SleepSource> sleep_;
    std::unique_ptr<FocusSource> focus_;
    std::unique_ptr<StatsStore> stats_;
    std::unique_ptr<WellbeingService> wellbeing_;
    std::unique_ptr<SystemEventsMonitor> systemEvents_;
    std::unique_ptr<OverlayService> overlays_;
    std::unique_ptr<GlobalShortcut> shortcut_;
    std::shared_ptr<KeyGate> keyGate_;
    std::shared_ptr<KeySound> keySound_ = std::make_shared<KeySound>(nullptr);
    std::unique_ptr<KeyMonitor> monitor_;
    std::unique_ptr<SerialQueue> timerQueue_;
    QueueTimer timer_;
    // Sound pack imports, one at a time; destroyed before the sound engine, which they feed.
    std::unique_ptr<SerialQueue> importQueue_;
    // The sound files' headers, read once after the start; it waits for the engine too.
    std::unique_ptr<SerialQueue> themeCheckQueue_;
};

}  // namespace tapwell

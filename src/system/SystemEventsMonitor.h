#pragma once
// Turns power changes and finished files into system alert events: `charger` and `batteryLow` from
// the power source, `downloadDone` from the user's Downloads folder (watched while the download
// alert is on) and `screenshot` from the screenshot folder the user picked, which is remembered
// across launches. Reports the state of both folders for the settings page.
//
// Lives on the main thread: every operation is called there, and every callback is made there.
// Folder watchers and power notifications work on their own threads and hand their results over
// through the main queue; a result that arrives after the monitor was stopped, destroyed, or
// replaced the watcher that sent it is ignored.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/Error.h"
#include "core/MainQueue.h"
#include "core/MainTimer.h"
#include "core/RetryBackoff.h"
#include "preferences/AppPreferences.h"
#include "system/FolderEvents.h"
#include "system/FolderWatcher.h"
#include "system/PowerRules.h"
#include "system/PowerSource.h"

namespace tapwell {

class UserDefaults;

class SystemEventsMonitor {
  public:
    // The screenshot folder, stored as its absolute path (a data value).
    static constexpr const char* screenshotBookmarkKey = "m3.screenshotBookmark";

    // What the OS provides. Every piece may be missing: without a power source there are no power
    // events, without folder events or a Downloads folder nothing is watched.
    struct Platform {
        std::unique_ptr<PowerSource> power;
        FolderEventsFactory folderEvents;
        std::function<std::optional<std::filesystem::path>()> downloadsFolder;
        // Retries a Downloads folder that cannot be watched (it may not exist yet) on a backoff;
        // none: it is tried again only when the watch is refreshed. Outlives the monitor.
        MainTimer* timer = nullptr;
    };

    // The waits between attempts to watch a Downloads folder that cannot be watched.
    static constexpr double firstDownloadsRetry = 2.0;
    static constexpr double longestDownloadsRetry = 60.0;

    using ScreenshotStatus = std::function<void(const std::optional<std::filesystem::path>& folder,
                                                const std::optional<std::string>& message)>;

    // `defaults`, `mainQueue` and `clock` must outlive the monitor.
    SystemEventsMonitor(UserDefaults& defaults, MainQueue& mainQueue, Platform platform,
                        const Clock& clock = SystemClock::shared());
    ~SystemEventsMonitor();
    SystemEventsMonitor(const SystemEventsMonitor&) = delete;
    SystemEventsMonitor& operator=(const SystemEventsMonitor&) = delete;

    // Callbacks, set once before start.
    std::function<void(SystemSoundEvent)> onEvent;
    // folder present: being watched; message present: why none is watched; both absent: none
    // chosen.
    ScreenshotStatus onScreenshotStatus;
    // message present: the Downloads folder cannot be watched; absent: no problem.
    std::function<void(const std::optional<std::string>& message)> onDownloadStatus;

    void start();
    void stop();

    // Reads the power state and reports the power events it gives (at start, on each power
    // notification, and after the threshold changed).
    void powerChanged();
    // Replaces the Downloads watcher (or drops it when downloads are switched off); a failed
    // folder is tried again at once, and then on the backoff from its start.
    void refreshDownloads();
    // Watches `folder` as the screenshot folder from now on and remembers it. On failure the
    // previous folder stays watched and remembered, and the status carries the error.
    void chooseScreenshotFolder(const std::filesystem::path& folder);

    bool started() const { return started_; }
    bool downloadFailed() const { return downloadFailed_; }
    // The Downloads folder while it does not exist (download sounds start once it does).
    const std::optional<std::filesystem::path>& missingDownloadsFolder() const {
        return missingDownloads_;
    }
    std::int64_t threshold() const { return threshold_; }
    void setThreshold(std::int64_t percent) { threshold_ = percent; }
    bool downloadEnabled() const { return downloadEnabled_; }
    void setDownloadEnabled(bool enabled) { downloadEnabled_ = enabled; }

    const PowerRules& powerRules() const { return powerRules_; }
    const std::optional<std::filesystem::path>& screenshotFolder() const { return screenshotURL_; }
    // The current watchers (for observers and tests); null when none.
    FolderWatcher* downloadsWatcher() const { return downloads_.get(); }
    FolderWatcher* screenshotsWatcher() const { return screenshots_.get(); }

  private:
    void watchDownloads();
    void downloadsFailed(const std::filesystem::path& folder, const Error& error);
    void restoreScreenshotFolder();
    std::optional<Error> watchScreenshots(const std::filesystem::path& folder);
    void sendScreenshotStatus(const std::optional<std::filesystem::path>& folder,
                              const std::optional<std::string>& message);
    void sendDownloadStatus(const std::optional<std::string>& message);
    void emit(SystemSoundEvent event);
    // Wraps `work` so that it runs on the main queue, only while this monitor exists.
    std::function<void()> onMain(std::function<void()> work);

    UserDefaults& defaults_;
    MainQueue& mainQueue_;
    Platform platform_;
    const Clock& clock_;

    PowerRules powerRules_;
    std::int64_t threshold_ = 20;
    bool notificationsActive_ = false;
    bool started_ = false;
    bool downloadEnabled_ = true;
    bool downloadFailed_ = false;
    std::optional<std::filesystem::path> missingDownloads_;
    RetryBackoff downloadsBackoff_{firstDownloadsRetry, longestDownloadsRetry};
    ScheduledWork downloadsRetry_;
    bool screenshotFailed_ = false;
    std::unique_ptr<FolderWatcher> downloads_;
    std::unique_ptr<FolderWatcher> screenshots_;
    std::optional<std::filesystem::path> screenshotURL_;
    // Each replacement of a watcher bumps its generation; results of older watchers are dropped.
    std::uint64_t downloadsGeneration_ = 0;
    std::uint64_t screenshotsGeneration_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tapwell

#pragma once
// Watches one folder and calls back when a new file in it has finished arriving. OS change
// notifications wake it when entries change; while a new file is still settling, a one-second poll
// re-lists the folder until the completion rules are satisfied, and the poll ends when nothing is
// pending, so a quiet folder costs nothing.
//
// All work runs on the watcher's own serial queue "com.tapwell.folder"; the three callbacks are
// called there too. Creating a watcher starts it. `stop()` may be called from any thread and
// returns at once; afterwards no callback starts any more. Destroy a watcher from any thread but
// its own queue (the destructor waits for the queue to release the OS resources).

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/Error.h"
#include "core/SerialQueue.h"
#include "system/FolderCompletionRules.h"
#include "system/FolderEvents.h"

namespace tapwell {

class FolderWatcher {
  public:
    static constexpr const char* queueLabel = "com.tapwell.folder";
    static constexpr double pollInterval = 1.0;
    static constexpr double pollLeeway = 0.1;

    struct Callbacks {
        std::function<void()> onCompletion;         // at least one file completed in a listing
        std::function<void(const Error&)> onError;  // opening or listing the folder failed
        std::function<void()> onReady;              // listed fine (first time, or after an error)
    };

    // `clock` gives the uptime of the settle times and the time of the settle poll, and must
    // outlive the watcher.
    FolderWatcher(std::filesystem::path directory, bool screenshotsOnly,
                  std::unique_ptr<FolderEvents> events, Callbacks callbacks,
                  const Clock& clock = SystemClock::shared());
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    void stop();

    const std::filesystem::path& directory() const { return directory_; }
    bool screenshotsOnly() const { return screenshotsOnly_; }

    // For observers and tests: whether the settle poll exists right now, and the queue itself.
    bool isPolling();
    SerialQueue& queue() { return queue_; }

    // The listing step on its own: the folder's visible files with their fingerprints. The
    // content check for the screenshot marker is made only for names `needsMarker` accepts.
    struct Listing {
        std::map<std::string, Fingerprint> entries;
        std::optional<Error> error;
    };
    static Listing list(const std::filesystem::path& directory,
                        const std::function<bool(const std::string&)>& needsMarker);
    // The screenshot marker on Linux: the file's content starts like a PNG, JPEG or WebP image.
    static bool looksLikeImage(const std::filesystem::path& file);

  private:
    void install();
    void scan();
    void requestScan();
    bool isStopped() const;

    const std::filesystem::path directory_;
    const bool screenshotsOnly_;
    Callbacks callbacks_;
    const Clock& clock_;

    // Touched only on queue_.
    std::unique_ptr<FolderEvents> events_;
    bool eventsOpen_ = false;
    QueueTimer timer_;
    FolderCompletionRules rules_;
    bool reportedReady_ = false;

    std::atomic<bool> scanRequested_{false};  // coalesces bursts of change notifications

    mutable std::mutex lifecycleLock_;
    bool stopped_ = false;  // guarded by lifecycleLock_

    // Last, so that it is destroyed first: its remaining work still sees every member alive.
    SerialQueue queue_{queueLabel, clock_.scheduler()};
};

}  // namespace tapwell

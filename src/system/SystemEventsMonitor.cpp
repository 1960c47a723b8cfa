#include "system/SystemEventsMonitor.h"

#include <cerrno>
#include <utility>

#include "core/Log.h"
#include "core/UserDefaults.h"

namespace tapwell {

namespace fs = std::filesystem;

SystemEventsMonitor::SystemEventsMonitor(UserDefaults& defaults, MainQueue& mainQueue,
                                         Platform platform, const Clock& clock)
    : defaults_(defaults), mainQueue_(mainQueue), platform_(std::move(platform)), clock_(clock) {
    powerRules_.lowNotified =
        defaults_.boolValue(PowerRules::lowBatteryNotifiedKey).value_or(false);
}

SystemEventsMonitor::~SystemEventsMonitor() {
    stop();
    alive_.reset();
}

std::function<void()> SystemEventsMonitor::onMain(std::function<void()> work) {
    return [this, alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
        mainQueue_.post([alive, work] {
            // The monitor is destroyed only on the main thread, so this check cannot race.
            if (alive.lock()) {
                work();
            }
        });
    };
}

void SystemEventsMonitor::start() {
    powerChanged();
    if (platform_.power && !notificationsActive_) {
        auto notify = onMain([this] {
            if (started_) {
                powerChanged();
            }
        });
        notificationsActive_ = platform_.power->startNotifications(std::move(notify));
    }
    started_ = true;
    refreshDownloads();
    restoreScreenshotFolder();
}

void SystemEventsMonitor::stop() {
    started_ = false;
    if (platform_.power && notificationsActive_) {
        platform_.power->stopNotifications();
        notificationsActive_ = false;
    }
    // Both watchers stop at once; destroying them then waits for each to release the folder.
    if (downloads_) {
        downloads_->stop();
    }
    if (screenshots_) {
        screenshots_->stop();
    }
    downloads_.reset();
    screenshots_.reset();
    downloadsRetry_.cancel();
    ++downloadsGeneration_;
    ++screenshotsGeneration_;
    screenshotURL_.reset();
}

void SystemEventsMonitor::emit(SystemSoundEvent event) {
    if (onEvent) {
        onEvent(event);
    }
}

void SystemEventsMonitor::sendDownloadStatus(const std::optional<std::string>& message) {
    if (onDownloadStatus) {
        onDownloadStatus(message);
    }
}

void SystemEventsMonitor::sendScreenshotStatus(const std::optional<fs::path>& folder,
                                               const std::optional<std::string>& message) {
    if (onScreenshotStatus) {
        onScreenshotStatus(folder, message);
    }
}

void SystemEventsMonitor::powerChanged() {
    if (!platform_.power) {
        return;
    }
    const auto sample = platform_.power->read();
    if (!sample) {
        return;
    }
    const bool wasNotified = powerRules_.lowNotified;
    const auto events = powerRules_.update(*sample, threshold_);
    for (const auto event : events) {
        emit(event);
    }
    if (powerRules_.lowNotified != wasNotified) {
        defaults_.set(PowerRules::lowBatteryNotifiedKey, powerRules_.lowNotified);
    }
}

void SystemEventsMonitor::refreshDownloads() {
    downloadsBackoff_.reset();
    watchDownloads();
}

void SystemEventsMonitor::watchDownloads() {
    downloadsRetry_.cancel();
    if (downloads_) {
        downloads_->stop();
        downloads_.reset();
    }
    const auto generation = ++downloadsGeneration_;

    std::optional<fs::path> folder;
    if (downloadEnabled_ && platform_.downloadsFolder && platform_.folderEvents) {
        folder = platform_.downloadsFolder();
    }
    if (!folder) {
        downloadFailed_ = false;
        missingDownloads_.reset();
        sendDownloadStatus(std::nullopt);
        return;
    }

    FolderWatcher::Callbacks callbacks;
    callbacks.onCompletion = onMain([this, generation] {
        if (generation == downloadsGeneration_) {
            emit(SystemSoundEvent::downloadDone);
        }
    });
    callbacks.onError = [this, alive = std::weak_ptr<int>(alive_), generation,
                         folder = *folder](const Error& error) {
        mainQueue_.post([this, alive, generation, folder, error] {
            if (alive.lock() && generation == downloadsGeneration_) {
                downloadsFailed(folder, error);
            }
        });
    };
    callbacks.onReady = onMain([this, generation, folder = *folder] {
        if (generation != downloadsGeneration_) {
            return;
        }
        if (downloadFailed_) {
            logger(LogCategory::systemEvents)
                .info("Watching the Downloads folder {}", folder.string());
        }
        downloadFailed_ = false;
        missingDownloads_.reset();
        downloadsBackoff_.reset();
        sendDownloadStatus(std::nullopt);
    });
    // No status now: the watcher's first listing or its error sends it.
    downloads_ = std::make_unique<FolderWatcher>(*folder, false, platform_.folderEvents(),
                                                 std::move(callbacks), clock_);
}

void SystemEventsMonitor::downloadsFailed(const fs::path& folder, const Error& error) {
    const bool missing = error.domain == "posix" && error.code == ENOENT;
    // Said once per failure, not once per attempt; a folder that is simply not there yet is no
    // error.
    if (!downloadFailed_ || missing != missingDownloads_.has_value()) {
        auto& log = logger(LogCategory::systemEvents);
        if (missing) {
            log.info("There is no Downloads folder at {}; download sounds start once it exists",
                     folder.string());
        } else {
            log.warn("The Downloads folder cannot be watched ({}); trying again later",
                     error.description);
        }
    }
    downloadFailed_ = true;
    missingDownloads_ = missing ? std::optional<fs::path>(folder) : std::nullopt;
    sendDownloadStatus(error.description);
    if (platform_.timer != nullptr && started_) {
        const auto generation = downloadsGeneration_;
        downloadsRetry_ = platform_.timer->after(
            downloadsBackoff_.next(), [this, alive = std::weak_ptr<int>(alive_), generation] {
                if (alive.lock() && started_ && generation == downloadsGeneration_) {
                    watchDownloads();
                }
            });
    }
}

void SystemEventsMonitor::restoreScreenshotFolder() {
    const auto stored = defaults_.dataValue(screenshotBookmarkKey);
    if (!stored) {
        sendScreenshotStatus(std::nullopt, std::nullopt);
        return;
    }
    const fs::path folder(std::string(stored->begin(), stored->end()));
    if (folder.empty() || !folder.is_absolute()) {
        const auto error = Error::posix(EINVAL, "Stored screenshot folder");
        sendScreenshotStatus(std::nullopt, error.description);
        return;
    }
    if (auto error = watchScreenshots(folder)) {
        sendScreenshotStatus(std::nullopt, error->description);
    }
}

std::optional<Error> SystemEventsMonitor::watchScreenshots(const fs::path& folder) {
    // Access to a folder is checked before anything is replaced, so a failed choice keeps the
    // previous folder watched.
    std::error_code ec;
    const auto status = fs::status(folder, ec);
    if (ec) {
        return Error::posix(ec.value(), folder.string());
    }
    if (!fs::is_directory(status)) {
        return Error::posix(ENOTDIR, folder.string());
    }
    if (!platform_.folderEvents) {
        return Error::posix(ENOSYS, folder.string());
    }

    if (screenshots_) {
        screenshots_->stop();
        screenshots_.reset();
    }
    const auto generation = ++screenshotsGeneration_;
    screenshotFailed_ = false;

    FolderWatcher::Callbacks callbacks;
    callbacks.onCompletion = onMain([this, generation] {
        if (generation == screenshotsGeneration_) {
            emit(SystemSoundEvent::screenshot);
        }
    });
    callbacks.onError = [this, alive = std::weak_ptr<int>(alive_), generation](const Error& error) {
        mainQueue_.post([this, alive, generation, error] {
            if (!alive.lock() || generation != screenshotsGeneration_) {
                return;
            }
            screenshotFailed_ = true;
            sendScreenshotStatus(std::nullopt, error.description);
        });
    };
    callbacks.onReady = onMain([this, generation] {
        // Once the folder lists again after an error, the status says so instead of keeping
        // the stale error.
        if (generation == screenshotsGeneration_ && screenshotFailed_) {
            screenshotFailed_ = false;
            sendScreenshotStatus(screenshotURL_, std::nullopt);
        }
    });
    screenshots_ = std::make_unique<FolderWatcher>(folder, true, platform_.folderEvents(),
                                                   std::move(callbacks), clock_);
    screenshotURL_ = folder;
    sendScreenshotStatus(folder, std::nullopt);
    return std::nullopt;
}

void SystemEventsMonitor::chooseScreenshotFolder(const fs::path& chosen) {
    std::error_code ec;
    const fs::path folder = fs::absolute(chosen, ec).lexically_normal();
    if (ec || chosen.empty()) {
        const auto error = Error::posix(ec ? ec.value() : EINVAL, chosen.string());
        sendScreenshotStatus(std::nullopt, error.description);
        return;
    }
    if (auto error = watchScreenshots(folder)) {
        sendScreenshotStatus(std::nullopt, error->description);
        return;
    }
    const std::string bookmark = folder.string();
    if (!defaults_.set(screenshotBookmarkKey, Bytes(bookmark.begin(), bookmark.end()))) {
        logger(LogCategory::systemEvents).warn("Screenshot folder could not be saved");
    }
}

}  // namespace tapwell

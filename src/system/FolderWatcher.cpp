#include "system/FolderWatcher.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

namespace tapwell {

namespace fs = std::filesystem;

FolderWatcher::FolderWatcher(fs::path directory, bool screenshotsOnly,
                             std::unique_ptr<FolderEvents> events, Callbacks callbacks,
                             const Clock& clock)
    : directory_(std::move(directory)),
      screenshotsOnly_(screenshotsOnly),
      callbacks_(std::move(callbacks)),
      clock_(clock),
      events_(std::move(events)) {
    queue_.async([this] { install(); });
}

FolderWatcher::~FolderWatcher() {
    stop();
    // The stop work closes the event source; once it has run no thread but the queue's own
    // refers to this object, and the queue finishes its remaining work before it goes.
    queue_.sync([] {});
}

bool FolderWatcher::isStopped() const {
    std::lock_guard lock(lifecycleLock_);
    return stopped_;
}

void FolderWatcher::stop() {
    {
        std::lock_guard lock(lifecycleLock_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    queue_.async([this] {
        timer_.cancel();
        timer_ = QueueTimer{};
        events_.reset();  // closing joins the adapter's notification thread
    });
}

bool FolderWatcher::isPolling() {
    return queue_.sync([this] { return timer_.isActive(); });
}

void FolderWatcher::install() {
    if (isStopped()) {
        return;
    }
    auto error = events_ ? events_->open(directory_, [this] { requestScan(); })
                         : std::optional<Error>(Error::posix(ENOSYS, directory_.string()));
    if (error) {
        events_.reset();
        if (!isStopped() && callbacks_.onError) {
            callbacks_.onError(*error);
        }
        return;
    }
    if (isStopped()) {
        events_.reset();
        return;
    }
    // Watching starts before the baseline listing, so nothing that changes in between is missed:
    // such a change is either in the baseline or triggers a scan after it.
    scan();
}

void FolderWatcher::requestScan() {
    // Called on the adapter's thread. One queued scan covers every change notified before it runs.
    if (scanRequested_.exchange(true)) {
        return;
    }
    queue_.async([this] {
        scanRequested_ = false;
        scan();
    });
}

void FolderWatcher::scan() {
    if (isStopped()) {
        return;
    }
    const auto needsMarker = [this](const std::string& name) {
        // Only candidates can be reported, so only their content is looked at.
        return screenshotsOnly_ && rules_.initialized && !rules_.known.contains(name);
    };
    auto listing = list(directory_, needsMarker);
    if (listing.error) {
        reportedReady_ = false;
        if (!isStopped() && callbacks_.onError) {
            callbacks_.onError(*listing.error);
        }
        return;
    }

    const auto completed = rules_.scan(listing.entries, clock_.uptime(), screenshotsOnly_);

    if (!reportedReady_ && !isStopped()) {
        reportedReady_ = true;
        if (callbacks_.onReady) {
            callbacks_.onReady();
        }
    }
    if (!completed.empty() && !isStopped() && callbacks_.onCompletion) {
        callbacks_.onCompletion();
    }

    if (rules_.pending.empty()) {
        timer_.cancel();
        timer_ = QueueTimer{};
    } else if (!timer_.isActive() && !isStopped()) {
        timer_ = queue_.makeTimer(pollInterval, pollInterval, pollLeeway, [this] { scan(); });
    }
}

FolderWatcher::Listing FolderWatcher::list(
    const fs::path& directory, const std::function<bool(const std::string&)>& needsMarker) {
    Listing listing;
    std::error_code ec;
    fs::directory_iterator it(directory, fs::directory_options::none, ec);
    const auto failed = [&](const std::error_code& code) {
        listing.entries.clear();
        listing.error = Error::posix(code.value(), directory.string());
        return listing;
    };
    if (ec) {
        return failed(ec);
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            return failed(ec);
        }
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        if (name.starts_with('.')) {
            continue;
        }
        std::error_code statusError;
        auto status = entry.status(statusError);
        if (statusError) {
            // A dangling link still counts as an item; a vanished one is skipped.
            status = entry.symlink_status(statusError);
            if (statusError) {
                continue;
            }
        }
        if (fs::is_directory(status)) {
            continue;
        }
        Fingerprint fingerprint;
        if (fs::is_regular_file(status)) {
            std::error_code sizeError;
            const auto size = entry.file_size(sizeError);
            if (!sizeError) {
                fingerprint.size = static_cast<std::int64_t>(size);
            }
        }
        std::error_code timeError;
        const auto written = entry.last_write_time(timeError);
        if (!timeError) {
            const auto system = std::chrono::file_clock::to_sys(written);
            const auto seconds = std::chrono::duration<double>(system.time_since_epoch()).count();
            fingerprint.modified = Date::fromUnix(seconds);
        }
        if (fs::is_regular_file(status) && needsMarker && needsMarker(name)) {
            fingerprint.screenshot = looksLikeImage(entry.path());
        }
        listing.entries.emplace(std::move(name), fingerprint);
    }
    if (ec) {
        return failed(ec);
    }
    return listing;
}

bool FolderWatcher::looksLikeImage(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::array<char, 12> head{};
    in.read(head.data(), head.size());
    const auto count = static_cast<std::size_t>(in.gcount());
    const auto startsWith = [&](std::string_view magic, std::size_t at = 0) {
        return count >= at + magic.size() &&
               std::memcmp(head.data() + at, magic.data(), magic.size()) == 0;
    };
    using namespace std::string_view_literals;
    return startsWith("\x89PNG\r\n\x1a\n"sv) || startsWith("\xFF\xD8\xFF"sv) ||
           (startsWith("RIFF"sv) && startsWith("WEBP"sv, 8));
}

}  // namespace tapwell

#pragma once
// Decides from successive listings of one folder when a new file has finished arriving: it is new
// (absent from the first listing), visible, not a temporary download file, and its fingerprint has
// stayed the same for at least a second. Pure logic over names and fingerprints, owned by one
// folder watcher and used only on its queue; times are uptimes in seconds.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/Clock.h"

namespace tapwell {

struct Fingerprint {
    // The date used when a file's modification date cannot be read (0001-01-01 00:00:00 UTC).
    static constexpr Date distantPast{-63114076800.0};

    std::int64_t size = 0;        // 0 when unreadable
    Date modified = distantPast;  // distantPast when unreadable
    bool screenshot = false;      // the file carries the screenshot marker

    bool operator==(const Fingerprint&) const = default;
};

struct FolderCompletionRules {
    struct Pending {
        Fingerprint fingerprint;  // the fingerprint last seen
        double since = 0.0;       // uptime when that fingerprint was first seen

        bool operator==(const Pending&) const = default;
    };

    // The time a fingerprint must stay unchanged before its file counts as complete.
    static constexpr double stabilitySeconds = 1.0;

    std::set<std::string> known;             // present at the first listing, or already completed
    std::map<std::string, Pending> pending;  // candidates
    bool initialized = false;                // the first listing has been taken

    // `entries` is the whole current listing (files only, keyed by bare name); returns the names
    // completed by this listing, in no particular order.
    std::vector<std::string> scan(const std::map<std::string, Fingerprint>& entries, double now,
                                  bool screenshotsOnly);

    // Names that end in a temporary download extension are never candidates.
    static bool isTemporaryDownloadName(std::string_view name);
    // The text after the last dot of `name`; empty when there is none.
    static std::string_view pathExtension(std::string_view name);
};

}  // namespace tapwell

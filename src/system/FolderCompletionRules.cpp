#include "system/FolderCompletionRules.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tapwell {

namespace {

constexpr std::array<std::string_view, 6> temporaryExtensions = {"download", "crdownload", "part",
                                                                 "partial",  "tmp",        "temp"};

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string_view FolderCompletionRules::pathExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return name.substr(dot + 1);
}

bool FolderCompletionRules::isTemporaryDownloadName(std::string_view name) {
    const auto extension = pathExtension(name);
    return std::any_of(temporaryExtensions.begin(), temporaryExtensions.end(),
                       [&](std::string_view t) { return equalsIgnoringAsciiCase(extension, t); });
}

std::vector<std::string> FolderCompletionRules::scan(
    const std::map<std::string, Fingerprint>& entries, double now, bool screenshotsOnly) {
    std::vector<std::string> completed;
    if (!initialized) {
        known.clear();
        for (const auto& [name, fingerprint] : entries) {
            known.insert(name);
        }
        initialized = true;
        return completed;
    }

    // A name that left the folder is forgotten, so a file re-created under it is judged afresh.
    std::erase_if(known, [&](const std::string& name) { return !entries.contains(name); });
    std::erase_if(pending, [&](const auto& item) { return !entries.contains(item.first); });

    for (const auto& [name, fingerprint] : entries) {
        if (known.contains(name) || name.starts_with('.') || isTemporaryDownloadName(name)) {
            continue;
        }
        const auto found = pending.find(name);
        if (found != pending.end() && found->second.fingerprint == fingerprint) {
            if (now - found->second.since >= stabilitySeconds) {
                known.insert(name);
                pending.erase(found);
                if (!screenshotsOnly || fingerprint.screenshot) {
                    completed.push_back(name);
                }
            }
            continue;
        }
        pending[name] = Pending{fingerprint, now};
    }
    return completed;
}

}  // namespace tapwell

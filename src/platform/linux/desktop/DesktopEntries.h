#pragma once
// The installed applications, read from their desktop entries: $XDG_DATA_HOME/applications, the
// "applications" folder of each $XDG_DATA_DIRS entry, and the Flatpak exports. An entry's id is
// its path below such a folder with "/" turned into "-" and without ".desktop"; the first folder
// that has an id wins, and a Hidden entry there hides the id altogether.
//
// It names the application of a window: the entry whose StartupWMClass is the window's WM_CLASS
// class or instance name, else the entry whose id is one of them (ignoring case), else the class
// itself. Reads the folders again when asked for the list, and when a window's class is unknown
// and the last reading is older than a few seconds. Thread-safe. No Qt.

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopServices.h"

namespace tapwell {

class DesktopEntries final : public ApplicationDirectory {
  public:
    struct Entry {
        std::string id;
        std::map<std::string, std::string> names;  // by locale of the key ("" for plain Name)
        std::string icon;
        std::string startupWMClass;
        bool listed = true;  // not NoDisplay
    };

    explicit DesktopEntries(std::vector<std::filesystem::path> applicationFolders);
    // The folders of the current session.
    static std::vector<std::filesystem::path> defaultFolders();

    std::vector<InstalledApp> list(std::string_view language) override;
    // The application id of a window with this WM_CLASS (instance name, class name).
    std::string applicationID(const std::string& instance, const std::string& className);

    // The keys of the "[Desktop Entry]" group, values unescaped.
    static std::map<std::string, std::string> parseGroup(std::string_view text);
    // An application entry; none for other types and for entries that are Hidden.
    static std::optional<Entry> parse(std::string_view text, std::string id);
    // The entry's name in `language` ("en", "zh-Hans", "ja"), else its plain Name.
    static std::string localizedName(const Entry& entry, std::string_view language);

  private:
    void scan();
    std::optional<std::string> match(const std::string& instance,
                                     const std::string& className) const;

    std::vector<std::filesystem::path> folders_;
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::optional<std::chrono::steady_clock::time_point> scannedAt_;
};

}  // namespace tapwell

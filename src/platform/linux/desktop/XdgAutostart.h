#pragma once
// The login item as an XDG autostart entry: "<config>/autostart/com.tapwell.Tapwell.desktop".
// It is on while the entry that wins (the user's, else one in the system's autostart folders)
// exists and is neither Hidden=true nor X-GNOME-Autostart-enabled=false. Switching it off removes
// the user's entry, or, when a system entry would still start the program, writes one that hides
// it. Approval is never needed. Plain files, no Qt; any thread.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopServices.h"

namespace tapwell {

class XdgAutostart final : public LoginItem {
  public:
    static constexpr std::string_view fileName = "com.tapwell.Tapwell.desktop";

    // `configHome` is $XDG_CONFIG_HOME, `systemConfigFolders` $XDG_CONFIG_DIRS; `program` is what
    // the entry starts.
    XdgAutostart(std::filesystem::path configHome,
                 std::vector<std::filesystem::path> systemConfigFolders,
                 std::filesystem::path program);
    // The user's folders of this session and the installed program, else the running one.
    static XdgAutostart forCurrentUser();

    Status status() const override;
    std::optional<Error> setEnabled(bool enabled) override;

    std::filesystem::path userEntry() const;
    // `program` as an Exec value: quoted where the desktop entry rules want it.
    static std::string execValue(const std::filesystem::path& program);

  private:
    std::filesystem::path configHome_;
    std::vector<std::filesystem::path> systemConfigFolders_;
    std::filesystem::path program_;
};

}  // namespace tapwell

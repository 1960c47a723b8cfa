#pragma once
// The system's compiled time zones: a folder of zone files named by their ids ("Europe/Berlin"),
// $TZDIR when set (as for the C library), else /usr/share/zoneinfo. Maps ids to zones and zone
// files back to ids. Ids come from settings and the environment, so they are checked before they
// become paths. Reads files; holds no state beyond the folder.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/ZoneRules.h"

namespace tapwell {

class TimeZoneDatabase {
  public:
    explicit TimeZoneDatabase(std::filesystem::path folder) : folder_(std::move(folder)) {}
    static TimeZoneDatabase system();

    const std::filesystem::path& folder() const { return folder_; }

    // A relative path of plain names (letters, digits and "_-+."), none of them "." or "..".
    static bool isZoneID(std::string_view id);

    // The zone `id`; no value for something that is no id, a missing file or one that does not
    // parse.
    std::optional<ZoneRules> load(std::string_view id) const;

    // The id that the name `name` ($TZ less its colon) stands for: itself less a leading
    // "posix/" or "right/" (the same zones, without leap seconds or with them). No value unless
    // the folder holds a file of that id.
    std::optional<std::string> idOfName(std::string_view name) const;

    // The id of a zone file by where it lies: the canonical path of `path` (all links followed)
    // below this folder or below any ".../zoneinfo/", taken as a name. No value when the file
    // lies elsewhere or the folder holds no file of that id.
    std::optional<std::string> idOfPath(const std::filesystem::path& path) const;

    // The id of the zone file with exactly these bytes, for a zone file that is a copy rather
    // than a link: the first in name order of the folder's own files (links, the "posix" and
    // "right" copies and the aliases "localtime" and "posixrules" are passed over).
    std::optional<std::string> idOfContents(std::string_view bytes) const;

  private:
    std::filesystem::path folder_;
};

}  // namespace tapwell

#pragma once
// Reads the compiled zone files of the tz database (TZif, versions 1 to 4): the list of offset
// changes and, from version 2 on, the 64-bit data and the footer rule for the years after the
// last listed change. The files come from disk, so every count is checked against the data
// before anything is read, and a file that is not whole and consistent gives no zone.

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/ZoneRules.h"

namespace tapwell {

class TzifReader {
  public:
    // Real zone files are a few kilobytes; anything far larger is not one.
    static constexpr std::size_t maxFileSize = 1 << 20;

    static std::optional<ZoneRules> read(std::string_view bytes);
};

}  // namespace tapwell

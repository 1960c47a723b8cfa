#pragma once
// The offsets of one time zone through time: a list of changes (from a zone file) and, after the
// last of them, a POSIX rule for the years that follow. Answers both ways round: the offset at a
// moment, and the moment of a local wall time, where a wall time skipped by a change moves
// forward to the change and a repeated one gives its first occurrence. A plain immutable value,
// safe to share between threads.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/PosixTimeZoneRule.h"

namespace tapwell {

class ZoneRules {
  public:
    using Span = PosixTimeZoneRule::Span;
    using Transition = PosixTimeZoneRule::Transition;

    // Offsets are seconds east of Greenwich, times seconds since the Unix epoch. `times` must be
    // strictly increasing, with one offset per time (the offset from that time on);
    // `initialOffset` holds before the first. Without times the rule, when given, holds
    // throughout.
    ZoneRules(std::vector<std::int64_t> times, std::vector<std::int32_t> offsets,
              std::int32_t initialOffset, std::optional<PosixTimeZoneRule> rule);
    static ZoneRules fixed(std::int32_t offset);

    // The offset at `utc` and the span of time around it that has the same offset.
    Span spanAt(std::int64_t utc) const;
    std::int32_t offsetAt(std::int64_t utc) const { return spanAt(utc).offset; }

    // The moment whose wall time is `local` (seconds since 1970-01-01 00:00 local time).
    std::int64_t utcOfLocal(std::int64_t local) const;

    // The latest change of offset at or before `utc`, if any.
    std::optional<std::int64_t> lastChangeAtOrBefore(std::int64_t utc) const;

  private:
    // Calls `visit(Transition)` for every change in [from, to], in order.
    template <typename Visit>
    void forEachTransition(std::int64_t from, std::int64_t to, Visit&& visit) const;

    std::vector<std::int64_t> times_;
    std::vector<std::int32_t> offsets_;
    std::int32_t initialOffset_ = 0;
    std::optional<PosixTimeZoneRule> rule_;
    // The least and greatest offsets the zone ever has: a wall time can only belong to moments
    // within that distance of it.
    std::int32_t leastOffset_ = 0;
    std::int32_t greatestOffset_ = 0;
};

}  // namespace tapwell

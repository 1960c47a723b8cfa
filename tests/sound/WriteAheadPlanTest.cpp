#include "sound/WriteAheadPlan.h"

#include <gtest/gtest.h>

#include <optional>

namespace tapwell {
namespace {

// One plan through a run of rewrites: each start is the margin ahead of what plays, but never
// before the server's floor or an earlier start, never past what was written.
TEST(WriteAheadPlan, StartsTheMarginAheadOfWhatPlaysWithinWhatMayBeRewritten) {
    struct Step {
        std::optional<std::uint64_t> playing;
        std::uint64_t serverFloor;
        std::uint64_t written;
        std::uint64_t from;
        std::uint64_t committed;
    };
    const Step steps[] = {
        {std::nullopt, 0, 12000, 12000, 0},  // the server has not said: behind the queue
        {1000, 0, 13000, 1096, 1096},
        {2000, 2500, 14000, 2500, 2500},  // a server that cannot take back frames it holds
        {1500, 0, 14000, 2500, 2500},     // a report older than the last start: not before it
        {std::nullopt, 0, 14100, 14100, 2500},
        {20000, 0, 15000, 15000, 15000},  // what plays ran past what was written
        {14000, 0, 15500, 15000, 15000},  // and the start stays final
        {30000, 31000, 30500, 30500, 30500},
    };
    WriteAheadPlan plan(96);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.written);
        EXPECT_EQ(plan.rewriteFrom(step.playing, step.serverFloor, step.written), step.from);
        EXPECT_EQ(plan.committed(), step.committed);
    }
    plan.restart(500);
    EXPECT_EQ(plan.rewriteFrom(100, 0, 900), 500u);
}

}  // namespace
}  // namespace tapwell

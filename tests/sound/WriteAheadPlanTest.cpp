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
    // A paused server plays nothing until the write is there: no margin.
    EXPECT_EQ(plan.rewriteFrom(700, 600, 900, true), 700u);
    EXPECT_EQ(plan.rewriteFrom(800, 0, 900), 896u);
}

// The quantum follows the greatest common divisor of the recent steps of the read position.
TEST(GraphQuantum, IsLearntFromTheStepsOfTheReadPosition) {
    struct Report {
        std::uint64_t frame;
        std::size_t quantum;
    };
    const Report reports[] = {
        {10000, 1024},                 // nothing to go by: the assumed quantum
        {14864, 1024},                 // one step could be any number of quanta
        {19472, 256},                  // 4864 and 4608
        {19472, 256},                  // a report that did not move
        {20112, 128},                  // 640: never below the smallest
        {100, 1024},                   // went back: a new stream
        {20580, 1024}, {41060, 8192},  // 20480 twice: never above the largest
    };
    GraphQuantum quantum(1024, 128, 8192);
    for (const Report& report : reports) {
        SCOPED_TRACE(report.frame);
        quantum.read(report.frame);
        EXPECT_EQ(quantum.quantum(), report.quantum);
    }

    // A quantum that grows again is seen once the smaller steps have left the recent ones.
    GraphQuantum growing(1024, 16, 8192);
    std::uint64_t frame = 0;
    for (std::uint64_t step : {512, 768, 256}) {
        growing.read(frame += step);
    }
    EXPECT_EQ(growing.quantum(), 256u);
    for (int i = 0; i < 8; ++i) {
        growing.read(frame += (i % 2 == 0 ? 1024 : 2048));
    }
    EXPECT_EQ(growing.quantum(), 1024u);
}

}  // namespace
}  // namespace tapwell

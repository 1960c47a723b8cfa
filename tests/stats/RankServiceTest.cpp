#include "stats/RankService.h"

#include <gtest/gtest.h>

namespace tapwell {
namespace {

TEST(RankService, IndexRisesAtEachThreshold) {
    EXPECT_EQ(RankService::rankIndex(-5), 0);
    EXPECT_EQ(RankService::rankIndex(0), 0);
    const std::int64_t bounds[] = {2000, 8000, 20000, 40000, 80000};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(RankService::rankIndex(bounds[i] - 1), i) << bounds[i];
        EXPECT_EQ(RankService::rankIndex(bounds[i]), i + 1) << bounds[i];
    }
    EXPECT_EQ(RankService::rankIndex(10'000'000), 5);
}

TEST(RankService, RemainingNamesKeystrokesToNextRank) {
    EXPECT_EQ(RankService::remaining(0), 2000);
    EXPECT_EQ(RankService::remaining(1999), 1);
    EXPECT_EQ(RankService::remaining(2000), 6000);
    EXPECT_EQ(RankService::remaining(5000), 3000);
    EXPECT_EQ(RankService::remaining(79999), 1);
    EXPECT_EQ(RankService::remaining(-10), 2010);
    EXPECT_FALSE(RankService::remaining(80000).has_value());
    EXPECT_FALSE(RankService::remaining(123456).has_value());
}

TEST(RankService, ProgressWithinTheRank) {
    EXPECT_EQ(RankService::progress(0), 0.0);
    EXPECT_EQ(RankService::progress(-300), 0.0);
    EXPECT_EQ(RankService::progress(2000), 0.0);
    EXPECT_DOUBLE_EQ(RankService::progress(5000), 0.5);
    EXPECT_DOUBLE_EQ(RankService::progress(79999), 0.999975);
    EXPECT_EQ(RankService::progress(80000), 1.0);
    EXPECT_EQ(RankService::progress(90000), 1.0);
}

}  // namespace
}  // namespace tapwell

#include "core/RetryBackoff.h"

#include <gtest/gtest.h>

#include <vector>

namespace tapwell {
namespace {

TEST(RetryBackoff, DoublesUpToTheCapAndStartsOverAfterASuccess) {
    RetryBackoff backoff(2.0, 60.0);
    std::vector<double> waits;
    for (int i = 0; i < 8; ++i) {
        waits.push_back(backoff.next());
    }
    EXPECT_EQ(waits, (std::vector<double>{2, 4, 8, 16, 32, 60, 60, 60}));
    backoff.reset();
    EXPECT_EQ(backoff.next(), 2.0);

    RetryBackoff capBelowFirst(5.0, 1.0);  // the cap never shortens the first wait
    EXPECT_EQ(capBelowFirst.next(), 5.0);
    EXPECT_EQ(capBelowFirst.next(), 5.0);
}

}  // namespace
}  // namespace tapwell

#pragma once
// Counts read back from files can sit anywhere in their range; arithmetic on them stops at the
// ends of the range instead of wrapping round (which is undefined for signed integers and turns
// the largest count into a negative one).

#include <cstdint>
#include <limits>

namespace tapwell {

constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

constexpr std::int64_t saturatingMul(std::int64_t a, std::int64_t b) {
    std::int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return (a < 0) != (b < 0) ? std::numeric_limits<std::int64_t>::min()
                                  : std::numeric_limits<std::int64_t>::max();
    }
    return product;
}

}  // namespace tapwell

// The text services of a binary that links ICU itself: the tests, the tools and the benchmarks.
// The program loads them from its module instead (app/TextModule.cpp).

#include "text/IcuTextServices.h"

namespace tapwell {

const TextServices* textServices() {
    return &icuTextServices();
}

}  // namespace tapwell

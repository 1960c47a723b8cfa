#include "core/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace tapwell {

void assertionFailed(std::string_view message, const char* file, int line) {
    std::fprintf(stderr, "tapwell: assertion failed at %s:%d: %.*s\n", file, line,
                 static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
    std::abort();
}

}  // namespace tapwell

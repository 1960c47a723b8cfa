#pragma once
// Checks for programming errors that stay on in release builds: a broken invariant ends the
// process with a message instead of corrupting state.

#include <string_view>

namespace tapwell {

[[noreturn]] void assertionFailed(std::string_view message, const char* file, int line);

}  // namespace tapwell

#define TAPWELL_ASSERT(condition, message)                                \
    do {                                                                  \
        if (!(condition)) [[unlikely]] {                                  \
            ::tapwell::assertionFailed((message), __FILE__, __LINE__);    \
        }                                                                 \
    } while (false)

#pragma once
// An error from the OS or a library, carried unchanged: where it came from (domain), its code and
// the library's own description. The program's own errors are typed enumerations instead.

#include <cstdint>
#include <string>
#include <string_view>

namespace tapwell {

struct Error {
    std::string domain;  // "posix", "libsndfile", "icu", ...
    std::int64_t code = 0;
    std::string description;

    // An errno value with its strerror text; `context` (for example a path) is prefixed when given.
    static Error posix(int errnoValue, std::string_view context = {});

    bool operator==(const Error&) const = default;
};

}  // namespace tapwell

#include "core/Error.h"

#include <cstring>

namespace tapwell {

Error Error::posix(int errnoValue, std::string_view context) {
    std::string text = std::strerror(errnoValue);
    if (!context.empty()) {
        text = std::string(context) + ": " + text;
    }
    return Error{"posix", errnoValue, std::move(text)};
}

}  // namespace tapwell

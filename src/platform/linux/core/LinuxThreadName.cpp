#include <pthread.h>

#include <string>

#include "core/ThreadName.h"

namespace tapwell {

void setCurrentThreadName(std::string_view label) {
    constexpr std::string_view prefix = "com.";
    if (label.size() > 15 && label.substr(0, prefix.size()) == prefix) {
        label.remove_prefix(prefix.size());
    }
    const std::string name(label.substr(0, 15));
    pthread_setname_np(pthread_self(), name.c_str());
}

}  // namespace tapwell

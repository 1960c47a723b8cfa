#pragma once

#include <string_view>

namespace tapwell {

// Names the calling thread (visible in top -H and gdb). Linux keeps 15 characters, so a
// "com.tapwell." prefix is dropped first and the rest is cut to fit.
void setCurrentThreadName(std::string_view label);

}  // namespace tapwell

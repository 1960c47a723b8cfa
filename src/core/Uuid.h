#pragma once

#include <string>

namespace tapwell {

// A fresh random (version 4) UUID in upper case, "8-4-4-4-12" hexadecimal digits.
std::string makeUuid();

}  // namespace tapwell

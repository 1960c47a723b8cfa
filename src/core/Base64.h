#pragma once
// Standard base64 (RFC 4648, with padding).

#include <optional>
#include <string>
#include <string_view>

#include "core/UserDefaults.h"

namespace tapwell {

std::string base64Encode(const Bytes& bytes);
// No value for text that is not canonical base64 (white space is not accepted).
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace tapwell

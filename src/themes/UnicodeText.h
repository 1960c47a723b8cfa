#pragma once
// The few Unicode rules the theme code needs. Inputs are UTF-8; each maximal subpart of an
// ill-formed sequence counts as one U+FFFD. Plain ASCII is handled here; the rest goes to the text
// services (text/TextServices.h), and without them characters are counted as code points and
// names ordered by their bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace tapwell {

// Number of user-perceived characters (extended grapheme clusters).
std::size_t graphemeCount(std::string_view text);

// `text` without its first user-perceived character.
std::string_view dropFirstGrapheme(std::string_view text);

// Orders two names by the Unicode code points of their NFC forms; names whose NFC forms are equal
// are ordered by their bytes so that the order stays total. Negative, zero or positive.
int compareCanonically(std::string_view a, std::string_view b);

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string toValidUtf8(std::string_view text);

}  // namespace tapwell

#include "themes/UnicodeText.h"

#include <algorithm>

#include "text/TextServices.h"

namespace tapwell {
namespace {

bool isPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or, when it starts
// ill-formed, the negated length of its maximal subpart (the longest start of a well-formed
// sequence; at least one byte), which counts as a single U+FFFD.
std::ptrdiff_t leadingSequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    // The range of the second byte depends on the lead: no overlong forms, no surrogates, nothing
    // above U+10FFFF. Later bytes are plain continuation bytes.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size() || byte(i) < low || byte(i) > high) {
            return -static_cast<std::ptrdiff_t>(i);
        }
        low = 0x80;
        high = 0xBF;
    }
    return static_cast<std::ptrdiff_t>(length);
}

// Calls `visit(sequence, wellFormed)` for each code point of `text` in turn, ill-formed
// sequences being their maximal subparts.
template <typename Visit>
void forEachSequence(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::ptrdiff_t length = leadingSequence(text);
        const auto size = static_cast<std::size_t>(length < 0 ? -length : length);
        visit(text.substr(0, size), length > 0);
        text.remove_prefix(size);
    }
}

bool isWellFormed(std::string_view text) {
    bool wellFormed = true;
    forEachSequence(text, [&](std::string_view, bool ok) { wellFormed = wellFormed && ok; });
    return wellFormed;
}

}  // namespace

std::size_t graphemeCount(std::string_view text) {
    // Plain ASCII has one character per byte, except that CR LF forms a single character.
    if (isPlainAscii(text) && text.find('\r') == std::string_view::npos) {
        return text.size();
    }
    if (const TextServices* services = textServices()) {
        if (auto count = services->graphemeCount(text)) {
            return *count;
        }
    }
    std::size_t count = 0;
    forEachSequence(text, [&](std::string_view, bool) { ++count; });
    return count;
}

std::string_view dropFirstGrapheme(std::string_view text) {
    if (text.empty()) {
        return text;
    }
    if (isPlainAscii(text) && !text.starts_with("\r\n")) {
        return text.substr(1);
    }
    const TextServices* services = textServices();
    if (const auto end = services ? services->firstGraphemeEnd(text) : std::nullopt;
        end && *end > 0 && *end <= text.size()) {
        return text.substr(*end);
    }
    const std::ptrdiff_t first = leadingSequence(text);
    return text.substr(static_cast<std::size_t>(first < 0 ? -first : first));
}

int compareCanonically(std::string_view a, std::string_view b) {
    if (!(isPlainAscii(a) && isPlainAscii(b))) {
        if (const TextServices* services = textServices()) {
            if (auto order = services->compareNormalized(a, b); order && *order != 0) {
                return *order < 0 ? -1 : 1;
            }
        }
    }
    // UTF-8 byte order is code point order, and it breaks ties between equivalent spellings.
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::string toValidUtf8(std::string_view text) {
    if (isWellFormed(text)) {
        return std::string(text);
    }
    std::string result;
    result.reserve(text.size() + 8);
    forEachSequence(text, [&](std::string_view sequence, bool wellFormed) {
        result += wellFormed ? sequence : std::string_view("\xEF\xBF\xBD");
    });
    return result;
}

}  // namespace tapwell

#include "themes/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>

namespace tapwell {
namespace {

bool isPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Offsets of grapheme boundaries are reported through `visit(offset)`; returns false when ICU
// could not segment the text.
template <typename Visit>
bool forEachGraphemeBoundary(std::string_view text, Visit visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !iterator) {
        return false;
    }
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        return false;
    }
    iterator->setText(utext, status);
    bool ok = U_SUCCESS(status);
    if (ok) {
        iterator->first();
        for (int32_t offset = iterator->next(); offset != icu::BreakIterator::DONE;
             offset = iterator->next()) {
            if (!visit(static_cast<std::size_t>(offset))) {
                break;
            }
        }
    }
    iterator.reset();
    utext_close(utext);
    return ok;
}

std::size_t codePointCount(std::string_view text) {
    return static_cast<std::size_t>(
        icu::UnicodeString::fromUTF8(
            icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
            .countChar32());
}

}  // namespace

std::size_t graphemeCount(std::string_view text) {
    // Plain ASCII has one character per byte, except that CR LF forms a single character.
    if (isPlainAscii(text) && text.find('\r') == std::string_view::npos) {
        return text.size();
    }
    std::size_t count = 0;
    if (!forEachGraphemeBoundary(text, [&](std::size_t) {
            ++count;
            return true;
        })) {
        return codePointCount(text);
    }
    return count;
}

std::string_view dropFirstGrapheme(std::string_view text) {
    if (text.empty()) {
        return text;
    }
    if (isPlainAscii(text) && !text.starts_with("\r\n")) {
        return text.substr(1);
    }
    std::size_t first = 0;
    if (!forEachGraphemeBoundary(text,
                                 [&](std::size_t offset) {
                                     first = offset;
                                     return false;
                                 }) ||
        first == 0 || first > text.size()) {
        return text.substr(1);
    }
    return text.substr(first);
}

int compareCanonically(std::string_view a, std::string_view b) {
    if (!(isPlainAscii(a) && isPlainAscii(b))) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
        if (U_SUCCESS(status) && nfc) {
            icu::UnicodeString left = nfc->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                         a.data(), static_cast<int32_t>(a.size()))),
                                                     status);
            icu::UnicodeString right =
                nfc->normalize(icu::UnicodeString::fromUTF8(
                                   icu::StringPiece(b.data(), static_cast<int32_t>(b.size()))),
                               status);
            if (U_SUCCESS(status)) {
                // UTF-16 code unit order differs from code point order above U+FFFF.
                int8_t order = left.compareCodePointOrder(right);
                if (order != 0) {
                    return order;
                }
            }
        }
    }
    // UTF-8 byte order is code point order, and it breaks ties between equivalent spellings.
    int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::string toValidUtf8(std::string_view text) {
    if (isPlainAscii(text)) {
        return std::string(text);
    }
    std::string result;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
        .toUTF8String(result);
    return result;
}

}  // namespace tapwell

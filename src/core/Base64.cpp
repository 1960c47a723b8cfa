#include "core/Base64.h"

#include <array>

namespace tapwell {

namespace {
constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeReverse() {
    std::array<int, 256> table{};
    for (int& v : table) {
        v = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return table;
}
constexpr auto reverse = makeReverse();
}  // namespace

std::string base64Encode(const Bytes& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(alphabet[(v >> 6) & 63]);
        out.push_back(alphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        unsigned v = bytes[i] << 16;
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out += "==";
    } else if (rest == 2) {
        unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out.push_back(alphabet[(v >> 6) & 63]);
        out.push_back('=');
    }
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    Bytes out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text[i + static_cast<std::size_t>(j)];
            if (c == '=' && last && j >= 2) {
                v[j] = 0;
                ++padding;
                continue;
            }
            if (padding > 0) {
                return std::nullopt;  // data after padding
            }
            v[j] = reverse[static_cast<unsigned char>(c)];
            if (v[j] < 0) {
                return std::nullopt;
            }
        }
        const unsigned word = (static_cast<unsigned>(v[0]) << 18) |
                              (static_cast<unsigned>(v[1]) << 12) |
                              (static_cast<unsigned>(v[2]) << 6) | static_cast<unsigned>(v[3]);
        // Canonical form: the bits that padding hides must be zero.
        if ((padding == 1 && (word & 0xFF) != 0) || (padding == 2 && (word & 0xFFFF) != 0)) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(word >> 16));
        if (padding < 2) {
            out.push_back(static_cast<std::uint8_t>(word >> 8));
        }
        if (padding < 1) {
            out.push_back(static_cast<std::uint8_t>(word));
        }
    }
    return out;
}

}  // namespace tapwell

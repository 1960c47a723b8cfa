#include "themeimport/PackKeyCodes.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tapwell {
namespace {

// One code and what it stands for.
struct Row {
    std::int64_t from;
    std::int64_t to;
};

// Pack codes to Linux codes. Codes 1 to 83, 87 and 88 are the Linux codes of the same number;
// these are the rest.
constexpr std::array<Row, 23> otherKeys{{
    {91, 183},     // F13
    {92, 184},     // F14
    {93, 185},     // F15
    {3597, 117},   // keypad equal
    {3612, 96},    // keypad Enter
    {3613, 97},    // right Control
    {3637, 98},    // keypad slash
    {3639, 99},    // Print
    {3640, 100},   // right Alt
    {3653, 119},   // Pause
    {3655, 102},   // Home
    {3657, 104},   // Page Up
    {3663, 107},   // End
    {3665, 109},   // Page Down
    {3666, 110},   // Insert
    {3667, 111},   // Delete
    {3675, 125},   // left Meta
    {3676, 126},   // right Meta
    {3677, 127},   // Menu
    {57416, 103},  // Up
    {57419, 105},  // Left
    {57421, 106},  // Right
    {57424, 108},  // Down
}};

// Second codes of the navigation keys to the standard pack code of the same key.
constexpr std::array<Row, 10> aliases{{
    {60999, 3655},   // Home
    {61000, 57416},  // Up
    {61001, 3657},   // Page Up
    {61003, 57419},  // Left
    {61005, 57421},  // Right
    {61007, 3663},   // End
    {61008, 57424},  // Down
    {61009, 3665},   // Page Down
    {61010, 3666},   // Insert
    {61011, 3667},   // Delete
}};

std::optional<std::int64_t> standardLinuxCode(std::int64_t packCode) {
    if ((packCode >= 1 && packCode <= 83) || packCode == 87 || packCode == 88) {
        return packCode;
    }
    for (const Row& row : otherKeys) {
        if (row.from == packCode) {
            return row.to;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<PackKeyCode> mapPackKeyCode(std::int64_t packCode) {
    if (auto code = standardLinuxCode(packCode)) {
        return PackKeyCode{*code, false, packCode};
    }
    for (const Row& alias : aliases) {
        if (alias.from == packCode) {
            return PackKeyCode{*standardLinuxCode(alias.to), true, alias.to};
        }
    }
    return std::nullopt;
}

std::span<const std::int64_t> standardPackKeyCodes() {
    static const std::vector<std::int64_t> codes = [] {
        std::vector<std::int64_t> all;
        for (std::int64_t code = 1; code <= 83; ++code) {
            all.push_back(code);
        }
        all.push_back(87);
        all.push_back(88);
        for (const Row& row : otherKeys) {
            all.push_back(row.from);
        }
        std::sort(all.begin(), all.end());
        return all;
    }();
    return codes;
}

}  // namespace tapwell

#pragma once
// Positional format strings of the string tables, so that translators can reorder arguments:
//
//   "{1}"  .. "{n}"  the first .. n-th argument (numbered from 1, in the order the caller passes)
//   "{{"  and  "}}"  a literal "{" or "}"
//
// An argument may appear any number of times, in any order. Example: the English
// "{1} keystrokes today. Next up: {2}." and the Japanese "次は「{2}」。今日は{1}回タイプしました。"
// take the same two arguments (a count, then a rank name).
//
// Filling is lenient, because a slip in one translation must not break the program: a brace that
// does not form one of the forms above, and a placeholder whose argument was not passed, are
// copied as they stand. `placeholderIndices` is the strict check used on the tables themselves.

#include <expected>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace tapwell {

// `pattern` with every placeholder replaced by its argument and every escaped brace unescaped.
std::string fillPlaceholders(std::string_view pattern, std::span<const std::string> arguments);

// The argument numbers that `pattern` uses, or a message saying what is wrong with it (a lone
// "{" or "}", an empty or non-numeric placeholder, the number 0, an unterminated placeholder).
std::expected<std::set<int>, std::string> placeholderIndices(std::string_view pattern);

}  // namespace tapwell

#include "presentation/FormatString.h"

#include <cstddef>
#include <optional>

namespace tapwell {

namespace {

// Longest argument number accepted; keeps the conversion far from overflow.
constexpr std::size_t maxIndexDigits = 6;

struct Token {
    enum class Kind { literal, placeholder, invalid } kind;
    std::string_view text;  // literal text, or the offending text for `invalid`
    int index = 0;          // for `placeholder`
    std::size_t offset = 0;
    std::string_view problem;
};

// Reads the placeholder that starts with the "{" at `start` (not an escaped "{{").
Token readPlaceholder(std::string_view pattern, std::size_t start) {
    const std::size_t close = pattern.find('}', start + 1);
    if (close == std::string_view::npos) {
        return {Token::Kind::invalid, pattern.substr(start, 1), 0, start,
                "unterminated placeholder"};
    }
    const std::string_view inner = pattern.substr(start + 1, close - start - 1);
    const std::string_view whole = pattern.substr(start, close - start + 1);
    if (inner.empty()) {
        return {Token::Kind::invalid, pattern.substr(start, 1), 0, start, "empty placeholder"};
    }
    if (inner.size() > maxIndexDigits) {
        return {Token::Kind::invalid, pattern.substr(start, 1), 0, start,
                "placeholder is not a small argument number"};
    }
    int index = 0;
    for (const char c : inner) {
        if (c < '0' || c > '9') {
            return {Token::Kind::invalid, pattern.substr(start, 1), 0, start,
                    "placeholder is not an argument number"};
        }
        index = index * 10 + (c - '0');
    }
    if (index == 0) {
        return {Token::Kind::invalid, pattern.substr(start, 1), 0, start,
                "argument numbers start at 1"};
    }
    return {Token::Kind::placeholder, whole, index, start, {}};
}

// Calls `sink` with each token of `pattern` in order. An invalid token covers only the one brace
// that went wrong, so that scanning resumes right after it.
template <class Sink>
void scan(std::string_view pattern, Sink&& sink) {
    std::size_t literalStart = 0;
    std::size_t i = 0;
    auto flushLiteral = [&](std::size_t end) {
        if (end > literalStart) {
            sink(Token{Token::Kind::literal,
                       pattern.substr(literalStart, end - literalStart),
                       0,
                       literalStart,
                       {}});
        }
    };
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c != '{' && c != '}') {
            ++i;
            continue;
        }
        flushLiteral(i);
        const bool doubled = i + 1 < pattern.size() && pattern[i + 1] == c;
        if (doubled) {
            sink(Token{Token::Kind::literal, pattern.substr(i, 1), 0, i, {}});
            i += 2;
        } else if (c == '}') {
            sink(Token{Token::Kind::invalid, pattern.substr(i, 1), 0, i,
                       "lone \"}\" (write \"}}\" for a literal brace)"});
            i += 1;
        } else {
            const Token token = readPlaceholder(pattern, i);
            sink(token);
            i += token.kind == Token::Kind::placeholder ? token.text.size() : 1;
        }
        literalStart = i;
    }
    flushLiteral(pattern.size());
}

}  // namespace

std::string fillPlaceholders(std::string_view pattern, std::span<const std::string> arguments) {
    std::string result;
    result.reserve(pattern.size() + 16);
    scan(pattern, [&](const Token& token) {
        if (token.kind == Token::Kind::placeholder &&
            static_cast<std::size_t>(token.index) <= arguments.size()) {
            result += arguments[static_cast<std::size_t>(token.index) - 1];
        } else {
            result += token.text;
        }
    });
    return result;
}

std::expected<std::set<int>, std::string> placeholderIndices(std::string_view pattern) {
    std::set<int> indices;
    std::optional<std::string> problem;
    scan(pattern, [&](const Token& token) {
        if (problem) {
            return;
        }
        if (token.kind == Token::Kind::placeholder) {
            indices.insert(token.index);
        } else if (token.kind == Token::Kind::invalid) {
            problem = std::string(token.problem) + " at byte " + std::to_string(token.offset);
        }
    });
    if (problem) {
        return std::unexpected(*problem);
    }
    return indices;
}

}  // namespace tapwell

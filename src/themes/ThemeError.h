#pragma once
// The program's own errors of theme loading. They carry no message text; `text()` is the short
// technical form shown as a failed catalogue entry's failure text.

#include <string>
#include <string_view>
#include <variant>

#include "core/Error.h"

namespace tapwell {

struct ThemeError {
    enum class Kind {
        invalidFile,              // a referenced file name is empty, ".", "..", or holds "/" or "\"
        missingFile,              // absent, unreadable, not a regular file, or a symbolic link
        invalidManifest,          // decodes but breaks a content rule
        defaultThemeUnavailable,  // no usable theme, or no resource folder
    };

    Kind kind = Kind::invalidManifest;
    std::string fileName;  // payload of invalidFile and missingFile; empty otherwise

    static ThemeError invalidFile(std::string name) { return {Kind::invalidFile, std::move(name)}; }
    static ThemeError missingFile(std::string name) { return {Kind::missingFile, std::move(name)}; }
    static ThemeError invalidManifest() { return {Kind::invalidManifest, {}}; }
    static ThemeError defaultThemeUnavailable() { return {Kind::defaultThemeUnavailable, {}}; }

    // "invalidManifest", "defaultThemeUnavailable", or for the file cases the case name followed
    // by the file name in double quotes inside parentheses: missingFile("a.wav").
    std::string text() const;

    bool operator==(const ThemeError&) const = default;
};

const char* toString(ThemeError::Kind kind);

// Why loading a theme folder failed: the file system's read error or the decoder's error (both
// as an `Error`, unchanged), or a `ThemeError`.
using ThemeLoadError = std::variant<Error, ThemeError>;

// The text of a load error: a ThemeError's `text()`, else the error's own description.
std::string describe(const ThemeLoadError& error);

}  // namespace tapwell

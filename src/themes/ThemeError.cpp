#include "themes/ThemeError.h"

namespace tapwell {

const char* toString(ThemeError::Kind kind) {
    switch (kind) {
        case ThemeError::Kind::invalidFile:
            return "invalidFile";
        case ThemeError::Kind::missingFile:
            return "missingFile";
        case ThemeError::Kind::invalidManifest:
            return "invalidManifest";
        case ThemeError::Kind::defaultThemeUnavailable:
            return "defaultThemeUnavailable";
    }
    return "invalidManifest";
}

std::string ThemeError::text() const {
    std::string text = toString(kind);
    if (kind == Kind::invalidFile || kind == Kind::missingFile) {
        text += "(\"" + fileName + "\")";
    }
    return text;
}

std::string describe(const ThemeLoadError& error) {
    if (const auto* themeError = std::get_if<ThemeError>(&error)) {
        return themeError->text();
    }
    return std::get<Error>(error).description;
}

}  // namespace tapwell

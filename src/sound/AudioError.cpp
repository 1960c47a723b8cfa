#include "sound/AudioError.h"

namespace tapwell {

const char* toString(AudioError error) {
    switch (error) {
        case AudioError::invalidFormat:
            return "invalidFormat";
        case AudioError::invalidFile:
            return "invalidFile";
        case AudioError::conversionFailed:
            return "conversionFailed";
    }
    return "invalidFormat";
}

std::string describe(const AudioLoadError& error) {
    if (const auto* audio = std::get_if<AudioError>(&error)) {
        return toString(*audio);
    }
    return std::get<Error>(error).description;
}

std::string describe(const SoundEngineError& error) {
    if (const auto* audio = std::get_if<AudioError>(&error)) {
        return toString(*audio);
    }
    if (const auto* theme = std::get_if<ThemeError>(&error)) {
        return theme->text();
    }
    return std::get<Error>(error).description;
}

}  // namespace tapwell

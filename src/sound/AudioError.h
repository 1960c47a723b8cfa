#pragma once
// The program's own errors of audio preparation and output routing. They carry no payload and no
// message text; library and OS errors travel as `Error` values instead.

#include <string>
#include <variant>

#include "core/Error.h"
#include "themes/ThemeError.h"

namespace tapwell {

enum class AudioError { invalidFormat, invalidFile, conversionFailed };

const char* toString(AudioError error);  // the case name

// Why decoding a file or preparing a theme failed: the decoder's or converter's own error,
// unchanged, or an `AudioError`.
using AudioLoadError = std::variant<Error, AudioError>;

// Why the sound engine could not be created or an operation of it failed.
using SoundEngineError = std::variant<Error, AudioError, ThemeError>;

// A text for logs and for the user: the case name of the program's own errors, else the library's
// description.
std::string describe(const AudioLoadError& error);
std::string describe(const SoundEngineError& error);

}  // namespace tapwell

#pragma once
// What the sound needs before the first key can play: the theme catalogue, and the engine with the
// selected theme's key sounds decoded and the output running. It depends on nothing else the
// application builds, so the program makes it on a thread of its own while the rest starts
// (the Qt application, the desktop session, the services), and the state adopts it when it gets
// to its sound.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sound/SoundEngine.h"
#include "themes/ThemeManager.h"

namespace tapwell {

struct SoundStart {
    struct Request {
        std::optional<std::filesystem::path> resourceFolder;  // none: no built-in themes
        std::filesystem::path userThemes;
        SoundEngineFactory makeSoundEngine;  // none: no output
        std::optional<std::string> themeID;  // the stored selection
    };

    // Every theme found, sorted for display; empty when the catalogue could not be made.
    std::vector<ThemeEntry> themes;
    // The catalogue's remarks on themes it skipped, for the log.
    std::vector<std::string> notes;
    // None when there is no sound; `problem` then says why.
    std::unique_ptr<SoundEngine> engine;
    std::optional<std::string> problem;

    // Any thread. The sound files' headers are left for later (SampleHeaders::later).
    static SoundStart prepare(const Request& request);
};

}  // namespace tapwell

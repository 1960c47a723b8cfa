#include "app/SoundStart.h"

namespace tapwell {

SoundStart SoundStart::prepare(const Request& request) {
    SoundStart start;
    if (!request.resourceFolder) {
        start.problem = "no resource folder was found (set TAPWELL_RESOURCE_DIR)";
        return start;
    }
    auto catalogue = ThemeManager::create(*request.resourceFolder, request.userThemes,
                                          isReadableFile, SampleHeaders::later);
    if (!catalogue) {
        start.problem = catalogue.error().description;
        return start;
    }
    start.notes = std::move(catalogue->notes);
    start.themes = std::move(catalogue->entries);
    sortForDisplay(start.themes);
    if (!request.makeSoundEngine) {
        start.problem = "no audio output";
        return start;
    }
    std::vector<LoadedTheme> loaded;
    for (const ThemeEntry& entry : start.themes) {
        if (entry.loaded) {
            loaded.push_back(*entry.loaded);
        }
    }
    auto engine = request.makeSoundEngine(loaded, request.themeID);
    if (!engine) {
        start.problem = engine.error();
        return start;
    }
    start.engine = std::move(*engine);
    return start;
}

}  // namespace tapwell

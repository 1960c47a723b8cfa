#pragma once
// Finds the resource folder: the built-in theme folders and the language folders ("en.lproj",
// ...) sit directly inside it. Looked up once at start-up and by command-line tools.

#include <filesystem>
#include <optional>
#include <string>

namespace tapwell {

struct ResourceLocator {
    // What the lookup consults, in order of preference.
    struct Candidates {
        std::optional<std::string> environment;           // $TAPWELL_RESOURCE_DIR
        std::optional<std::filesystem::path> executable;  // the running program's file
        std::optional<std::filesystem::path> buildTree;   // the build tree's resource folder
        // The build tree itself. When given, its resource folder serves only programs inside it,
        // so an installed copy never reads a build folder that happens to exist on the machine.
        std::optional<std::filesystem::path> buildRoot = std::nullopt;
    };

    // An explicitly set, non-empty environment value wins even when the folder is missing, so a
    // mistyped override is reported rather than silently replaced. Otherwise the first existing
    // folder of "<executable folder>/../share/tapwell" (so an installed prefix works wherever it
    // is moved) and the build tree's folder; none when neither exists.
    static std::optional<std::filesystem::path> locate(const Candidates& candidates);

    // The candidates of this process (environment, /proc/self/exe, the build configuration).
    static Candidates processCandidates();

    // locate(processCandidates()).
    static std::optional<std::filesystem::path> find();
};

}  // namespace tapwell

#pragma once
// The built-in themes: for each theme folder, the list of audio files and how each is made.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Dsp.h"

namespace tapwell::themegen {

enum class FileRole { keyDown, keyUp, space, enter, backspace, alert, ambience };

struct FileRecipe {
    std::string name;
    FileRole role;
    std::function<Buffer(Rng&)> render;
};

struct ThemeRecipe {
    std::string folder;
    std::uint64_t seed;
    std::vector<FileRecipe> files;
};

const std::vector<ThemeRecipe>& builtInThemes();

// Renders one file with its own seed (derived from the theme's seed and the file name), so a
// file's sound does not depend on which other files exist or in which order they are made.
Buffer renderFile(const ThemeRecipe& theme, const FileRecipe& file);

// Makes `outDir/<folder>`: copies `<manifestDir>/<folder>/theme.json` and writes every audio
// file. Fails with a text when the manifest is missing, names a file the recipe does not make,
// or a file cannot be written.
std::expected<void, std::string> generateTheme(const ThemeRecipe& theme,
                                               const std::filesystem::path& manifestDir,
                                               const std::filesystem::path& outDir);

}  // namespace tapwell::themegen

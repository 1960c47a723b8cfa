#pragma once
// `themegen --check`: audits theme folders against the rules every built-in theme keeps — the
// manifest as the program decodes and validates it, complete texts in the three languages, readable
// colours, the audio levels and lengths, seamless ambience, and matched typing loudness across
// themes.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "themes/Theme.h"

namespace tapwell::themegen {

inline constexpr double kKeyMinMs = 40.0;
inline constexpr double kKeyMaxMs = 250.0;
inline constexpr double kKeyPeakMinDb = -6.0;
inline constexpr double kKeyPeakMaxDb = -1.0;
inline constexpr double kAlertMaxS = 2.0;
inline constexpr double kAmbienceMinS = 20.0;
inline constexpr double kMaxPeakDb = -0.5;       // any file: headroom, so nothing clips
inline constexpr double kEdgeLimit = 1e-4;       // first and last frame: -80 dBFS at most
inline constexpr double kMinTextContrast = 4.5;  // recap text and accent content
inline constexpr double kMinSecondaryContrast = 3.0;
inline constexpr double kMaxLoudnessSpreadDb = 2.0;
inline constexpr int kMinKeyDownVariants = 8;
inline constexpr int kMinKeyUpVariants = 4;

const std::vector<std::string>& languages();

struct FileReport {
    std::string name;
    std::string role;  // "keyDown", "keyUp", "space", "return", "backspace", "alert", "ambience"
    double seconds = 0;
    double peakDb = 0;
    double rmsDb = 0;
    std::vector<std::string> problems;
};

struct ThemeReport {
    std::string folder;
    bool isDefault = false;
    std::vector<std::string> problems;  // manifest and theme-wide problems
    std::vector<FileReport> files;
    std::optional<double> typingLufs;  // passage loudness before the theme's typing gain
    std::optional<double> typingGainDb;
    std::optional<double> alertLufs;  // the alerts heard in a row, before the alert gain
    std::optional<double> alertGainDb;
    bool ok() const;
};

struct CheckReport {
    std::vector<ThemeReport> themes;
    std::vector<std::string> problems;  // problems across themes
    bool ok() const;
};

// WCAG contrast ratio of two "#RRGGBB" colours (1 to 21); no value for a malformed colour.
std::optional<double> contrastRatio(const std::string& a, const std::string& b);

// Problems of a decoded manifest: the program's own validation, then what a shipped theme needs
// beyond it (complete texts in every language, every alert, distinct samples, readable colours).
std::vector<std::string> checkManifest(const Theme& manifest, const std::string& folder);

// Problems at the loop point of an ambience loop: a step across it, or a change of level or
// brightness between its last and first quarter second larger than anywhere inside the loop.
std::vector<std::string> seamProblems(const std::vector<float>& loop);

// One theme folder (holding theme.json).
ThemeReport checkTheme(const std::filesystem::path& folder);

// `dir` is either one theme folder or a folder of theme folders (children holding theme.json).
CheckReport checkThemes(const std::filesystem::path& dir);

void printReport(const CheckReport& report, std::ostream& out);

}  // namespace tapwell::themegen

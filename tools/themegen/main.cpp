// themegen: synthesises the audio of Tapwell's built-in themes and audits theme folders.
//
//   themegen --out DIR --manifests DIR [--only FOLDER]   generate the theme folders into DIR
//   themegen --check DIR                                  audit DIR (one theme or a folder of them)
//   themegen --loudness DIR                               suggest mix gains for the themes in DIR

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "ThemeCheck.h"
#include "Themes.h"

namespace tg = tapwell::themegen;

namespace {

int usage(std::ostream& out, int status) {
    out << "usage: themegen --out DIR --manifests DIR [--only FOLDER]\n"
           "       themegen --check DIR\n"
           "       themegen --loudness DIR\n";
    return status;
}

int generateAll(const std::filesystem::path& out, const std::filesystem::path& manifests,
                const std::string& only) {
    // A checked-in manifest without a recipe would ship a theme with no audio.
    std::error_code ec;
    for (const auto& child : std::filesystem::directory_iterator(manifests, ec)) {
        const std::string folder = child.path().filename().string();
        const bool known =
            std::any_of(tg::builtInThemes().begin(), tg::builtInThemes().end(),
                        [&](const tg::ThemeRecipe& t) { return t.folder == folder; });
        if (!known && std::filesystem::exists(child.path() / "theme.json")) {
            std::cerr << "themegen: " << folder << " has a manifest but no recipe\n";
            return 1;
        }
    }
    if (ec) {
        std::cerr << "themegen: " << manifests.string() << ": " << ec.message() << "\n";
        return 1;
    }
    bool found = only.empty();
    for (const tg::ThemeRecipe& theme : tg::builtInThemes()) {
        if (!only.empty() && theme.folder != only) {
            continue;
        }
        found = true;
        if (auto made = tg::generateTheme(theme, manifests, out); !made) {
            std::cerr << "themegen: " << made.error() << "\n";
            return 1;
        }
    }
    if (!found) {
        std::cerr << "themegen: no built-in theme is called \"" << only << "\"\n";
        return 2;
    }
    return 0;
}

// Prints, for each theme, the gains that put its typing passage and its alerts at the level of
// the quietest theme, rounded to a tenth of a decibel.
int loudness(const std::filesystem::path& dir) {
    const tg::CheckReport report = tg::checkThemes(dir);
    double typingTarget = std::numeric_limits<double>::infinity();
    double alertTarget = std::numeric_limits<double>::infinity();
    for (const tg::ThemeReport& t : report.themes) {
        if (!t.typingLufs || !t.alertLufs) {
            std::cerr << "themegen: " << t.folder << " is incomplete; run --check for details\n";
            return 1;
        }
        typingTarget = std::min(typingTarget, *t.typingLufs);
        alertTarget = std::min(alertTarget, *t.alertLufs);
    }
    for (const tg::ThemeReport& t : report.themes) {
        std::printf(
            "%-12s typing %.2f LUFS -> typingGainDb %.1f   alerts %.2f LUFS -> "
            "alertGainDb %.1f\n",
            t.folder.c_str(), *t.typingLufs,
            std::round((typingTarget - *t.typingLufs) * 10.0) / 10.0, *t.alertLufs,
            std::round((alertTarget - *t.alertLufs) * 10.0) / 10.0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, manifests, only, check, measure;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            return usage(std::cout, 0);
        }
        if (i + 1 >= args.size()) {
            return usage(std::cerr, 2);
        }
        const std::string& value = args[++i];
        if (a == "--out") {
            out = value;
        } else if (a == "--manifests") {
            manifests = value;
        } else if (a == "--only") {
            only = value;
        } else if (a == "--check") {
            check = value;
        } else if (a == "--loudness") {
            measure = value;
        } else {
            return usage(std::cerr, 2);
        }
    }
    if (!check.empty()) {
        const tg::CheckReport report = tg::checkThemes(check);
        tg::printReport(report, std::cout);
        return report.ok() ? 0 : 1;
    }
    if (!measure.empty()) {
        return loudness(measure);
    }
    if (!out.empty() && !manifests.empty()) {
        return generateAll(out, manifests, only);
    }
    return usage(std::cerr, 2);
}

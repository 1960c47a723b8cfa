#include "ThemeCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "Instruments.h"
#include "Loudness.h"
#include "PassagePlayback.h"
#include "WavIo.h"
#include "sound/PreparedTheme.h"
#include "themes/ThemeManager.h"

namespace tapwell::themegen {

namespace fs = std::filesystem;

const std::vector<std::string>& languages() {
    static const std::vector<std::string> codes = {"en", "zh-Hans", "ja"};
    return codes;
}

bool ThemeReport::ok() const {
    if (!problems.empty()) {
        return false;
    }
    return std::all_of(files.begin(), files.end(),
                       [](const FileReport& f) { return f.problems.empty(); });
}

bool CheckReport::ok() const {
    return problems.empty() &&
           std::all_of(themes.begin(), themes.end(), [](const ThemeReport& t) { return t.ok(); });
}

namespace {

std::string format(const char* fmt, double value) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, value);
    return text;
}

// --- Colours ------------------------------------------------------------------------------------

std::optional<unsigned> parseColour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = 1; i < 7; ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

double relativeLuminance(unsigned rgb) {
    auto channel = [](unsigned v) {
        const double c = static_cast<double>(v & 0xFFu) / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(rgb >> 16) + 0.7152 * channel(rgb >> 8) + 0.0722 * channel(rgb);
}

std::string entry(const std::map<std::string, std::string>& map, const std::string& language) {
    const auto it = map.find(language);
    return it == map.end() ? std::string() : it->second;
}

bool badFileName(const std::string& name) {
    return name.empty() || name == "." || name == ".." ||
           name.find_first_of("/\\") != std::string::npos;
}

}  // namespace

std::optional<double> contrastRatio(const std::string& a, const std::string& b) {
    const auto ca = parseColour(a);
    const auto cb = parseColour(b);
    if (!ca || !cb) {
        return std::nullopt;
    }
    const double la = relativeLuminance(*ca);
    const double lb = relativeLuminance(*cb);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<std::string> checkManifest(const Theme& m, const std::string& folder) {
    std::vector<std::string> p;
    // The program's own rules first: a built-in theme the program refuses would simply be missing.
    if (const auto refused = validateManifest(m, folder)) {
        p.push_back("the program's theme loader refuses the manifest (" + refused->text() + ")");
    }
    if (m.schemaVersion != 1) {
        p.push_back("\"schemaVersion\" must be 1");
    }
    if (m.id != folder) {
        p.push_back("\"id\" \"" + m.id + "\" differs from the folder name \"" + folder + "\"");
    }
    const Theme::Sounds& sounds = m.sounds;
    const std::set<std::string> distinctDown(sounds.keyDown.begin(), sounds.keyDown.end());
    if (distinctDown.size() < static_cast<std::size_t>(kMinKeyDownVariants)) {
        p.push_back("\"sounds.keyDown\" has " + std::to_string(distinctDown.size()) +
                    " distinct files; at least " + std::to_string(kMinKeyDownVariants) +
                    " are needed");
    }
    if (distinctDown.size() != sounds.keyDown.size()) {
        p.push_back("\"sounds.keyDown\" lists a file twice");
    }
    const std::set<std::string> distinctUp(sounds.keyUp.begin(), sounds.keyUp.end());
    if (distinctUp.size() < static_cast<std::size_t>(kMinKeyUpVariants)) {
        p.push_back("\"sounds.keyUp\" has " + std::to_string(distinctUp.size()) +
                    " distinct files; at least " + std::to_string(kMinKeyUpVariants) +
                    " are needed");
    }
    for (const std::string& alert : alertNames()) {
        if (!sounds.alerts.contains(alert)) {
            p.push_back("\"sounds.alerts\" lacks \"" + alert + "\"");
        }
    }
    for (const auto& [alert, file] : sounds.alerts) {
        if (std::find(alertNames().begin(), alertNames().end(), alert) == alertNames().end()) {
            p.push_back("\"sounds.alerts\" has the unknown alert name \"" + alert + "\"");
        }
    }
    if (!sounds.ambience) {
        p.push_back("\"sounds.ambience\" must name the ambience loop");
    }
    const std::set<std::string> dedicated = {sounds.space, sounds.enter, sounds.backspace};
    if (dedicated.size() != 3) {
        p.push_back("space, return and backspace must each have their own sample");
    }
    for (const auto* pool : {&sounds.keyDown, &sounds.keyUp}) {
        for (const std::string& n : *pool) {
            if (dedicated.contains(n)) {
                p.push_back("\"" + n + "\" is both a pool sample and a dedicated key sample");
            }
        }
    }
    if (!std::isfinite(m.mix.typingGainDb) || !std::isfinite(m.mix.alertGainDb) ||
        !std::isfinite(m.mix.keyUpRelativeDb)) {
        p.push_back("the mix gains must be finite");
    }
    for (const std::string& language : languages()) {
        if (entry(m.name, language).empty()) {
            p.push_back("\"name\" has no \"" + language + "\" text");
        }
        if (entry(m.shortName, language).empty()) {
            p.push_back("\"shortName\" has no \"" + language + "\" text");
        }
        if (entry(m.tagline, language).empty()) {
            p.push_back("\"tagline\" has no \"" + language + "\" text");
        }
        const auto ranks = m.ranks.find(language);
        if (ranks == m.ranks.end() || ranks->second.size() != 6 ||
            std::any_of(ranks->second.begin(), ranks->second.end(),
                        [](const std::string& r) { return r.empty(); })) {
            p.push_back("\"ranks\" needs six non-empty names for \"" + language + "\"");
        }
        const auto quips = m.recapQuips.find(language);
        const bool goodQuips =
            quips != m.recapQuips.end() && quips->second.size() == 6 &&
            std::all_of(quips->second.begin(), quips->second.end(), [](const auto& quip) {
                return !quip.empty() && quip.size() <= 3 &&
                       std::none_of(quip.begin(), quip.end(),
                                    [](const std::string& line) { return line.empty(); });
            });
        if (!goodQuips) {
            p.push_back("\"recapQuips\" needs six quips of one to three lines for \"" + language +
                        "\"");
        }
        if (m.floatText && entry(*m.floatText, language).empty()) {
            p.push_back("\"floatText\" has no \"" + language + "\" text");
        }
    }
    const Theme::Colors& c = m.colors;
    const std::map<std::string, std::string> colours = {
        {"colors.accent", c.accent},
        {"colors.onAccent", c.onAccent},
        {"colors.tile", c.tile},
        {"colors.keycap", c.keycap},
        {"colors.recap.background", c.recap.background},
        {"colors.recap.text", c.recap.text},
        {"colors.recap.secondary", c.recap.secondary},
        {"colors.recap.accent", c.recap.accent}};
    for (const auto& [key, value] : colours) {
        if (!parseColour(value)) {
            p.push_back("\"" + key + "\" \"" + value + "\" is not a #RRGGBB colour");
        }
    }
    auto contrast = [&](const char* fg, const char* bg, double minimum) {
        const auto ratio = contrastRatio(colours.at(fg), colours.at(bg));
        if (ratio && *ratio < minimum) {
            p.push_back(std::string("contrast of ") + fg + " on " + bg + " is " +
                        format("%.2f", *ratio) + ", below " + format("%.1f", minimum));
        }
    };
    contrast("colors.recap.text", "colors.recap.background", kMinTextContrast);
    contrast("colors.recap.secondary", "colors.recap.background", kMinSecondaryContrast);
    contrast("colors.onAccent", "colors.accent", kMinTextContrast);

    if (m.placeholder) {
        p.push_back("\"placeholder\" must be false for a finished theme");
    }
    if (m.recapNumberFont && m.recapNumberFont->empty()) {
        p.push_back("\"recapNumberFont\" is empty; leave it out instead");
    }
    return p;
}

namespace {

void checkEdges(FileReport& report, const Buffer& s) {
    if (std::fabs(s.front()) > kEdgeLimit || std::fabs(s.back()) > kEdgeLimit) {
        report.problems.push_back("does not start and end at zero");
    }
}

double diffRms(const Buffer& s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        const double d = static_cast<double>(s[i]) - s[i - 1];
        sum += d * d;
    }
    return to > from + 1 ? std::sqrt(sum / static_cast<double>(to - from - 1)) : 0.0;
}

double rmsBetween(const Buffer& s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(s[i]) * s[i];
    }
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

}  // namespace

// The loop point must sound like any other moment: no step across it, and no bigger change of
// level or brightness between the windows on either side of it than between any two neighbouring
// windows inside the loop (sparse events such as crackles make neighbouring windows differ too).
std::vector<std::string> seamProblems(const Buffer& s) {
    std::vector<std::string> p;
    const std::size_t n = s.size();
    const std::size_t window = frames(0.25);
    if (n < 4 * window) {
        p.push_back("too short to judge the loop point");
        return p;
    }
    const double typicalStep = diffRms(s, 0, n);
    const double seamStep = std::max(
        {std::fabs(s[n - 1] - s[n - 2]), std::fabs(s[0] - s[n - 1]), std::fabs(s[1] - s[0])});
    if (seamStep > 6.0 * typicalStep + 1e-6) {
        p.push_back("the loop point jumps (" + format("%.4f", seamStep) + " against a typical " +
                    format("%.4f", typicalStep) + ")");
    }
    struct Window {
        double levelDb;
        double brightnessDb;
    };
    auto measure = [&](std::size_t from) {
        const double rms = rmsBetween(s, from, from + window) + 1e-12;
        return Window{gainToDb(rms), gainToDb(diffRms(s, from, from + window) / rms + 1e-12)};
    };
    double levelLimit = 3.0, brightnessLimit = 3.0;
    Window previous = measure(0);
    for (std::size_t from = window; from + window <= n; from += window) {
        const Window current = measure(from);
        levelLimit = std::max(levelLimit, std::fabs(current.levelDb - previous.levelDb));
        brightnessLimit =
            std::max(brightnessLimit, std::fabs(current.brightnessDb - previous.brightnessDb));
        previous = current;
    }
    const Window head = measure(0);
    const Window tail = measure(n - window);
    if (std::fabs(head.levelDb - tail.levelDb) > levelLimit) {
        p.push_back("the level changes across the loop point");
    }
    if (std::fabs(head.brightnessDb - tail.brightnessDb) > brightnessLimit) {
        p.push_back("the tone changes across the loop point");
    }
    return p;
}

ThemeReport checkTheme(const fs::path& folder) {
    ThemeReport report;
    report.folder = folder.filename().string();
    std::ifstream in(folder / "theme.json", std::ios::binary);
    if (!in) {
        report.problems.push_back("theme.json cannot be read");
        return report;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto decoded = decodeTheme(text.str());
    if (!decoded) {
        report.problems.push_back("theme.json does not decode: " + decoded.error().description);
        return report;
    }
    const Theme& theme = *decoded;
    report.problems = checkManifest(theme, report.folder);
    report.isDefault = theme.isDefault;
    report.typingGainDb = theme.mix.typingGainDb;
    report.alertGainDb = theme.mix.alertGainDb;

    // Which role each file plays; every role of a file is checked against its own rules.
    const Theme::Sounds& sounds = theme.sounds;
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : sounds.keyDown) {
        files.emplace_back(name, "keyDown");
    }
    for (const std::string& name : sounds.keyUp) {
        files.emplace_back(name, "keyUp");
    }
    files.emplace_back(sounds.space, "space");
    files.emplace_back(sounds.enter, "return");
    files.emplace_back(sounds.backspace, "backspace");
    if (sounds.ambience) {
        files.emplace_back(*sounds.ambience, "ambience");
    }
    for (const auto& [alert, name] : sounds.alerts) {
        files.emplace_back(name, "alert");
    }

    std::map<std::string, Buffer> audio;
    std::set<std::string> seen;
    for (const auto& [name, role] : files) {
        if (!seen.insert(name + "\n" + role).second) {
            continue;
        }
        FileReport file;
        file.name = name;
        file.role = role;
        const fs::path path = folder / name;
        std::error_code ec;
        if (badFileName(name)) {
            file.problems.push_back("is not a plain file name");
        } else if (fs::is_symlink(fs::symlink_status(path, ec)) || !fs::is_regular_file(path, ec) ||
                   !std::ifstream(path, std::ios::binary).good()) {
            file.problems.push_back("is missing, not a regular file, or not readable");
        } else if (auto read = readAudio(path); !read) {
            file.problems.push_back("cannot be decoded: " + read.error());
        } else if (read->sampleRate != static_cast<int>(kSampleRate) || read->channels != 1) {
            file.problems.push_back("is not 48 kHz mono (" + std::to_string(read->sampleRate) +
                                    " Hz, " + std::to_string(read->channels) + " channels)");
        } else if (read->samples.empty()) {
            file.problems.push_back("is empty");
        } else {
            const Buffer& s = read->samples;
            file.seconds = static_cast<double>(s.size()) / kSampleRate;
            file.peakDb = gainToDb(peakOf(s));
            file.rmsDb = gainToDb(rmsOf(s));
            const double ms = file.seconds * 1000.0;
            checkEdges(file, s);
            const bool key = role != "alert" && role != "ambience";
            if (key) {
                if (ms < kKeyMinMs || ms > kKeyMaxMs) {
                    file.problems.push_back("lasts " + format("%.1f", ms) +
                                            " ms; key samples last 40 to 250 ms");
                }
                if (file.peakDb < kKeyPeakMinDb || file.peakDb > kKeyPeakMaxDb) {
                    file.problems.push_back("peaks at " + format("%.2f", file.peakDb) +
                                            " dBFS; key samples peak between -6 and -1 dBFS");
                }
                if (std::max(std::fabs(s[std::min<std::size_t>(1, s.size() - 1)]),
                             std::fabs(s[s.size() >= 2 ? s.size() - 2 : 0])) > 0.02) {
                    file.problems.push_back("starts or ends with a click");
                }
            } else if (file.peakDb > kMaxPeakDb) {
                file.problems.push_back("peaks at " + format("%.2f", file.peakDb) +
                                        " dBFS, too close to clipping");
            }
            if (role == "alert" && file.seconds > kAlertMaxS) {
                file.problems.push_back("lasts " + format("%.2f", file.seconds) +
                                        " s; alerts last at most 2 s");
            }
            if (role == "ambience") {
                if (file.seconds < kAmbienceMinS) {
                    file.problems.push_back("lasts " + format("%.1f", file.seconds) +
                                            " s; the ambience loop needs at least 20 s");
                }
                for (auto& problem : seamProblems(s)) {
                    file.problems.push_back(std::move(problem));
                }
            }
            audio[name] = s;
        }
        report.files.push_back(std::move(file));
    }

    // Pool variants must really differ.
    for (std::size_t a = 0; a < sounds.keyDown.size(); ++a) {
        for (std::size_t b = a + 1; b < sounds.keyDown.size(); ++b) {
            const std::string& one = sounds.keyDown[a];
            const std::string& other = sounds.keyDown[b];
            if (one != other && audio.contains(one) && audio.contains(other) &&
                audio[one] == audio[other]) {
                report.problems.push_back("keyDown samples \"" + one + "\" and \"" + other +
                                          "\" are identical");
            }
        }
    }

    // Loudness as the program plays the theme, once every file has decoded: its own decoder
    // prepares the samples and its mixer plays the passage.
    const std::set<std::string> all = sounds.allFiles();
    if (!std::all_of(all.begin(), all.end(),
                     [&](const std::string& name) { return audio.contains(name); })) {
        return report;
    }
    auto prepared = PreparedTheme::prepare(LoadedTheme{theme, folder});
    if (!prepared) {
        report.problems.push_back("the program cannot decode the theme's audio: " +
                                  describe(prepared.error()));
        return report;
    }
    if (!sounds.keyDown.empty()) {
        auto passage = playTypingPassage(*prepared);
        if (!passage) {
            report.problems.push_back("the typing passage cannot be played: " + passage.error());
            return report;
        }
        report.typingLufs = loudnessLufs(*passage);
    }
    // As the program plays them: its 16-bit samples.
    std::vector<Buffer> alertSamples;
    for (const std::string& alert : alertNames()) {
        if (const auto it = sounds.alerts.find(alert); it != sounds.alerts.end()) {
            alertSamples.push_back(prepared->find(it->second)->toFloats());
        }
    }
    std::vector<const Buffer*> alertSounds;
    for (const Buffer& samples : alertSamples) {
        alertSounds.push_back(&samples);
    }
    if (!alertSounds.empty()) {
        report.alertLufs = sequenceLoudness(alertSounds);
    }
    return report;
}

CheckReport checkThemes(const fs::path& dir) {
    CheckReport report;
    std::error_code ec;
    if (fs::exists(dir / "theme.json", ec)) {
        report.themes.push_back(checkTheme(dir));
        return report;
    }
    std::vector<fs::path> folders;
    for (const auto& child : fs::directory_iterator(dir, ec)) {
        const std::string name = child.path().filename().string();
        if (!name.empty() && name[0] != '.' && fs::exists(child.path() / "theme.json", ec)) {
            folders.push_back(child.path());
        }
    }
    if (ec) {
        report.problems.push_back(dir.string() + ": " + ec.message());
        return report;
    }
    std::sort(folders.begin(), folders.end());
    if (folders.empty()) {
        report.problems.push_back(dir.string() + " holds no theme folders");
        return report;
    }
    for (const fs::path& folder : folders) {
        report.themes.push_back(checkTheme(folder));
    }
    const auto defaults = std::count_if(report.themes.begin(), report.themes.end(),
                                        [](const ThemeReport& t) { return t.isDefault; });
    if (defaults != 1) {
        report.problems.push_back("exactly one theme must be the default, found " +
                                  std::to_string(defaults));
    }
    std::vector<double> heard;
    for (const ThemeReport& t : report.themes) {
        if (t.typingLufs && t.typingGainDb) {
            heard.push_back(*t.typingLufs + *t.typingGainDb);
        }
    }
    if (heard.size() >= 2) {
        const auto [lo, hi] = std::minmax_element(heard.begin(), heard.end());
        if (*hi - *lo > kMaxLoudnessSpreadDb) {
            report.problems.push_back("typing loudness differs by " + format("%.2f", *hi - *lo) +
                                      " dB between themes; at most 2 dB is allowed");
        }
    }
    return report;
}

void printReport(const CheckReport& report, std::ostream& out) {
    char line[256];
    std::vector<double> heard;
    for (const ThemeReport& t : report.themes) {
        out << "theme " << t.folder << (t.isDefault ? " (default)" : "") << "\n";
        std::snprintf(line, sizeof line, "  %-24s %-10s %10s %10s %10s\n", "file", "role", "length",
                      "peak dBFS", "RMS dBFS");
        out << line;
        for (const FileReport& f : t.files) {
            std::string length = f.seconds >= 1.0 ? format("%.2f s", f.seconds)
                                                  : format("%.1f ms", f.seconds * 1000.0);
            std::snprintf(line, sizeof line, "  %-24s %-10s %10s %10.2f %10.2f  %s\n",
                          f.name.c_str(), f.role.c_str(), length.c_str(), f.peakDb, f.rmsDb,
                          f.problems.empty() ? "ok" : "FAIL");
            out << line;
            for (const std::string& p : f.problems) {
                out << "    FAIL " << t.folder << "/" << f.name << ": " << p << "\n";
            }
        }
        if (t.typingLufs) {
            const double g = t.typingGainDb.value_or(0.0);
            std::snprintf(line, sizeof line,
                          "  typing passage: %.2f LUFS, typing gain %+.2f dB -> %.2f LUFS\n",
                          *t.typingLufs, g, *t.typingLufs + g);
            out << line;
            heard.push_back(*t.typingLufs + g);
        }
        if (t.alertLufs) {
            const double g = t.alertGainDb.value_or(0.0);
            std::snprintf(line, sizeof line,
                          "  alerts in a row: %.2f LUFS, alert gain %+.2f dB -> %.2f LUFS\n",
                          *t.alertLufs, g, *t.alertLufs + g);
            out << line;
        }
        for (const std::string& p : t.problems) {
            out << "  FAIL " << t.folder << ": " << p << "\n";
        }
    }
    if (heard.size() >= 2) {
        const auto [lo, hi] = std::minmax_element(heard.begin(), heard.end());
        std::snprintf(line, sizeof line,
                      "typing loudness spread across themes: %.2f dB (limit %.1f dB)\n", *hi - *lo,
                      kMaxLoudnessSpreadDb);
        out << line;
    }
    for (const std::string& p : report.problems) {
        out << "FAIL " << p << "\n";
    }
    out << (report.ok() ? "check passed\n" : "check FAILED\n");
}

}  // namespace tapwell::themegen

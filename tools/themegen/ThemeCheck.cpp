#include "ThemeCheck.h"

#include <nlohmann/json.hpp>

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
#include "WavIo.h"

namespace tapwell::themegen {

using nlohmann::json;
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

// --- JSON shape ---------------------------------------------------------------------------------

bool isStringMap(const json& v) {
    return v.is_object() &&
           std::all_of(v.begin(), v.end(), [](const json& e) { return e.is_string(); });
}

bool isStringList(const json& v) {
    return v.is_array() &&
           std::all_of(v.begin(), v.end(), [](const json& e) { return e.is_string(); });
}

bool isListMap(const json& v) {
    return v.is_object() &&
           std::all_of(v.begin(), v.end(), [](const json& e) { return isStringList(e); });
}

bool isQuipMap(const json& v) {
    return v.is_object() && std::all_of(v.begin(), v.end(), [](const json& quips) {
               return quips.is_array() && std::all_of(quips.begin(), quips.end(), isStringList);
           });
}

bool isInteger(const json& v) {
    if (v.is_number_integer()) {
        return true;
    }
    return v.is_number_float() && std::isfinite(v.get<double>()) &&
           std::floor(v.get<double>()) == v.get<double>();
}

struct Shape {
    std::vector<std::string>& problems;

    // Checks that `key` of `object` exists, is not null and passes `test`.
    const json* require(const json& object, const std::string& where, const char* key,
                        bool (*test)(const json&), const char* what) {
        const std::string path = where.empty() ? key : where + "." + key;
        if (!object.contains(key) || object.at(key).is_null()) {
            problems.push_back("\"" + path + "\" is missing");
            return nullptr;
        }
        if (!test(object.at(key))) {
            problems.push_back("\"" + path + "\" must be " + what);
            return nullptr;
        }
        return &object.at(key);
    }

    // Optional keys: absent and null both mean none.
    const json* optional(const json& object, const std::string& where, const char* key,
                         bool (*test)(const json&), const char* what) {
        if (!object.contains(key) || object.at(key).is_null()) {
            return nullptr;
        }
        return require(object, where, key, test, what);
    }
};

bool isString(const json& v) {
    return v.is_string();
}
bool isBool(const json& v) {
    return v.is_boolean();
}
bool isNumber(const json& v) {
    return v.is_number();
}
bool isObject(const json& v) {
    return v.is_object();
}

std::string entry(const json& map, const std::string& language) {
    if (map.contains(language) && map.at(language).is_string()) {
        return map.at(language).get<std::string>();
    }
    return {};
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

std::vector<std::string> checkManifest(const json& m, const std::string& folder) {
    std::vector<std::string> p;
    if (!m.is_object()) {
        p.push_back("the manifest is not a JSON object");
        return p;
    }
    Shape shape{p};

    // Decoding: every required key present with the right type.
    const json* schema = shape.require(m, "", "schemaVersion", isInteger, "an integer");
    const json* id = shape.require(m, "", "id", isString, "a string");
    const json* isDefault = shape.require(m, "", "isDefault", isBool, "true or false");
    const json* name = shape.require(m, "", "name", isStringMap, "an object of strings");
    const json* shortName = shape.require(m, "", "shortName", isStringMap, "an object of strings");
    const json* tagline = shape.require(m, "", "tagline", isStringMap, "an object of strings");
    const json* colors = shape.require(m, "", "colors", isObject, "an object");
    const json* font = shape.optional(m, "", "recapNumberFont", isString, "a string or null");
    const json* ranks = shape.require(m, "", "ranks", isListMap, "an object of string lists");
    const json* quips =
        shape.require(m, "", "recapQuips", isQuipMap, "an object of lists of string lists");
    const json* floatText = shape.optional(m, "", "floatText", isStringMap, "an object of strings");
    const json* sounds = shape.require(m, "", "sounds", isObject, "an object");
    const json* mix = shape.require(m, "", "mix", isObject, "an object");
    const json* placeholder = shape.require(m, "", "placeholder", isBool, "true or false");

    std::vector<std::pair<std::string, std::string>> colourList;
    if (colors != nullptr) {
        for (const char* key : {"accent", "onAccent", "tile", "keycap"}) {
            if (const json* c = shape.require(*colors, "colors", key, isString, "a string")) {
                colourList.emplace_back(std::string("colors.") + key, c->get<std::string>());
            }
        }
        if (const json* recap = shape.require(*colors, "colors", "recap", isObject, "an object")) {
            for (const char* key : {"background", "text", "secondary", "accent"}) {
                if (const json* c =
                        shape.require(*recap, "colors.recap", key, isString, "a string")) {
                    colourList.emplace_back(std::string("colors.recap.") + key,
                                            c->get<std::string>());
                }
            }
        }
    }
    const json *keyDown = nullptr, *keyUp = nullptr, *alerts = nullptr;
    std::map<std::string, std::string> specials;
    if (sounds != nullptr) {
        keyDown = shape.require(*sounds, "sounds", "keyDown", isStringList, "a list of strings");
        keyUp = shape.require(*sounds, "sounds", "keyUp", isStringList, "a list of strings");
        for (const char* key : {"space", "return", "backspace"}) {
            if (const json* s = shape.require(*sounds, "sounds", key, isString, "a string")) {
                specials[key] = s->get<std::string>();
            }
        }
        alerts = shape.require(*sounds, "sounds", "alerts", isStringMap, "an object of strings");
        if (!sounds->contains("ambience") || !(*sounds)["ambience"].is_string()) {
            p.push_back("\"sounds.ambience\" must name the ambience loop");
        }
    }
    std::vector<const json*> gains;
    if (mix != nullptr) {
        for (const char* key : {"typingGainDb", "alertGainDb", "keyUpRelativeDb"}) {
            gains.push_back(shape.require(*mix, "mix", key, isNumber, "a number"));
        }
    }

    // Validation, in the loader's order.
    if (schema != nullptr && schema->get<double>() != 1.0) {
        p.push_back("\"schemaVersion\" must be 1");
    }
    if (id != nullptr && id->get<std::string>() != folder) {
        p.push_back("\"id\" \"" + id->get<std::string>() + "\" differs from the folder name \"" +
                    folder + "\"");
    }
    if (keyDown != nullptr) {
        const std::set<std::string> distinct(keyDown->begin(), keyDown->end());
        if (distinct.size() < static_cast<std::size_t>(kMinKeyDownVariants)) {
            p.push_back("\"sounds.keyDown\" has " + std::to_string(distinct.size()) +
                        " distinct files; at least " + std::to_string(kMinKeyDownVariants) +
                        " are needed");
        }
        if (distinct.size() != keyDown->size()) {
            p.push_back("\"sounds.keyDown\" lists a file twice");
        }
    }
    if (keyUp != nullptr) {
        const std::set<std::string> distinct(keyUp->begin(), keyUp->end());
        if (distinct.size() < static_cast<std::size_t>(kMinKeyUpVariants)) {
            p.push_back("\"sounds.keyUp\" has " + std::to_string(distinct.size()) +
                        " distinct files; at least " + std::to_string(kMinKeyUpVariants) +
                        " are needed");
        }
    }
    if (alerts != nullptr) {
        for (const std::string& alert : alertNames()) {
            if (!alerts->contains(alert)) {
                p.push_back("\"sounds.alerts\" lacks \"" + alert + "\"");
            }
        }
        for (const auto& [alert, file] : alerts->items()) {
            if (std::find(alertNames().begin(), alertNames().end(), alert) == alertNames().end()) {
                p.push_back("\"sounds.alerts\" has the unknown alert name \"" + alert + "\"");
            }
        }
    }
    if (specials.size() == 3) {
        const std::set<std::string> distinct = {specials["space"], specials["return"],
                                                specials["backspace"]};
        if (distinct.size() != 3) {
            p.push_back("space, return and backspace must each have their own sample");
        }
        for (const json* pool : {keyDown, keyUp}) {
            if (pool == nullptr) {
                continue;
            }
            for (const auto& n : *pool) {
                if (distinct.contains(n.get<std::string>())) {
                    p.push_back("\"" + n.get<std::string>() +
                                "\" is both a pool sample and a dedicated key sample");
                }
            }
        }
    }
    for (const json* g : gains) {
        if (g != nullptr && !std::isfinite(g->get<double>())) {
            p.push_back("the mix gains must be finite");
        }
    }
    for (const std::string& language : languages()) {
        if (name != nullptr && entry(*name, language).empty()) {
            p.push_back("\"name\" has no \"" + language + "\" text");
        }
        if (shortName != nullptr && entry(*shortName, language).empty()) {
            p.push_back("\"shortName\" has no \"" + language + "\" text");
        }
        if (tagline != nullptr && entry(*tagline, language).empty()) {
            p.push_back("\"tagline\" has no \"" + language + "\" text");
        }
        if (ranks != nullptr) {
            const bool good =
                ranks->contains(language) && (*ranks)[language].size() == 6 &&
                std::none_of((*ranks)[language].begin(), (*ranks)[language].end(),
                             [](const json& r) { return r.get<std::string>().empty(); });
            if (!good) {
                p.push_back("\"ranks\" needs six non-empty names for \"" + language + "\"");
            }
        }
        if (quips != nullptr) {
            bool good = quips->contains(language) && (*quips)[language].size() == 6;
            if (good) {
                for (const json& quip : (*quips)[language]) {
                    good = good && !quip.empty() && quip.size() <= 3 &&
                           std::none_of(quip.begin(), quip.end(), [](const json& line) {
                               return line.get<std::string>().empty();
                           });
                }
            }
            if (!good) {
                p.push_back("\"recapQuips\" needs six quips of one to three lines for \"" +
                            language + "\"");
            }
        }
        if (floatText != nullptr && entry(*floatText, language).empty()) {
            p.push_back("\"floatText\" has no \"" + language + "\" text");
        }
    }
    std::map<std::string, std::string> colourByKey;
    for (const auto& [key, value] : colourList) {
        if (!parseColour(value)) {
            p.push_back("\"" + key + "\" \"" + value + "\" is not a #RRGGBB colour");
        }
        colourByKey[key] = value;
    }
    auto contrast = [&](const char* fg, const char* bg, double minimum) {
        if (!colourByKey.contains(fg) || !colourByKey.contains(bg)) {
            return;
        }
        const auto ratio = contrastRatio(colourByKey[fg], colourByKey[bg]);
        if (ratio && *ratio < minimum) {
            p.push_back(std::string("contrast of ") + fg + " on " + bg + " is " +
                        format("%.2f", *ratio) + ", below " + format("%.1f", minimum));
        }
    };
    contrast("colors.recap.text", "colors.recap.background", kMinTextContrast);
    contrast("colors.recap.secondary", "colors.recap.background", kMinSecondaryContrast);
    contrast("colors.onAccent", "colors.accent", kMinTextContrast);

    if (placeholder != nullptr && placeholder->get<bool>()) {
        p.push_back("\"placeholder\" must be false for a finished theme");
    }
    if (font != nullptr && font->get<std::string>().empty()) {
        p.push_back("\"recapNumberFont\" is empty; leave it out instead");
    }
    (void)isDefault;
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
    const fs::path manifestPath = folder / "theme.json";
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) {
        report.problems.push_back("theme.json cannot be read");
        return report;
    }
    std::stringstream text;
    text << in.rdbuf();
    json m;
    try {
        m = json::parse(text.str());
    } catch (const json::exception& e) {
        report.problems.push_back(std::string("theme.json is not valid JSON: ") + e.what());
        return report;
    }
    report.problems = checkManifest(m, report.folder);
    if (!m.is_object()) {
        return report;
    }
    report.isDefault =
        m.contains("isDefault") && m["isDefault"].is_boolean() && m["isDefault"].get<bool>();
    if (!m.contains("sounds") || !m["sounds"].is_object()) {
        return report;
    }
    const json& sounds = m["sounds"];

    // Which role each file plays; every role of a file is checked against its own rules.
    std::vector<std::pair<std::string, std::string>> files;
    auto add = [&](const json& v, const char* role) {
        if (v.is_string()) {
            files.emplace_back(v.get<std::string>(), role);
        }
    };
    for (const char* pool : {"keyDown", "keyUp"}) {
        if (sounds.contains(pool) && sounds[pool].is_array()) {
            for (const json& v : sounds[pool]) {
                add(v, pool);
            }
        }
    }
    for (const char* key : {"space", "return", "backspace", "ambience"}) {
        if (sounds.contains(key)) {
            add(sounds[key], key);
        }
    }
    if (sounds.contains("alerts") && sounds["alerts"].is_object()) {
        for (const json& v : sounds["alerts"]) {
            add(v, "alert");
        }
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
    if (sounds.contains("keyDown") && sounds["keyDown"].is_array()) {
        std::vector<std::string> names;
        for (const json& v : sounds["keyDown"]) {
            if (v.is_string() && audio.contains(v.get<std::string>())) {
                names.push_back(v.get<std::string>());
            }
        }
        for (std::size_t a = 0; a < names.size(); ++a) {
            for (std::size_t b = a + 1; b < names.size(); ++b) {
                if (names[a] != names[b] && audio[names[a]] == audio[names[b]]) {
                    report.problems.push_back("keyDown samples \"" + names[a] + "\" and \"" +
                                              names[b] + "\" are identical");
                }
            }
        }
    }

    // Loudness as heard through the engine, when every typing and alert sample decoded.
    const json& mix = m.contains("mix") && m["mix"].is_object() ? m["mix"] : json::object();
    auto gain = [&](const char* key) -> std::optional<double> {
        if (mix.contains(key) && mix[key].is_number()) {
            return mix[key].get<double>();
        }
        return std::nullopt;
    };
    TypingSamples typing;
    bool complete = true;
    auto lookup = [&](const json& v) -> const Buffer* {
        if (!v.is_string() || !audio.contains(v.get<std::string>())) {
            complete = false;
            return nullptr;
        }
        return &audio[v.get<std::string>()];
    };
    for (const char* pool : {"keyDown", "keyUp"}) {
        if (!sounds.contains(pool) || !sounds[pool].is_array()) {
            complete = false;
            continue;
        }
        for (const json& v : sounds[pool]) {
            (std::string(pool) == "keyDown" ? typing.keyDown : typing.keyUp).push_back(lookup(v));
        }
    }
    for (const char* key : {"space", "return", "backspace"}) {
        const Buffer* b = sounds.contains(key) ? lookup(sounds[key]) : nullptr;
        complete = complete && b != nullptr;
        (std::string(key) == "space"    ? typing.space
         : std::string(key) == "return" ? typing.enter
                                        : typing.backspace) = b;
    }
    typing.keyUpRelativeDb = gain("keyUpRelativeDb").value_or(0.0);
    report.typingGainDb = gain("typingGainDb");
    report.alertGainDb = gain("alertGainDb");
    if (complete && !typing.keyDown.empty()) {
        report.typingLufs = loudnessLufs(renderPassage(typing));
    }
    std::vector<const Buffer*> alertSounds;
    if (sounds.contains("alerts") && sounds["alerts"].is_object()) {
        for (const std::string& alert : alertNames()) {
            if (sounds["alerts"].contains(alert)) {
                if (const Buffer* b = lookup(sounds["alerts"][alert])) {
                    alertSounds.push_back(b);
                }
            }
        }
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

#include "themeimport/PackImporter.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <system_error>
#include <tuple>

#include "core/FileSystem.h"
#include "core/Uuid.h"
#include "sound/WavFileWriter.h"
#include "themeimport/PackMapping.h"
#include "themeimport/SoundPack.h"
#include "themeimport/TypingLoudness.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t poolMinimum = 6;   // distinct key-down samples a theme needs
constexpr std::size_t listedAtMost = 6;  // names shown per summary line
constexpr std::size_t longestDerivedID = 40;
constexpr double gainLimitDb = 40;
constexpr double samplePeakDb = -1;  // where the loudest key sound peaks once written

// Removes a folder tree on the way out unless the work succeeded.
class FolderGuard {
  public:
    explicit FolderGuard(fs::path path) : path_(std::move(path)) {}
    ~FolderGuard() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;

  private:
    fs::path path_;
};

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < listedAtMost; ++i) {
        text += (i == 0 ? "" : ", ") + items[i];
    }
    if (items.size() > listedAtMost) {
        text += fmt::format(" and {} more", items.size() - listedAtMost);
    }
    return text;
}

std::string codesText(const std::set<std::int64_t>& codes) {
    std::vector<std::string> items;
    for (std::int64_t code : codes) {
        items.push_back(std::to_string(code));
    }
    return listed(items);
}

// Lower-case ASCII letters and digits, every other run of characters one '-'.
std::string slug(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            result += c;
        } else if (!result.empty() && result.back() != '-') {
            result += '-';
        }
    }
    if (result.size() > longestDerivedID) {
        result.resize(longestDerivedID);
    }
    while (!result.empty() && result.back() == '-') {
        result.pop_back();
    }
    return result;
}

std::optional<std::string> writeClip(const fs::path& file, const std::vector<float>& clip,
                                     float gain) {
    std::vector<float> samples(clip);
    for (float& sample : samples) {
        sample *= gain;
    }
    auto writer = WavFileWriter::create(file);
    if (!writer) {
        return writer.error().description;
    }
    if (auto written = (*writer)->write(samples.data(), samples.size()); !written) {
        return written.error().description;
    }
    if (auto closed = (*writer)->close(); !closed) {
        return closed.error().description;
    }
    return std::nullopt;
}

float peakOf(const std::vector<float>& samples) {
    float peak = 0;
    for (float sample : samples) {
        peak = std::max(peak, std::fabs(sample));
    }
    return peak;
}

// The file name part of an alert name: letters, digits and '-' only.
std::string fileSafe(std::string_view name) {
    std::string result;
    for (char c : name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        result += plain ? c : '_';
    }
    return result;
}

std::optional<LoadedTheme> defaultBuiltInTheme(const fs::path& resources) {
    auto catalogue = ThemeManager::create(resources);
    if (!catalogue) {
        return std::nullopt;
    }
    std::vector<ThemeEntry> entries = std::move(catalogue->entries);
    sortForDisplay(entries);
    for (const ThemeEntry& entry : entries) {
        if (entry.loaded) {
            return entry.loaded;  // the first usable one: the default when one is marked so
        }
    }
    return std::nullopt;
}

// The theme id: the one asked for, else one made from the pack's name (or its own id). Refused
// when it is unusable or taken.
std::expected<std::string, std::string> chooseID(const ImportRequest& request,
                                                 const SoundPack& pack) {
    std::string id;
    if (request.id) {
        id = *request.id;
        if (!isUsableThemeID(id)) {
            return std::unexpected(fmt::format(
                "\"{}\" cannot be a theme id; use up to 64 letters, digits, '-', '_' or '.', "
                "starting with a letter or digit",
                id));
        }
    } else {
        id = slug(pack.name);
        if (id.empty() && pack.id) {
            id = slug(*pack.id);
        }
        if (id.empty()) {
            id = "sound-pack";
        }
    }
    std::error_code error;
    const auto taken = [&request, &error](const std::string& candidate) {
        return fs::exists(request.resourceFolder / candidate / "theme.json", error) ||
               fs::exists(fs::symlink_status(request.themesFolder / candidate, error));
    };
    if (!request.id && request.numberTakenID && taken(id)) {
        const std::string base = id;
        for (int n = 2; taken(id); ++n) {
            id = fmt::format("{}-{}", base, n);
        }
    }
    if (fs::exists(request.resourceFolder / id / "theme.json", error)) {
        return std::unexpected(fmt::format(
            "\"{}\" is the id of a built-in theme; choose another with --id, for example --id "
            "{}-pack",
            id, id));
    }
    if (fs::exists(fs::symlink_status(request.themesFolder / id, error))) {
        return std::unexpected(fmt::format(
            "a theme with the id \"{}\" already exists in {}; choose another with --id, for "
            "example --id {}-2, or remove the old one with 'tapwell themes remove {}'",
            id, request.themesFolder.string(), id, id));
    }
    return id;
}

// The theme's sound files in `folder`, one per distinct sound (a sound used twice is written
// once), and copies of the built-in theme's alerts and ambience.
struct ThemeFiles {
    Theme::Sounds sounds;
    float gain = 1;  // applied to every key sound
    float peak = 0;  // of the key sounds as written
    std::vector<std::string> ownSounds;
    std::vector<std::string> borrowedSounds;
};

std::expected<ThemeFiles, std::string> writeThemeFiles(const fs::path& folder,
                                                       const PackMapping& mapping,
                                                       const PackClips& clips,
                                                       const LoadedTheme& builtIn) {
    ThemeFiles files;
    Theme::Sounds& sounds = files.sounds;
    // One gain for every key sound, so their balance stays the pack's: the loudest peaks just
    // below full scale, as the built-in themes' samples do.
    float peak = 0;
    for (const auto& [kind, sound] : mapping.special) {
        peak = std::max(peak, peakOf(*clips.clips.at(sound)));
    }
    for (const auto* pool : {&mapping.keyDown, &mapping.keyUp}) {
        for (const PackSound& sound : *pool) {
            peak = std::max(peak, peakOf(*clips.clips.at(sound)));
        }
    }
    files.gain = peak > 0 ? static_cast<float>(std::pow(10.0, samplePeakDb / 20.0)) / peak : 1.0f;
    files.peak = peak * files.gain;
    std::map<PackSound, std::string> names;
    std::optional<std::string> failure;
    auto write = [&](const PackSound& sound, const std::string& name) {
        if (auto failed = writeClip(folder / name, *clips.clips.at(sound), files.gain)) {
            failure = failure.value_or(*failed);
        }
    };
    auto place = [&](const PackSound& sound, const std::string& name) -> std::string {
        if (auto found = names.find(sound); found != names.end()) {
            return found->second;
        }
        write(sound, name);
        names[sound] = name;
        return name;
    };
    auto numbered = [](std::string_view prefix, std::size_t i) {
        return fmt::format("{}-{:02}.wav", prefix, i + 1);
    };
    for (std::size_t i = 0; i < mapping.keyDown.size(); ++i) {
        sounds.keyDown.push_back(place(mapping.keyDown[i], numbered("down", i)));
    }
    // Fewer distinct sounds than a pool needs: the same sounds again, under names of their own.
    for (std::size_t i = mapping.keyDown.size(); i < poolMinimum; ++i) {
        write(mapping.keyDown[i % mapping.keyDown.size()], numbered("down", i));
        sounds.keyDown.push_back(numbered("down", i));
    }
    for (std::size_t i = 0; i < mapping.keyUp.size(); ++i) {
        sounds.keyUp.push_back(place(mapping.keyUp[i], numbered("up", i)));
    }
    const std::array<std::tuple<KeyKind, std::string*, const char*, const char*>, 3> specials{{
        {KeyKind::space, &sounds.space, "space.wav", "space"},
        {KeyKind::enter, &sounds.enter, "return.wav", "return"},
        {KeyKind::delete_, &sounds.backspace, "backspace.wav", "backspace"},
    }};
    for (const auto& [kind, field, name, what] : specials) {
        if (auto found = mapping.special.find(kind); found != mapping.special.end()) {
            *field = place(found->second, name);
            files.ownSounds.push_back(what);
        } else {
            *field = sounds.keyDown.front();
            files.borrowedSounds.push_back(what);
        }
    }

    std::map<std::string, std::string> copied;
    auto copyIn = [&](const std::string& source, const std::string& name) -> std::string {
        if (auto found = copied.find(source); found != copied.end()) {
            return found->second;
        }
        const std::string target = name + fs::path(source).extension().string();
        std::error_code error;
        fs::copy_file(builtIn.directory / source, folder / target, error);
        if (error) {
            failure = failure.value_or(error.message());
        }
        copied[source] = target;
        return target;
    };
    for (const auto& [alert, file] : builtIn.theme.sounds.alerts) {
        sounds.alerts[alert] = copyIn(file, "alert-" + fileSafe(alert));
    }
    if (builtIn.theme.sounds.ambience) {
        sounds.ambience = copyIn(*builtIn.theme.sounds.ambience, "ambience");
    }
    if (failure) {
        return std::unexpected(*failure);
    }
    return files;
}

// The default built-in theme with the pack's sounds and names in every language.
Theme makeTheme(const LoadedTheme& builtIn, const std::string& id, const std::string& name,
                const SoundPack& pack, Theme::Sounds sounds) {
    Theme theme = builtIn.theme;
    theme.id = id;
    theme.isDefault = false;
    theme.placeholder = false;
    theme.floatText.reset();
    theme.sounds = std::move(sounds);
    for (const char* language : {"en", "zh-Hans", "ja"}) {
        theme.name[language] = name;
        theme.shortName[language] = name;
    }
    const std::string author = pack.author.value_or("");
    theme.tagline = {
        {"en", "Imported sound pack" + (author.empty() ? "" : " by " + author)},
        {"zh-Hans", "导入的声音包" + (author.empty() ? "" : "，作者：" + author)},
        {"ja", "インポートしたサウンドパック" + (author.empty() ? "" : "（作者：" + author + "）")},
    };
    // Pack recordings carry their own balance of press and release.
    theme.mix.keyUpRelativeDb = 0;
    theme.mix.typingGainDb = 0;
    return theme;
}

// theme.json, with where the sounds came from (readers ignore keys they do not know).
std::optional<std::string> writeManifest(const fs::path& folder, const Theme& theme,
                                         const SoundPack& pack) {
    nlohmann::ordered_json manifest = nlohmann::ordered_json::parse(encodeTheme(theme));
    nlohmann::ordered_json origin = {{"name", pack.name}};
    if (pack.author) {
        origin["author"] = *pack.author;
    }
    if (pack.license) {
        origin["license"] = *pack.license;
    }
    manifest["importedFrom"] = origin;
    if (auto failed = writeFileAtomically(
            folder / "theme.json",
            manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n")) {
        return failed->description;
    }
    return std::nullopt;
}

struct TypingLevel {
    double gainDb = 0;
    double shortfallDb = 0;  // how much quieter than the built-in themes the peaks keep it
};

// The typing gain that makes the theme in `folder` (written with a gain of 0 dB) as loud as the
// default built-in theme, which every built-in theme matches; raised no further than the loudest
// sound allows at full typing volume without clipping.
std::expected<TypingLevel, std::string> matchTypingLevel(const LoadedTheme& builtIn,
                                                         const LoadedTheme& imported, float peak) {
    auto target = typingPassageLoudness(builtIn);
    auto measured = typingPassageLoudness(imported);
    if (!target || !measured) {
        return std::unexpected(
            fmt::format("its sounds cannot be played ({}); check that the files are audio",
                        !measured ? measured.error() : target.error()));
    }
    if (!std::isfinite(*measured)) {
        return std::unexpected(
            "its key sounds are silent; check that the pack's sound files are not empty");
    }
    const double wanted = std::clamp(*target - *measured, -gainLimitDb, gainLimitDb);
    const double headroomDb = peak > 0 ? -20.0 * std::log10(peak) : gainLimitDb;
    TypingLevel level;
    level.gainDb = std::min(std::round(wanted * 10.0), std::floor(headroomDb * 10.0)) / 10.0;
    level.shortfallDb = std::max(0.0, wanted - level.gainDb);
    return level;
}

// The summary: what became of the pack, then what the theme could not take.
void summarise(ImportReport& report, const PackPlan& plan, const PackClips& clips,
               const PackMapping& mapping, const ThemeFiles& files, const TypingLevel& level,
               const SoundPack& pack, const LoadedTheme& builtIn) {
    auto plural = [](std::size_t n, std::string_view word) {
        return fmt::format("{} {}{}", n, word, n == 1 ? "" : "s");
    };
    const std::size_t distinct = mapping.keyDown.size();
    report.mapped.push_back(fmt::format(
        "key-down pool: {} from {}{}", plural(distinct, "distinct sound"),
        plural(mapping.pooledKeys, "key"),
        distinct < poolMinimum
            ? fmt::format(" (played in turn over the {} places a theme has)", poolMinimum)
            : std::string()));
    if (plan.fallbackKeys > 0) {
        report.mapped.push_back(
            fmt::format("keys without an entry of their own: the pack's general sound ({} keys)",
                        plan.fallbackKeys));
    }
    if (!files.ownSounds.empty()) {
        report.mapped.push_back(fmt::format("{}: their own sounds", listed(files.ownSounds)));
    }
    if (!files.borrowedSounds.empty()) {
        report.mapped.push_back(fmt::format("{}: no sound in the pack, so the first key sound",
                                            listed(files.borrowedSounds)));
    }
    report.mapped.push_back(
        mapping.keyUp.empty()
            ? std::string("key releases: no sounds in the pack, so they stay silent")
            : fmt::format("key-up pool: {}", plural(mapping.keyUp.size(), "distinct sound")));
    report.mapped.push_back(fmt::format(
        "typing level: sounds scaled by {:+.1f} dB to peak at {} dBFS, typing gain {:+.1f} dB to "
        "match the built-in themes{}",
        20.0 * std::log10(files.gain), samplePeakDb, level.gainDb,
        level.shortfallDb > 0.05
            ? fmt::format(" (held there so the loudest sound does not clip; the theme stays "
                          "{:.1f} dB quieter)",
                          level.shortfallDb)
            : std::string()));
    report.mapped.push_back(fmt::format(
        "alerts, ambience, colours and rank names: from the built-in theme \"{}\"",
        builtIn.theme.name.contains("en") ? builtIn.theme.name.at("en") : builtIn.theme.id));

    auto drop = [&](bool any, std::string line) {
        if (any) {
            report.dropped.push_back(std::move(line));
        }
    };
    drop(!plan.modifierCodes.empty(), fmt::format("modifier keys, which never sound here: codes {}",
                                                  codesText(plan.modifierCodes)));
    drop(!mapping.secondSpecials.empty(),
         fmt::format("sounds of keypad Enter or forward Delete (codes {}): return and backspace "
                     "play the main keys' sounds",
                     codesText(mapping.secondSpecials)));
    drop(mapping.droppedSpecialUps > 0,
         fmt::format("{} of space, return or backspace: all keys share one key-up pool",
                     plural(mapping.droppedSpecialUps, "key-up sound")));
    drop(!plan.shadowedAliases.empty(),
         fmt::format("second codes of navigation keys that have their own entry: codes {}",
                     codesText(plan.shadowedAliases)));
    drop(!plan.unknownCodes.empty(),
         fmt::format("unknown key codes: {}", codesText(plan.unknownCodes)));
    drop(!clips.slicesOutside.empty(),
         fmt::format("slices beyond the end of the sound file: keys {}",
                     codesText(clips.slicesOutside)));
    drop(!clips.notFound.empty(), fmt::format("not found in the pack: {}", listed(clips.notFound)));
    drop(!clips.undecodable.empty(),
         fmt::format("not readable as audio: {}", listed(clips.undecodable)));
    drop(!pack.ignoredDefines.empty(),
         fmt::format("entries of \"defines\" that name no key: {}", listed(pack.ignoredDefines)));
    drop(!pack.unknownFields.empty(),
         fmt::format("fields of config.json not read: {}", listed(pack.unknownFields)));
}

}  // namespace

bool isUsableThemeID(std::string_view id) {
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    return !id.empty() && id.size() <= 64 && plain(id.front()) &&
           std::all_of(id.begin(), id.end(),
                       [&](char c) { return plain(c) || c == '-' || c == '_' || c == '.'; });
}

std::expected<ImportReport, std::string> importSoundPack(const ImportRequest& request) {
    const std::string label = request.pack.string();
    auto fail = [&](const std::string& message) {
        return std::unexpected(fmt::format("{}: {}", label, message));
    };

    auto archive = PackArchive::open(request.pack, label, request.limits);
    if (!archive) {
        return std::unexpected(archive.error());
    }
    auto configText = (*archive)->readConfig();
    if (!configText) {
        return std::unexpected(configText.error());
    }
    auto pack = decodeSoundPack(*configText, label);
    if (!pack) {
        return std::unexpected(pack.error());
    }
    auto builtIn = defaultBuiltInTheme(request.resourceFolder);
    if (!builtIn) {
        return fail(fmt::format(
            "no usable built-in theme in {}, whose alerts and colours an imported theme takes; "
            "set TAPWELL_RESOURCE_DIR to the folder of Tapwell's themes",
            request.resourceFolder.string()));
    }
    auto id = chooseID(request, *pack);
    if (!id) {
        return fail(id.error());
    }

    if (auto created = createFolders(request.themesFolder)) {
        return fail(fmt::format("cannot create the themes folder {} ({}); check its permissions",
                                request.themesFolder.string(), created->description));
    }
    // Hidden, so the catalogue never lists a theme that is still being built.
    const fs::path work = request.themesFolder / (".import-" + makeUuid());
    const fs::path folder = work / *id;
    const fs::path scratch = work / "unpacked";
    FolderGuard guard(work);
    std::error_code error;
    if (!fs::create_directories(folder, error) || !fs::create_directories(scratch, error)) {
        return fail(
            fmt::format("cannot create a folder in {} ({}); check its permissions and free space",
                        request.themesFolder.string(), error.message()));
    }

    const PackPlan plan = planPackKeys(*pack);
    auto clips = decodePackSounds(plan, *pack, **archive, scratch);
    if (!clips) {
        return std::unexpected(clips.error());
    }
    const PackMapping mapping = mapPackSounds(plan, *clips);
    if (mapping.keyDown.empty()) {
        std::string why;
        if (!clips->notFound.empty()) {
            why += fmt::format("; not found in the pack: {}", listed(clips->notFound));
        }
        if (!clips->undecodable.empty()) {
            why += fmt::format("; not readable as audio: {}", listed(clips->undecodable));
        }
        return fail(
            fmt::format("it gives no usable sound for ordinary keys (letters, digits and "
                        "the like){}; check that the pack is complete",
                        why));
    }

    auto files = writeThemeFiles(folder, mapping, *clips, *builtIn);
    const std::string writeHint = "; check the free space and permissions there";
    if (!files) {
        return fail(fmt::format("cannot write the theme's files in {} ({}){}",
                                request.themesFolder.string(), files.error(), writeHint));
    }
    std::string name = pack->name;
    name.erase(0, name.find_first_not_of(" \t\r\n"));
    name.erase(name.find_last_not_of(" \t\r\n") + 1);
    Theme theme = makeTheme(*builtIn, *id, name, *pack, files->sounds);
    if (auto failed = writeManifest(folder, theme, *pack)) {
        return fail(fmt::format("cannot write theme.json in {} ({}){}",
                                request.themesFolder.string(), *failed, writeHint));
    }
    auto level = matchTypingLevel(*builtIn, LoadedTheme{theme, folder}, files->peak);
    if (!level) {
        return fail(level.error());
    }
    theme.mix.typingGainDb = static_cast<float>(level->gainDb);
    if (auto failed = writeManifest(folder, theme, *pack)) {
        return fail(fmt::format("cannot write theme.json in {} ({}){}",
                                request.themesFolder.string(), *failed, writeHint));
    }
    if (auto loaded = ThemeManager::load(folder); !loaded) {
        return fail(fmt::format(
            "the theme made from it does not load ({}); please report this with the pack",
            describe(loaded.error())));
    }

    const fs::path destination = request.themesFolder / *id;
    if (fs::exists(fs::symlink_status(destination, error))) {
        return fail(fmt::format(
            "a theme with the id \"{}\" appeared in {} meanwhile; choose another with --id", *id,
            request.themesFolder.string()));
    }
    fs::rename(folder, destination, error);
    if (error) {
        return fail(fmt::format("cannot move the theme into {} ({}); check the permissions there",
                                request.themesFolder.string(), error.message()));
    }

    ImportReport report{*id, name, destination, {}, {}};
    summarise(report, plan, *clips, mapping, *files, *level, *pack, *builtIn);
    return report;
}

}  // namespace tapwell

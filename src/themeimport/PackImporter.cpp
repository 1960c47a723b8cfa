#include "themeimport/PackImporter.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "core/FileSystem.h"
#include "core/Uuid.h"
#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "sound/AudioDecoder.h"
#include "sound/WavFileWriter.h"
#include "themeimport/PackKeyCodes.h"
#include "themeimport/SoundPack.h"
#include "themeimport/TypingLoudness.h"
#include "themes/ThemeManager.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

constexpr double longestSourceSeconds = 300;  // a pack's sound file, decoded
constexpr std::size_t poolMinimum = 6;        // distinct key-down samples a theme needs
constexpr std::size_t listedAtMost = 6;       // names shown per summary line
constexpr std::size_t longestDerivedID = 40;
constexpr double gainLimitDb = 40;

using Clip = std::shared_ptr<const std::vector<float>>;

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

// A file name with a number range "{a-b}": one of the numbers is picked per key, in turn, so
// that the keys together use every file of the range.
std::string pickFromRange(const std::string& name, std::size_t turn) {
    const auto open = name.find('{');
    const auto close = name.find('}', open);
    const auto dash = name.find('-', open);
    if (open == std::string::npos || close == std::string::npos || dash > close) {
        return name;
    }
    long first = 0;
    long last = 0;
    try {
        std::size_t used = 0;
        first = std::stol(name.substr(open + 1, dash - open - 1), &used);
        if (used != dash - open - 1) {
            return name;
        }
        last = std::stol(name.substr(dash + 1, close - dash - 1), &used);
        if (used != close - dash - 1) {
            return name;
        }
    } catch (const std::exception&) {
        return name;
    }
    if (first < 0 || last < first || last - first > 999) {
        return name;
    }
    const long picked =
        first + static_cast<long>(turn % static_cast<std::size_t>(last - first + 1));
    return name.substr(0, open) + std::to_string(picked) + name.substr(close + 1);
}

// The sounds one key of the pack gives.
struct KeySounds {
    std::int64_t packCode = 0;
    std::int64_t linuxCode = 0;
    std::optional<PackSound> down;
    std::optional<PackSound> up;
};

struct Plan {
    std::map<std::int64_t, KeySounds> keys;  // by standard pack code
    std::set<std::int64_t> unknownCodes;
    std::set<std::int64_t> shadowedAliases;
    std::set<std::int64_t> modifierCodes;
    std::size_t fallbackKeys = 0;
};

Plan planKeys(const SoundPack& pack) {
    Plan plan;
    std::map<std::int64_t, KeySounds> aliasSounds;  // by alias code
    for (const SoundPack::Define& define : pack.defines) {
        if (!define.sound) {
            continue;  // null: as if the entry were not there
        }
        auto mapped = mapPackKeyCode(define.code);
        if (!mapped) {
            plan.unknownCodes.insert(define.code);
            continue;
        }
        KeySounds& key = mapped->isAlias ? aliasSounds[define.code] : plan.keys[define.code];
        key.packCode = mapped->standardPackCode;
        key.linuxCode = mapped->linuxCode;
        std::optional<PackSound>& slot = define.isUp ? key.up : key.down;
        if (!slot) {
            slot = define.sound;
        }
    }
    for (const auto& [aliasCode, alias] : aliasSounds) {
        KeySounds& key = plan.keys[alias.packCode];
        key.packCode = alias.packCode;
        key.linuxCode = alias.linuxCode;
        bool used = false;
        for (auto [from, to] : {std::pair{&alias.down, &key.down}, std::pair{&alias.up, &key.up}}) {
            if (*from && !*to) {
                *to = *from;
                used = true;
            }
        }
        if (!used) {
            plan.shadowedAliases.insert(aliasCode);
        }
    }
    const bool multi = pack.defineType == SoundPack::DefineType::multi;
    if (multi && pack.version == 2 && (pack.sound || pack.soundUp)) {
        for (std::int64_t code : standardPackKeyCodes()) {
            KeySounds key = plan.keys.contains(code) ? plan.keys[code] : KeySounds{};
            key.packCode = code;
            key.linuxCode = mapPackKeyCode(code)->linuxCode;
            bool filled = false;
            if (!key.down && pack.sound) {
                key.down = PackSound{*pack.sound, std::nullopt, std::nullopt};
                filled = true;
            }
            if (!key.up && pack.soundUp) {
                key.up = PackSound{*pack.soundUp, std::nullopt, std::nullopt};
            }
            plan.fallbackKeys += filled ? 1 : 0;
            if (key.down || key.up) {
                plan.keys[code] = key;
            }
        }
    }
    // Ranges are picked key by key in code order, separately for every pattern.
    if (multi) {
        std::map<std::string, std::size_t> turns;
        for (auto& [code, key] : plan.keys) {
            for (std::optional<PackSound>* sound : {&key.down, &key.up}) {
                if (*sound && (*sound)->file.find('{') != std::string::npos) {
                    (*sound)->file = pickFromRange((*sound)->file, turns[(*sound)->file]++);
                }
            }
        }
    }
    for (auto it = plan.keys.begin(); it != plan.keys.end();) {
        if (keycode::isModifier(it->second.linuxCode)) {
            plan.modifierCodes.insert(it->first);
            it = plan.keys.erase(it);
        } else {
            ++it;
        }
    }
    return plan;
}

// The decoded sounds of the pack, file by file and then slice by slice.
struct Sounds {
    std::map<PackSound, Clip> clips;
    std::vector<std::string> notFound;
    std::vector<std::string> undecodable;
    std::set<std::int64_t> slicesOutside;
};

std::expected<Sounds, std::string> decodeSounds(const Plan& plan, const SoundPack& pack,
                                                PackArchive& archive, const fs::path& scratch) {
    Sounds sounds;
    std::map<std::string, Clip> files;
    std::set<std::string> tried;
    const bool single = pack.defineType == SoundPack::DefineType::single;
    auto decodeFile = [&](const std::string& name) -> std::expected<void, std::string> {
        if (!tried.insert(name).second) {
            return {};
        }
        auto entry = archive.find(name);
        if (!entry) {
            sounds.notFound.push_back(name);
            return {};
        }
        auto path = archive.materialize(*entry, scratch);
        if (!path) {
            return std::unexpected(path.error());
        }
        auto info = probeAudioFile(*path);
        if (!info) {
            sounds.undecodable.push_back(
                fmt::format("{} ({})", archive.entryPath(*entry), describe(info.error())));
            return {};
        }
        if (info->seconds() > longestSourceSeconds) {
            sounds.undecodable.push_back(fmt::format("{} (longer than {} minutes)",
                                                     archive.entryPath(*entry),
                                                     longestSourceSeconds / 60));
            return {};
        }
        auto decoded = decodeAudioFile(*path);
        if (!decoded) {
            sounds.undecodable.push_back(
                fmt::format("{} ({})", archive.entryPath(*entry), describe(decoded.error())));
            return {};
        }
        files[name] = std::make_shared<const std::vector<float>>((*decoded)->samples);
        return {};
    };

    for (const auto& [code, key] : plan.keys) {
        for (const std::optional<PackSound>* sound : {&key.down, &key.up}) {
            if (!*sound || sounds.clips.contains(**sound)) {
                continue;
            }
            if (auto done = decodeFile((*sound)->file); !done) {
                return std::unexpected(done.error());
            }
            auto file = files.find((*sound)->file);
            if (file == files.end()) {
                continue;
            }
            if (!(*sound)->isSlice()) {
                sounds.clips[**sound] = file->second;
                continue;
            }
            const std::vector<float>& all = *file->second;
            const double framesPerMs = pcmSampleRate / 1000.0;
            const auto start =
                static_cast<std::size_t>(std::llround(*(*sound)->startMs * framesPerMs));
            const auto length =
                static_cast<std::size_t>(std::llround(*(*sound)->durationMs * framesPerMs));
            if (start >= all.size() || length == 0) {
                sounds.slicesOutside.insert(code);
                continue;
            }
            const std::size_t end = std::min(all.size(), start + length);
            sounds.clips[**sound] = std::make_shared<const std::vector<float>>(
                all.begin() + static_cast<std::ptrdiff_t>(start),
                all.begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
    if (single) {
        for (const std::optional<std::string>& sprite : {pack.sound, pack.soundUp}) {
            if (sprite && std::find(sounds.notFound.begin(), sounds.notFound.end(), *sprite) !=
                              sounds.notFound.end()) {
                return std::unexpected(fmt::format(
                    "{}: the sound file \"{}\" that config.json names is not in the pack; check "
                    "that the pack is complete, or correct the name in config.json",
                    archive.label(), *sprite));
            }
        }
    }
    return sounds;
}

// What the theme plays: the pools and the three keys of their own.
struct Mapping {
    std::vector<PackSound> keyDown;
    std::vector<PackSound> keyUp;
    std::map<KeyKind, PackSound> special;
    std::size_t pooledKeys = 0;
    std::set<std::int64_t> secondSpecials;  // other keys of return and delete with own sounds
    std::size_t droppedSpecialUps = 0;
};

Mapping mapSounds(const Plan& plan, const Sounds& sounds) {
    Mapping mapping;
    std::vector<const KeySounds*> keys;
    for (const auto& [code, key] : plan.keys) {
        keys.push_back(&key);
    }
    std::sort(keys.begin(), keys.end(),
              [](const KeySounds* a, const KeySounds* b) { return a->linuxCode < b->linuxCode; });
    auto usable = [&](const std::optional<PackSound>& sound) {
        return sound && sounds.clips.contains(*sound);
    };
    auto addOnce = [](std::vector<PackSound>& pool, const PackSound& sound) {
        if (std::find(pool.begin(), pool.end(), sound) == pool.end()) {
            pool.push_back(sound);
        }
    };
    // Return and the delete keys have a main key (Enter, Backspace) whose sound comes first.
    const std::map<KeyKind, std::vector<std::int64_t>> preference{
        {KeyKind::space, {keycode::space}},
        {KeyKind::enter, {keycode::enter, keycode::keypadEnter}},
        {KeyKind::delete_, {keycode::backspace, keycode::forwardDelete}},
    };
    std::vector<PackSound> specialUps;
    for (const auto& [kind, codes] : preference) {
        for (std::int64_t linuxCode : codes) {
            auto key = std::find_if(keys.begin(), keys.end(),
                                    [&](const KeySounds* k) { return k->linuxCode == linuxCode; });
            if (key == keys.end() || !usable((*key)->down)) {
                continue;
            }
            if (!mapping.special.contains(kind)) {
                mapping.special[kind] = *(*key)->down;
            } else if (mapping.special[kind] != *(*key)->down) {
                mapping.secondSpecials.insert((*key)->packCode);
            }
        }
    }
    for (const KeySounds* key : keys) {
        const bool normal = classify(key->linuxCode) == KeyKind::normal;
        if (normal && usable(key->down)) {
            addOnce(mapping.keyDown, *key->down);
            ++mapping.pooledKeys;
        }
        if (usable(key->up)) {
            if (normal) {
                addOnce(mapping.keyUp, *key->up);
            } else {
                addOnce(specialUps, *key->up);
            }
        }
    }
    // One key-up pool serves every key: the special keys' own key-up sounds join it only when the
    // other keys have none.
    if (mapping.keyUp.empty()) {
        mapping.keyUp = specialUps;
    } else {
        mapping.droppedSpecialUps = static_cast<std::size_t>(
            std::count_if(specialUps.begin(), specialUps.end(), [&](const PackSound& s) {
                return std::find(mapping.keyUp.begin(), mapping.keyUp.end(), s) ==
                       mapping.keyUp.end();
            }));
    }
    return mapping;
}

std::optional<std::string> writeClip(const fs::path& file, const std::vector<float>& samples) {
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
    auto fail = [&](std::string message) {
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

    std::string id;
    if (request.id) {
        id = *request.id;
        if (!isUsableThemeID(id)) {
            return fail(
                fmt::format("\"{}\" cannot be a theme id; use up to 64 letters, digits, "
                            "'-', '_' or '.', starting with a letter or digit",
                            id));
        }
    } else {
        id = slug(pack->name);
        if (id.empty() && pack->id) {
            id = slug(*pack->id);
        }
        if (id.empty()) {
            id = "sound-pack";
        }
    }
    std::error_code error;
    if (fs::exists(request.resourceFolder / id / "theme.json", error)) {
        return fail(
            fmt::format("\"{}\" is the id of a built-in theme; choose another with --id, "
                        "for example --id {}-pack",
                        id, id));
    }
    const fs::path destination = request.themesFolder / id;
    if (fs::exists(fs::symlink_status(destination, error))) {
        return fail(fmt::format(
            "a theme with the id \"{}\" already exists in {}; choose another with --id, for "
            "example --id {}-2, or remove the old one with 'tapwell themes remove {}'",
            id, request.themesFolder.string(), id, id));
    }

    if (auto created = createFolders(request.themesFolder)) {
        return fail(fmt::format("cannot create the themes folder {} ({}); check its permissions",
                                request.themesFolder.string(), created->description));
    }
    // Hidden, so the catalogue never lists a theme that is still being built.
    const fs::path work = request.themesFolder / (".import-" + makeUuid());
    const fs::path folder = work / id;
    const fs::path scratch = work / "unpacked";
    FolderGuard guard(work);
    if (!fs::create_directories(folder, error) || !fs::create_directories(scratch, error)) {
        return fail(
            fmt::format("cannot create a folder in {} ({}); check its permissions and "
                        "free space",
                        request.themesFolder.string(), error.message()));
    }

    Plan plan = planKeys(*pack);
    auto sounds = decodeSounds(plan, *pack, **archive, scratch);
    if (!sounds) {
        return std::unexpected(sounds.error());
    }
    Mapping mapping = mapSounds(plan, *sounds);
    if (mapping.keyDown.empty()) {
        std::string why;
        if (!sounds->notFound.empty()) {
            why += fmt::format("; not found in the pack: {}", listed(sounds->notFound));
        }
        if (!sounds->undecodable.empty()) {
            why += fmt::format("; not readable as audio: {}", listed(sounds->undecodable));
        }
        return fail(
            fmt::format("it gives no usable sound for ordinary keys (letters, digits and "
                        "the like){}; check that the pack is complete",
                        why));
    }

    // The files of the theme, one per distinct sound; a sound used twice is written once.
    Theme theme = builtIn->theme;
    theme.id = id;
    theme.isDefault = false;
    theme.placeholder = false;
    theme.floatText.reset();
    theme.sounds = {};
    std::map<PackSound, std::string> written;
    std::optional<std::string> writeFailure;
    auto place = [&](const PackSound& sound, const std::string& name) -> std::string {
        if (auto found = written.find(sound); found != written.end()) {
            return found->second;
        }
        if (auto failed = writeClip(folder / name, *sounds->clips.at(sound))) {
            writeFailure = writeFailure.value_or(*failed);
        }
        written[sound] = name;
        return name;
    };
    auto numbered = [](std::string_view prefix, std::size_t i) {
        return fmt::format("{}-{:02}.wav", prefix, i + 1);
    };
    for (std::size_t i = 0; i < mapping.keyDown.size(); ++i) {
        theme.sounds.keyDown.push_back(place(mapping.keyDown[i], numbered("down", i)));
    }
    // Fewer distinct sounds than a pool needs: the same sounds again, under names of their own.
    const std::size_t distinctDown = mapping.keyDown.size();
    for (std::size_t i = distinctDown; i < poolMinimum; ++i) {
        const std::string name = numbered("down", i);
        if (auto failed =
                writeClip(folder / name, *sounds->clips.at(mapping.keyDown[i % distinctDown]))) {
            writeFailure = writeFailure.value_or(*failed);
        }
        theme.sounds.keyDown.push_back(name);
    }
    for (std::size_t i = 0; i < mapping.keyUp.size(); ++i) {
        theme.sounds.keyUp.push_back(place(mapping.keyUp[i], numbered("up", i)));
    }
    const std::array<std::tuple<KeyKind, std::string*, const char*, const char*>, 3> specials{{
        {KeyKind::space, &theme.sounds.space, "space.wav", "space"},
        {KeyKind::enter, &theme.sounds.enter, "return.wav", "return"},
        {KeyKind::delete_, &theme.sounds.backspace, "backspace.wav", "backspace"},
    }};
    std::vector<std::string> ownSounds;
    std::vector<std::string> borrowedSounds;
    for (const auto& [kind, field, name, what] : specials) {
        if (auto found = mapping.special.find(kind); found != mapping.special.end()) {
            *field = place(found->second, name);
            ownSounds.push_back(what);
        } else {
            *field = theme.sounds.keyDown.front();
            borrowedSounds.push_back(what);
        }
    }

    // Alerts and ambience: copies of the built-in theme's files.
    std::map<std::string, std::string> copied;
    auto copyIn = [&](const std::string& source, const std::string& name) -> std::string {
        if (auto found = copied.find(source); found != copied.end()) {
            return found->second;
        }
        const std::string target = name + fs::path(source).extension().string();
        std::error_code copyError;
        fs::copy_file(builtIn->directory / source, folder / target, copyError);
        if (copyError) {
            writeFailure = writeFailure.value_or(copyError.message());
        }
        copied[source] = target;
        return target;
    };
    for (const auto& [alert, file] : builtIn->theme.sounds.alerts) {
        theme.sounds.alerts[alert] = copyIn(file, "alert-" + fileSafe(alert));
    }
    if (builtIn->theme.sounds.ambience) {
        theme.sounds.ambience = copyIn(*builtIn->theme.sounds.ambience, "ambience");
    }
    if (writeFailure) {
        return fail(
            fmt::format("cannot write the theme's files in {} ({}); check the free space "
                        "and permissions there",
                        request.themesFolder.string(), *writeFailure));
    }

    // Names in every language from the pack's own name; the rest stays the built-in theme's.
    std::string name = pack->name;
    name.erase(0, name.find_first_not_of(" \t\r\n"));
    name.erase(name.find_last_not_of(" \t\r\n") + 1);
    for (const char* language : {"en", "zh-Hans", "ja"}) {
        theme.name[language] = name;
        theme.shortName[language] = name;
    }
    theme.tagline = {
        {"en", "Imported sound pack" + (pack->author ? " by " + *pack->author : std::string())},
        {"zh-Hans", "导入的声音包" + (pack->author ? "，作者：" + *pack->author : std::string())},
        {"ja", "インポートしたサウンドパック" +
                   (pack->author ? "（作者：" + *pack->author + "）" : std::string())},
    };
    // Pack recordings carry their own balance of press and release.
    theme.mix.keyUpRelativeDb = 0;
    theme.mix.typingGainDb = 0;

    auto writeManifest = [&]() -> std::optional<std::string> {
        nlohmann::ordered_json manifest = nlohmann::ordered_json::parse(encodeTheme(theme));
        nlohmann::ordered_json origin = {{"name", pack->name}};
        if (pack->author) {
            origin["author"] = *pack->author;
        }
        if (pack->license) {
            origin["license"] = *pack->license;
        }
        manifest["importedFrom"] = origin;
        if (auto failed = writeFileAtomically(
                folder / "theme.json",
                manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n")) {
            return failed->description;
        }
        return std::nullopt;
    };
    if (auto failed = writeManifest()) {
        return fail(fmt::format("cannot write theme.json in {} ({}); check the free space there",
                                request.themesFolder.string(), *failed));
    }

    // The typing level of the default built-in theme, which all built-in themes share.
    auto target = typingPassageLoudness(*builtIn);
    auto measured = typingPassageLoudness(LoadedTheme{theme, folder});
    if (!target || !measured) {
        return fail(
            fmt::format("its sounds cannot be played ({}); check that the files are "
                        "audio",
                        !measured ? measured.error() : target.error()));
    }
    if (!std::isfinite(*measured)) {
        return fail("its key sounds are silent; check that the pack's sound files are not empty");
    }
    float peak = 0;
    for (const auto& [sound, file] : written) {
        for (float sample : *sounds->clips.at(sound)) {
            peak = std::max(peak, std::fabs(sample));
        }
    }
    double gainDb = std::clamp(*target - *measured, -gainLimitDb, gainLimitDb);
    // Raised no further than the loudest sound can go at full typing volume without clipping.
    const double headroomDb = peak > 0 ? -20.0 * std::log10(peak) : gainLimitDb;
    const bool heldByPeak = gainDb > headroomDb;
    gainDb = std::round(std::min(gainDb, headroomDb) * 10.0) / 10.0;
    theme.mix.typingGainDb = static_cast<float>(gainDb);
    if (auto failed = writeManifest()) {
        return fail(fmt::format("cannot write theme.json in {} ({}); check the free space there",
                                request.themesFolder.string(), *failed));
    }

    if (auto loaded = ThemeManager::load(folder); !loaded) {
        return fail(
            fmt::format("the theme made from it does not load ({}); please report this "
                        "with the pack attached",
                        describe(loaded.error())));
    }
    if (fs::exists(fs::symlink_status(destination, error))) {
        return fail(
            fmt::format("a theme with the id \"{}\" appeared in {} meanwhile; choose "
                        "another with --id",
                        id, request.themesFolder.string()));
    }
    fs::rename(folder, destination, error);
    if (error) {
        return fail(fmt::format("cannot move the theme into {} ({}); check the permissions there",
                                request.themesFolder.string(), error.message()));
    }

    ImportReport report;
    report.themeID = id;
    report.themeName = name;
    report.directory = destination;
    report.mapped.push_back(fmt::format(
        "key-down pool: {} distinct sound{} from {} key{}{}", distinctDown,
        distinctDown == 1 ? "" : "s", mapping.pooledKeys, mapping.pooledKeys == 1 ? "" : "s",
        distinctDown < poolMinimum
            ? fmt::format(" (played in turn over the {} places a theme has)", poolMinimum)
            : std::string()));
    if (plan.fallbackKeys > 0) {
        report.mapped.push_back(
            fmt::format("keys without an entry of their own: the pack's general sound ({} keys)",
                        plan.fallbackKeys));
    }
    if (!ownSounds.empty()) {
        report.mapped.push_back(fmt::format("{}: their own sounds", listed(ownSounds)));
    }
    if (!borrowedSounds.empty()) {
        report.mapped.push_back(fmt::format("{}: no sound in the pack, so the first key sound",
                                            listed(borrowedSounds)));
    }
    report.mapped.push_back(
        mapping.keyUp.empty()
            ? std::string("key releases: no sounds in the pack, so they stay silent")
            : fmt::format("key-up pool: {} distinct sound{}", mapping.keyUp.size(),
                          mapping.keyUp.size() == 1 ? "" : "s"));
    report.mapped.push_back(
        fmt::format("typing level: {:+.1f} dB to match the built-in themes{}", gainDb,
                    heldByPeak ? fmt::format(" (held there so the loudest sound does not clip; the "
                                             "theme stays {:.1f} dB quieter)",
                                             std::min(*target - *measured, gainLimitDb) - gainDb)
                               : std::string()));
    report.mapped.push_back(fmt::format(
        "alerts, ambience, colours and rank names: from the built-in theme \"{}\"",
        builtIn->theme.name.contains("en") ? builtIn->theme.name.at("en") : builtIn->theme.id));

    if (!plan.modifierCodes.empty()) {
        report.dropped.push_back(fmt::format("modifier keys, which never sound here: codes {}",
                                             codesText(plan.modifierCodes)));
    }
    if (!mapping.secondSpecials.empty()) {
        report.dropped.push_back(fmt::format(
            "sounds of keypad Enter or forward Delete (codes {}): return and backspace play the "
            "main keys' sounds",
            codesText(mapping.secondSpecials)));
    }
    if (mapping.droppedSpecialUps > 0) {
        report.dropped.push_back(fmt::format(
            "{} key-up sound{} of space, return or backspace: all keys share one key-up pool",
            mapping.droppedSpecialUps, mapping.droppedSpecialUps == 1 ? "" : "s"));
    }
    if (!plan.shadowedAliases.empty()) {
        report.dropped.push_back(
            fmt::format("second codes of navigation keys that have their own entry: codes {}",
                        codesText(plan.shadowedAliases)));
    }
    if (!plan.unknownCodes.empty()) {
        report.dropped.push_back(
            fmt::format("unknown key codes: {}", codesText(plan.unknownCodes)));
    }
    if (!sounds->slicesOutside.empty()) {
        report.dropped.push_back(fmt::format("slices beyond the end of the sound file: keys {}",
                                             codesText(sounds->slicesOutside)));
    }
    if (!sounds->notFound.empty()) {
        report.dropped.push_back(
            fmt::format("not found in the pack: {}", listed(sounds->notFound)));
    }
    if (!sounds->undecodable.empty()) {
        report.dropped.push_back(
            fmt::format("not readable as audio: {}", listed(sounds->undecodable)));
    }
    if (!pack->ignoredDefines.empty()) {
        report.dropped.push_back(fmt::format("entries of \"defines\" that name no key: {}",
                                             listed(pack->ignoredDefines)));
    }
    if (!pack->unknownFields.empty()) {
        report.dropped.push_back(
            fmt::format("fields of config.json not read: {}", listed(pack->unknownFields)));
    }
    return report;
}

}  // namespace tapwell

#include "themeimport/PackMapping.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "keyboard/KeyCodes.h"
#include "keyboard/KeyEventFilter.h"
#include "sound/AudioDecoder.h"
#include "sound/PcmBuffer.h"
#include "themeimport/PackKeyCodes.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

constexpr double longestSourceSeconds = 300;  // one sound file of a pack
constexpr double longestTotalSeconds = 900;   // all of them
constexpr std::size_t cutFadeFrames = 96;     // 2 ms

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

}  // namespace

PackPlan planPackKeys(const SoundPack& pack) {
    PackPlan plan;
    std::map<std::int64_t, PackKeySounds> aliasSounds;  // by alias code
    for (const SoundPack::Define& define : pack.defines) {
        if (!define.sound) {
            continue;  // null: as if the entry were not there
        }
        auto mapped = mapPackKeyCode(define.code);
        if (!mapped) {
            plan.unknownCodes.insert(define.code);
            continue;
        }
        PackKeySounds& key = mapped->isAlias ? aliasSounds[define.code] : plan.keys[define.code];
        key.packCode = mapped->standardPackCode;
        key.linuxCode = mapped->linuxCode;
        std::optional<PackSound>& slot = define.isUp ? key.up : key.down;
        if (!slot) {
            slot = define.sound;
        }
    }
    for (const auto& [aliasCode, alias] : aliasSounds) {
        PackKeySounds& key = plan.keys[alias.packCode];
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
    std::set<std::int64_t> fallback;
    if (multi && pack.version == 2 && (pack.sound || pack.soundUp)) {
        for (std::int64_t code : standardPackKeyCodes()) {
            PackKeySounds key = plan.keys.contains(code) ? plan.keys[code] : PackKeySounds{};
            key.packCode = code;
            key.linuxCode = mapPackKeyCode(code)->linuxCode;
            if (!key.down && pack.sound) {
                key.down = PackSound{*pack.sound, std::nullopt, std::nullopt};
                fallback.insert(code);
            }
            if (!key.up && pack.soundUp) {
                key.up = PackSound{*pack.soundUp, std::nullopt, std::nullopt};
            }
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
            plan.fallbackKeys += fallback.contains(it->first) ? 1 : 0;
            ++it;
        }
    }
    return plan;
}

std::expected<PackClips, std::string> decodePackSounds(const PackPlan& plan, const SoundPack& pack,
                                                       PackArchive& archive,
                                                       const fs::path& scratch) {
    PackClips result;
    std::map<std::string, PackClip> files;
    std::set<std::string> tried;
    double decodedSeconds = 0;
    const bool single = pack.defineType == SoundPack::DefineType::single;
    auto decodeFile = [&](const std::string& name) -> std::expected<void, std::string> {
        if (!tried.insert(name).second) {
            return {};
        }
        auto entry = archive.find(name);
        if (!entry) {
            result.notFound.push_back(name);
            return {};
        }
        auto path = archive.materialize(*entry, scratch);
        if (!path) {
            return std::unexpected(path.error());
        }
        auto info = probeAudioFile(*path);
        if (!info) {
            result.undecodable.push_back(
                fmt::format("{} ({})", archive.entryPath(*entry), describe(info.error())));
            return {};
        }
        if (info->seconds() > longestSourceSeconds) {
            result.undecodable.push_back(fmt::format("{} (longer than {} minutes)",
                                                     archive.entryPath(*entry),
                                                     longestSourceSeconds / 60));
            return {};
        }
        // Decoded sound takes far more memory than its file; this bounds the whole import.
        decodedSeconds += info->seconds();
        if (decodedSeconds > longestTotalSeconds) {
            return std::unexpected(fmt::format(
                "{}: its sound files last more than {} minutes together; a sound pack is far "
                "shorter, so it is refused",
                archive.label(), longestTotalSeconds / 60));
        }
        auto decoded = decodeAudioSamples(*path);
        if (!decoded) {
            result.undecodable.push_back(
                fmt::format("{} ({})", archive.entryPath(*entry), describe(decoded.error())));
            return {};
        }
        files[name] = std::make_shared<const std::vector<float>>(std::move(*decoded));
        return {};
    };

    for (const auto& [code, key] : plan.keys) {
        for (const std::optional<PackSound>* sound : {&key.down, &key.up}) {
            if (!*sound || result.clips.contains(**sound)) {
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
                result.clips[**sound] = file->second;
                continue;
            }
            const std::vector<float>& all = *file->second;
            const double framesPerMs = pcmSampleRate / 1000.0;
            const auto start =
                static_cast<std::size_t>(std::llround(*(*sound)->startMs * framesPerMs));
            const auto length =
                static_cast<std::size_t>(std::llround(*(*sound)->durationMs * framesPerMs));
            if (start >= all.size() || length == 0) {
                result.slicesOutside.insert(code);
                continue;
            }
            const std::size_t end = std::min(all.size(), start + length);
            std::vector<float> slice(all.begin() + static_cast<std::ptrdiff_t>(start),
                                     all.begin() + static_cast<std::ptrdiff_t>(end));
            // A cut in the middle of a sound would end in a click; the recording's own end stays.
            if (end < all.size()) {
                const std::size_t fade = std::min(slice.size(), cutFadeFrames);
                for (std::size_t i = 0; i < fade; ++i) {
                    const double t = static_cast<double>(i + 1) / static_cast<double>(fade);
                    slice[slice.size() - fade + i] *=
                        static_cast<float>(0.5 + 0.5 * std::cos(std::numbers::pi * t));
                }
            }
            result.clips[**sound] = std::make_shared<const std::vector<float>>(std::move(slice));
        }
    }
    if (single) {
        for (const std::optional<std::string>& sprite : {pack.sound, pack.soundUp}) {
            if (sprite && std::find(result.notFound.begin(), result.notFound.end(), *sprite) !=
                              result.notFound.end()) {
                return std::unexpected(fmt::format(
                    "{}: the sound file \"{}\" that config.json names is not in the pack; check "
                    "that the pack is complete, or correct the name in config.json",
                    archive.label(), *sprite));
            }
        }
    }
    return result;
}

PackMapping mapPackSounds(const PackPlan& plan, const PackClips& clips) {
    PackMapping mapping;
    std::vector<const PackKeySounds*> keys;
    for (const auto& [code, key] : plan.keys) {
        keys.push_back(&key);
    }
    std::sort(keys.begin(), keys.end(), [](const PackKeySounds* a, const PackKeySounds* b) {
        return a->linuxCode < b->linuxCode;
    });
    auto usable = [&](const std::optional<PackSound>& sound) {
        return sound && clips.clips.contains(*sound);
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
            auto key = std::find_if(keys.begin(), keys.end(), [&](const PackKeySounds* k) {
                return k->linuxCode == linuxCode;
            });
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
    for (const PackKeySounds* key : keys) {
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

}  // namespace tapwell

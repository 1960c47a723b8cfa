// `tapwell render --theme ID --text TEXT [--wpm 80] [--alert NAME] [--ambience SECONDS]
// --out FILE.wav [--resources DIR]`: types the text through the real sound engine and mixer into
// a WAV file, offline and deterministically (the same arguments give the same file). Lets a user
// hear a theme without a sound card, and lets tests listen.
//
// The length is known before anything is written, so a render longer than an hour is refused at
// once; the file is written under a temporary name beside the target and takes its name only when
// it is complete, so a failed render leaves nothing behind and an existing file stays untouched.

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "core/ResourceLocator.h"
#include "core/Uuid.h"
#include "keyboard/KeyActivity.h"
#include "sound/OfflineAudioOutput.h"
#include "sound/SoundEngine.h"
#include "themes/SampleFile.h"
#include "themes/ThemeManager.h"

namespace tapwell::cli {
namespace {

struct RenderOptions {
    std::string theme;
    std::string text;
    double wpm = 80.0;
    std::string alert;
    double ambienceSeconds = 0.0;
    std::string out;
    std::string resources;
};

constexpr double leadIn = 0.1;        // silence before the first key
constexpr double alertGap = 0.3;      // between the last key and the alert
constexpr double longestHold = 0.08;  // how long a key stays down at most
constexpr double longestTail = 30.0;  // an end to waiting for silence
constexpr std::size_t chunkFrames = 4800;
// The longest render offered; the ring-out after the last sound comes on top. An hour of 48 kHz
// float samples is 660 MiB, well inside the 4 GiB a WAV file can describe.
constexpr double longestRender = 3600.0;

struct TimedEvent {
    std::int64_t frame = 0;
    enum class Kind { key, alert, ambienceOff } kind = Kind::key;
    KeyActivity activity;
};

std::int64_t frameAt(double seconds) {
    return static_cast<std::int64_t>(std::llround(seconds * pcmSampleRate));
}

// The keys of the text: "\n" (a newline or the two characters backslash and n) is return, "\b"
// likewise backspace, a space is the space bar, "\\" is one backslash key, and every other
// character (a whole UTF-8 sequence) is one ordinary key.
std::vector<KeyKind> keysOf(const std::string& text) {
    std::vector<KeyKind> keys;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) {
            continue;  // a continuation byte belongs to the character before
        }
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'n' || next == 'b' || next == '\\') {
                keys.push_back(next == 'n'   ? KeyKind::enter
                               : next == 'b' ? KeyKind::delete_
                                             : KeyKind::normal);
                ++i;
                continue;
            }
        }
        switch (text[i]) {
            case '\n':
            case '\r':
                keys.push_back(KeyKind::enter);
                break;
            case '\b':
                keys.push_back(KeyKind::delete_);
                break;
            case ' ':
                keys.push_back(KeyKind::space);
                break;
            default:
                keys.push_back(KeyKind::normal);
        }
    }
    return keys;
}

float peakOf(const std::vector<float>& samples) {
    float peak = 0.0f;
    for (float sample : samples) {
        peak = std::max(peak, std::fabs(sample));
    }
    return peak;
}

std::string lengthText(double seconds) {
    if (seconds < 120) {
        return fmt::format("{:.0f} seconds", seconds);
    }
    if (seconds < 2 * 3600) {
        return fmt::format("{:.0f} minutes", seconds / 60);
    }
    return fmt::format("{:.0f} hours", seconds / 3600);
}

// A file the render may replace: absent, or a regular file. Anything else (a device, a folder)
// must not be renamed over.
std::optional<std::string> unusableTarget(const std::filesystem::path& out) {
    std::error_code error;
    const auto status = std::filesystem::status(out, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return fmt::format("{} is not a regular file; name a .wav file to write", out.string());
    }
    return std::nullopt;
}

std::filesystem::path partialName(const std::filesystem::path& out) {
    return out.parent_path() / ("." + out.filename().string() + ".partial-" + makeUuid());
}

void runRender(Context& context, const RenderOptions& options) {
    std::filesystem::path resources;
    if (!options.resources.empty()) {
        resources = options.resources;
    } else if (auto found = ResourceLocator::find()) {
        resources = *found;
    } else {
        context.fail("no resource folder found; set TAPWELL_RESOURCE_DIR or pass --resources DIR");
        return;
    }
    std::filesystem::path themeFolder = resources / options.theme;
    // Imported themes live in the user's themes folder; a built-in theme of the same id wins.
    std::error_code missing;
    if (!std::filesystem::exists(themeFolder / "theme.json", missing)) {
        themeFolder = userThemesFolder() / options.theme;
    }
    auto loaded = ThemeManager::load(themeFolder);
    if (!loaded) {
        context.fail(fmt::format("theme \"{}\" cannot be used: {}", options.theme,
                                 describe(loaded.error())));
        return;
    }
    const Theme::Sounds& sounds = loaded->theme.sounds;
    if (!options.alert.empty() && !sounds.alerts.contains(options.alert)) {
        std::string names;
        for (const auto& [name, file] : sounds.alerts) {
            names += (names.empty() ? "" : ", ") + name;
        }
        context.fail(fmt::format("theme \"{}\" has no alert \"{}\" (it has: {})", options.theme,
                                 options.alert, names));
        return;
    }
    if (options.ambienceSeconds > 0 && !sounds.ambience) {
        context.fail(fmt::format("theme \"{}\" has no ambience sample", options.theme));
        return;
    }

    const std::vector<KeyKind> keys = keysOf(options.text);
    const double interval = 60.0 / (options.wpm * 5.0);  // a word is five characters
    const double hold = std::min(longestHold, interval * 0.5);
    // The moment the last key comes up, then the alert (itself at most this long) and the end of
    // the ambience; the ring-out is not counted.
    double length = leadIn + static_cast<double>(keys.size()) * interval + hold;
    if (!options.alert.empty()) {
        length += alertGap + SampleLimits::longestAlertSeconds;
    }
    length = std::max(length, options.ambienceSeconds);
    if (length > longestRender) {
        context.fail(fmt::format(
            "the render would last about {} ({} keys at {:g} words per minute); at most {} can be "
            "rendered: give a shorter text or a higher --wpm",
            lengthText(length), keys.size(), options.wpm, lengthText(longestRender)));
        return;
    }

    const std::filesystem::path out = options.out;
    if (auto problem = unusableTarget(out)) {
        context.fail(*problem);
        return;
    }
    const std::filesystem::path partial = partialName(out);
    auto writer = WavFileWriter::create(partial);
    if (!writer) {
        context.fail(fmt::format("cannot write {}: {}", options.out, writer.error().description));
        return;
    }
    // Whatever ends the render early, the partial file goes with it.
    struct PartialFile {
        std::filesystem::path path;
        bool kept = false;
        ~PartialFile() {
            if (!kept) {
                std::error_code ignored;
                std::filesystem::remove(path, ignored);
            }
        }
    } cleanup{partial};
    auto output = std::make_shared<OfflineAudioOutput>(256, std::move(*writer));
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto created = SoundEngine::create({*loaded}, options.theme, std::move(dependencies));
    if (!created) {
        context.fail(fmt::format("theme \"{}\" cannot be played: {}", options.theme,
                                 describe(created.error())));
        return;
    }
    SoundEngine& engine = **created;

    std::vector<TimedEvent> events;
    double time = leadIn;
    double alertTime = leadIn;
    for (KeyKind key : keys) {
        events.push_back({frameAt(time), TimedEvent::Kind::key, {key, true, time}});
        events.push_back({frameAt(time + hold), TimedEvent::Kind::key, {key, false, time + hold}});
        alertTime = time + hold + alertGap;
        time += interval;
    }
    if (!options.alert.empty()) {
        events.push_back({frameAt(alertTime), TimedEvent::Kind::alert, {}});
    }
    if (options.ambienceSeconds > 0) {
        engine.setAmbience(true, static_cast<float>(SoundSettings{}.rainVolume));
        engine.waitUntilIdle();
        events.push_back({frameAt(options.ambienceSeconds), TimedEvent::Kind::ambienceOff, {}});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });

    std::int64_t rendered = 0;
    float peak = 0.0f;
    auto renderTo = [&](std::int64_t frame) {
        // A full disk shows as the first failed write; there is no point going on after it.
        while (rendered < frame && !output->writeError()) {
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(frame - rendered, static_cast<std::int64_t>(chunkFrames)));
            peak = std::max(peak, peakOf(output->render(count)));
            rendered += static_cast<std::int64_t>(count);
        }
    };
    for (const TimedEvent& event : events) {
        renderTo(event.frame);
        switch (event.kind) {
            case TimedEvent::Kind::key:
                engine.play(event.activity);
                break;
            case TimedEvent::Kind::alert:
                engine.playAlert(options.alert);
                engine.waitUntilIdle();
                break;
            case TimedEvent::Kind::ambienceOff:
                engine.setAmbience(false, static_cast<float>(SoundSettings{}.rainVolume));
                engine.waitUntilIdle();
                break;
        }
    }
    // Let the last sounds ring out: stop at the first silent chunk.
    const std::int64_t limit = rendered + frameAt(longestTail);
    while (rendered < limit && !output->writeError()) {
        const auto chunk = output->render(chunkFrames);
        rendered += static_cast<std::int64_t>(chunkFrames);
        peak = std::max(peak, peakOf(chunk));
        if (std::all_of(chunk.begin(), chunk.end(), [](float s) { return s == 0.0f; })) {
            break;
        }
    }
    created->reset();  // stops the engine before the file is finished
    if (auto closed = output->closeFile(); !closed) {
        context.fail(fmt::format("cannot write {}: {}", options.out, closed.error().description));
        return;
    }
    std::error_code renamed;
    std::filesystem::rename(partial, out, renamed);
    if (renamed) {
        context.fail(fmt::format("cannot write {}: {}", options.out, renamed.message()));
        return;
    }
    cleanup.kept = true;
    context.out << fmt::format("Wrote {} ({:.2f} s at {} Hz, peak {:.3f})\n", options.out,
                               static_cast<double>(rendered) / pcmSampleRate, pcmSampleRate, peak);
}

}  // namespace

void addRenderCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* command = app.add_subcommand(
        "render", "Type a text through a theme's sounds into a WAV file (offline).");
    command->add_option("--theme", options->theme, "Theme id (its folder name)")->required();
    command->add_option("--text", options->text, "Text to type; \\n is return, \\b backspace")
        ->required();
    // A range alone lets "nan" through: no comparison with it fails.
    const CLI::Validator finite(
        [](std::string& text) -> std::string {
            double value = 0;
            return CLI::detail::lexical_cast(text, value) && std::isfinite(value)
                       ? std::string()
                       : "must be a number";
        },
        "FINITE");
    command->add_option("--wpm", options->wpm, "Typing speed in words per minute")
        ->check(finite)
        ->check(CLI::Range(1.0, 2000.0));
    command->add_option("--alert", options->alert, "Alert to play after the text (e.g. rankUp)");
    command->add_option("--ambience", options->ambienceSeconds, "Seconds of the ambience loop")
        ->check(finite)
        ->check(CLI::Range(0.0, longestRender));
    command->add_option("--out", options->out, "WAV file to write")->required();
    command->add_option("--resources", options->resources, "Resource folder holding the themes");
    command->callback([&context, options] { runRender(context, *options); });
}

}  // namespace tapwell::cli

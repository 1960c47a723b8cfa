#include "themeimport/TypingLoudness.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "keyboard/KeyActivity.h"
#include "sound/OfflineAudioOutput.h"
#include "sound/SoundEngine.h"

namespace tapwell {
namespace {

// The two stages of the K-weighting pre-filter at 48 kHz: a high shelf (+4 dB above about
// 1.5 kHz) for the head's acoustic effect, then a high-pass near 38 Hz.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double process(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Low enough that the mixer's limiter never acts, so the measure stays linear in the gain.
constexpr float measuringVolume = 0.1f;
constexpr double keyInterval = 0.125;
constexpr double keyHold = 0.07;
constexpr double pauseAfterReturn = 0.4;

}  // namespace

double kWeightedLoudness(std::span<const float> samples) {
    Biquad shelf{1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                 0.73248077421585};
    Biquad highPass{1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};
    double sum = 0;
    for (float sample : samples) {
        const double y = highPass.process(shelf.process(sample));
        sum += y * y;
    }
    if (samples.empty() || sum <= 0) {
        return -std::numeric_limits<double>::infinity();
    }
    return -0.691 + 10.0 * std::log10(sum / static_cast<double>(samples.size()));
}

std::expected<double, std::string> typingPassageLoudness(const LoadedTheme& theme) {
    auto output = std::make_shared<OfflineAudioOutput>();
    SoundEngine::Dependencies dependencies;
    dependencies.output = output;
    auto created = SoundEngine::create({theme}, theme.theme.id, std::move(dependencies));
    if (!created) {
        return std::unexpected(describe(created.error()));
    }
    SoundEngine& engine = **created;
    engine.setTypingVolume(measuringVolume);
    engine.waitUntilIdle();

    // '#' is backspace.
    constexpr std::string_view passage =
        "the quick brown fox jumps ovr##er the lazy dog\npack my box with five dozen liquor jugs\n";
    struct Event {
        double at;
        KeyActivity activity;
    };
    std::vector<Event> events;
    double time = 0.05;
    for (char c : passage) {
        const KeyKind kind = c == ' '    ? KeyKind::space
                             : c == '\n' ? KeyKind::enter
                             : c == '#'  ? KeyKind::delete_
                                         : KeyKind::normal;
        events.push_back({time, {kind, true, time}});
        events.push_back({time + keyHold, {kind, false, time + keyHold}});
        time += keyInterval + (kind == KeyKind::enter ? pauseAfterReturn : 0.0);
    }

    std::vector<float> mix;
    auto renderTo = [&](double seconds) {
        const auto frame = static_cast<std::size_t>(std::llround(seconds * pcmSampleRate));
        if (frame > mix.size()) {
            const std::vector<float> chunk = output->render(frame - mix.size());
            mix.insert(mix.end(), chunk.begin(), chunk.end());
        }
    };
    for (const Event& event : events) {
        renderTo(event.at);
        engine.play(event.activity);
    }
    renderTo(time + 0.5);
    created->reset();
    return kWeightedLoudness(mix);
}

}  // namespace tapwell

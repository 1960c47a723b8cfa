#include "Loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

namespace tapwell::themegen {

double loudnessLufs(const Buffer& buffer) {
    // The two-stage K-weighting pre-filter for 48 kHz: a high shelf around 1.5 kHz (+4 dB) for
    // the head's acoustic effect, then a high-pass near 38 Hz.
    Biquad shelf(1.53512485958697, -2.69169618940638, 1.19839281085285, 1.0, -1.69065929318241,
                 0.73248077421585);
    Biquad highPass(1.0, -2.0, 1.0, 1.0, -1.99004745483398, 0.99007225036621);
    double sum = 0;
    for (const float s : buffer) {
        const double y = highPass.process(shelf.process(s));
        sum += y * y;
    }
    if (buffer.empty() || sum <= 0) {
        return -std::numeric_limits<double>::infinity();
    }
    return -0.691 + 10.0 * std::log10(sum / static_cast<double>(buffer.size()));
}

const std::vector<PassageEvent>& typingPassage() {
    static const std::vector<PassageEvent> passage = [] {
        // '#' is a backspace, '\n' a return.
        constexpr std::string_view text =
            "the quick brown fox jumps ovr##er the lazy dog\n"
            "pack my box with five dozen liquor jugs\n";
        std::vector<PassageEvent> events;
        Rng rng(0x7A9E11);
        double t = 0.05;
        for (const char c : text) {
            PassageKey key = PassageKey::normal;
            if (c == ' ') {
                key = PassageKey::space;
            } else if (c == '\n') {
                key = PassageKey::enter;
            } else if (c == '#') {
                key = PassageKey::backspace;
            }
            const double hold = rng.range(0.06, 0.095);
            events.push_back({t, key, true});
            events.push_back({t + hold, key, false});
            t += rng.range(0.09, 0.16) + (key == PassageKey::enter ? 0.4 : 0.0);
        }
        std::stable_sort(
            events.begin(), events.end(),
            [](const PassageEvent& a, const PassageEvent& b) { return a.atS < b.atS; });
        return events;
    }();
    return passage;
}

double sequenceLoudness(const std::vector<const Buffer*>& sounds) {
    Buffer all;
    for (const Buffer* s : sounds) {
        all.insert(all.end(), s->begin(), s->end());
        all.insert(all.end(), frames(0.25), 0.0f);
    }
    return loudnessLufs(all);
}

}  // namespace tapwell::themegen

#include "PassagePlayback.h"

#include <cmath>

#include "Loudness.h"
#include "sound/Mixer.h"
#include "sound/OfflineAudioOutput.h"

namespace tapwell::themegen {

namespace {

const std::string* sampleFor(const PassageEvent& event, const Theme::Sounds& sounds,
                             std::size_t& nextDown, std::size_t& nextUp) {
    auto next = [](const std::vector<std::string>& pool, std::size_t& position) {
        if (pool.empty()) {
            return static_cast<const std::string*>(nullptr);
        }
        const std::string* name = &pool[position % pool.size()];
        position = (position + 1) % pool.size();
        return name;
    };
    if (!event.down) {
        return next(sounds.keyUp, nextUp);
    }
    switch (event.key) {
        case PassageKey::normal:
            return next(sounds.keyDown, nextDown);
        case PassageKey::space:
            return &sounds.space;
        case PassageKey::enter:
            return &sounds.enter;
        case PassageKey::backspace:
            return &sounds.backspace;
    }
    return nullptr;
}

}  // namespace

std::expected<Buffer, std::string> playTypingPassage(const PreparedTheme& theme) {
    const std::vector<PassageEvent>& events = typingPassage();
    Mixer mixer;
    OfflineAudioOutput output;
    if (auto started = output.start(mixer); !started) {
        return std::unexpected(started.error().description);
    }
    mixer.setBusGains(1.0f, 1.0f, 1.0f);
    const float upGain = std::pow(10.0f, theme.theme.mix.keyUpRelativeDb / 20.0f);

    Buffer mix;
    // A sound handed to the mixer starts at the first frame of the next render, so the passage is
    // rendered up to each event before the event's sound is played.
    auto renderUntil = [&](std::size_t frame) {
        if (frame > mix.size()) {
            const std::vector<float> block = output.render(frame - mix.size());
            mix.insert(mix.end(), block.begin(), block.end());
        }
    };
    std::size_t nextVoice = 0, nextDown = 0, nextUp = 0;
    for (const PassageEvent& event : events) {
        const std::string* name = sampleFor(event, theme.theme.sounds, nextDown, nextUp);
        SharedPcmBuffer buffer = name != nullptr ? theme.shared(*name) : nullptr;
        if (!buffer) {
            continue;
        }
        renderUntil(frames(event.atS));
        mixer.play(Mixer::typingVoice(nextVoice), std::move(buffer), event.down ? 1.0f : upGain);
        nextVoice = (nextVoice + 1) % Mixer::typingVoiceCount;
    }
    renderUntil(frames(events.back().atS + 0.5));
    output.stop();
    return mix;
}

}  // namespace tapwell::themegen

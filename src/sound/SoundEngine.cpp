#include "sound/SoundEngine.h"

#include <cmath>

#include "core/Log.h"
#include "themes/ThemeChoice.h"

namespace tapwell {

namespace {

constexpr double previewNoteSpacing = 0.12;
constexpr std::size_t previewNoteCount = 5;
constexpr double previewResetDelay = 0.6;
constexpr float softerFactor = 0.45f;

float decibelsToGain(float decibels) {
    return std::pow(10.0f, decibels / 20.0f);
}

}  // namespace

float SoundEngine::clampVolume(float value) {
    if (!(value >= 0.0f)) {  // also NaN
        return 0.0f;
    }
    return value > 1.0f ? 1.0f : value;
}

SoundEngine::SoundEngine(Dependencies dependencies)
    : queue_(std::make_unique<SerialQueue>(
          "com.tapwell.audio",
          (dependencies.clock != nullptr ? *dependencies.clock : SystemClock::shared())
              .scheduler())),
      output_(std::move(dependencies.output)),
      mixer_(std::make_unique<Mixer>()),
      devices_(std::move(dependencies.devices)),
      clock_(dependencies.clock != nullptr ? dependencies.clock : &SystemClock::shared()),
      delayScheduler_(std::move(dependencies.delayScheduler)) {}

std::expected<std::unique_ptr<SoundEngine>, SoundEngineError> SoundEngine::create(
    const std::vector<LoadedTheme>& loadedThemes, const std::optional<std::string>& preferredID,
    Dependencies dependencies) {
    if (!dependencies.output) {
        return std::unexpected(AudioError::invalidFormat);
    }
    std::unique_ptr<SoundEngine> engine(new SoundEngine(std::move(dependencies)));

    for (const LoadedTheme& loaded : loadedThemes) {
        auto prepared = PreparedTheme::prepare(loaded);
        if (!prepared) {
            continue;  // such a theme is simply not available
        }
        const std::string id = prepared->theme.id;
        engine->themes_.insert_or_assign(id, std::move(*prepared));
    }

    for (const auto& [id, theme] : engine->themes_) {
        engine->availableIDs_.insert(id);
    }
    std::vector<const Theme*> listed;
    for (const LoadedTheme& loaded : loadedThemes) {
        listed.push_back(&loaded.theme);
    }
    const auto chosen = chooseThemeID(listed, engine->availableIDs_, preferredID);
    if (!chosen) {
        return std::unexpected(ThemeError::defaultThemeUnavailable());
    }
    engine->select(engine->themes_.at(*chosen));

    SoundEngine* raw = engine.get();
    auto started = raw->queue_->sync([raw]() -> std::expected<void, Error> {
        raw->applyVolumes();
        return raw->startEngine();
    });
    if (!started) {
        return std::unexpected(std::move(started.error()));
    }

    // The handler only posts to the queue; the destructor removes it before the queue goes.
    raw->output_->setConfigurationChangeHandler(
        [raw] { raw->queue_->async([raw] { raw->restartAfterConfigurationChange(); }); });
    raw->observing_ = true;
    return engine;
}

SoundEngine::~SoundEngine() {
    if (observing_) {
        output_->setConfigurationChangeHandler({});
    }
    // Work already submitted may still submit more (a theme preview schedules its notes): it must
    // finish while `queue_` is still set, since resetting clears the pointer before the queue
    // finishes. Destroying the queue then drops pending preview notes and joins the worker, so
    // nothing runs on the queue while the fields below go away.
    queue_->sync([] {});
    queue_.reset();
    output_->stop();
}

bool SoundEngine::isSoundOn() const {
    return preferences_.isSoundOn(clock_->now());
}

std::optional<std::string_view> SoundEngine::sample(const KeyActivity& activity) {
    const Theme::Sounds& sounds = selected_->theme.sounds;
    auto next = [](const std::vector<std::string>& pool,
                   std::int64_t& position) -> std::optional<std::string_view> {
        if (pool.empty()) {
            return std::nullopt;
        }
        const auto n = static_cast<std::int64_t>(pool.size());
        const std::int64_t i = ((position % n) + n) % n;
        position = (i + 1) % n;
        return pool[static_cast<std::size_t>(i)];
    };
    if (!activity.isDown) {
        return next(sounds.keyUp, variation_.nextUp);
    }
    switch (activity.kind) {
        case KeyKind::normal:
            return next(sounds.keyDown, variation_.nextDown);
        case KeyKind::space:
            return sounds.space;
        case KeyKind::enter:
            return sounds.enter;
        case KeyKind::delete_:
            return sounds.backspace;
    }
    return std::nullopt;
}

void SoundEngine::select(const PreparedTheme& theme) {
    selected_ = &theme;
    const Theme::Mix& mix = theme.theme.mix;
    mixGains_ = MixGains{decibelsToGain(mix.typingGainDb), decibelsToGain(mix.alertGainDb),
                         decibelsToGain(mix.keyUpRelativeDb)};
}

void SoundEngine::applyVolumes() {
    BusVolumes volumes;
    appliedSoundOn_ = isSoundOn();
    if (appliedSoundOn_ && !suspended_ && !contextMuted_) {
        volumes.typing = typingVolume_ * (softer_ ? softerFactor : 1.0f) * mixGains_.typing;
        volumes.alert = alertVolume_ * mixGains_.alert;
        volumes.ambience = ambienceVolume_;
    }
    volumes_ = volumes;
    if (sentGains_ == volumes) {
        return;
    }
    if (mixer_->setBusGains(volumes.typing, volumes.alert, volumes.ambience)) {
        sentGains_ = volumes;
    } else {
        sentGains_.reset();  // try again next time
    }
}

std::expected<void, Error> SoundEngine::startEngine() {
    // The mixer's voices are always ready to play; only the output needs starting.
    if (!output_->isRunning()) {
        return output_->start(*mixer_);
    }
    return {};
}

void SoundEngine::stopAllVoices() {
    for (std::size_t v = 0; v < Mixer::ambienceVoice; ++v) {
        mixer_->stop(v);
    }
}

void SoundEngine::refreshAmbience() {
    mixer_->stop(Mixer::ambienceVoice);
    const auto& ambience = selected_->theme.sounds.ambience;
    if (!rainEnabled_ || !ambience || !output_->isRunning()) {
        return;
    }
    if (SharedPcmBuffer buffer = selected_->shared(*ambience)) {
        mixer_->loop(Mixer::ambienceVoice, std::move(buffer), 1.0f);
    }
}

void SoundEngine::play(const KeyActivity& activity) {
    queue_->sync([this, &activity] {
        if (!isSoundOn() || suspended_ || !output_->isRunning()) {
            return;
        }
        // Every setter applies the volumes itself; only the end of a timed mute comes with time
        // alone, and a failed hand-over to the mixer is tried again.
        if (!appliedSoundOn_ || !sentGains_) {
            applyVolumes();
        }
        const auto name = sample(activity);
        if (!name) {
            return;
        }
        const auto it = selected_->buffers.find(*name);
        if (it == selected_->buffers.end()) {
            return;
        }
        const auto voice = static_cast<std::size_t>(nextVoice_);
        nextVoice_ = (nextVoice_ + 1) % static_cast<std::int64_t>(Mixer::typingVoiceCount);
        mixer_->play(Mixer::typingVoice(voice), it->second,
                     activity.isDown ? 1.0f : mixGains_.keyUp);
    });
}

void SoundEngine::playAlert(std::string name) {
    queue_->async([this, name = std::move(name)] {
        if (!isSoundOn() || suspended_) {
            return;
        }
        const auto& alerts = selected_->theme.sounds.alerts;
        const auto entry = alerts.find(name);
        if (entry == alerts.end()) {
            return;
        }
        SharedPcmBuffer buffer = selected_->shared(entry->second);
        if (!buffer) {
            return;
        }
        const auto voice = static_cast<std::size_t>(nextAlert_);
        nextAlert_ = (nextAlert_ + 1) % static_cast<std::int64_t>(Mixer::alertVoiceCount);
        mixer_->play(Mixer::alertVoice(voice), std::move(buffer), 1.0f);
    });
}

void SoundEngine::scheduleDelayed(double delaySeconds, std::function<void()> work) {
    if (delayScheduler_) {
        delayScheduler_(delaySeconds, [this, work = std::move(work)] { queue_->async(work); });
    } else {
        queue_->asyncAfter(delaySeconds, std::move(work));
    }
}

void SoundEngine::preview() {
    queue_->async([this] {
        const std::int64_t generation = ++previewGeneration_;
        for (std::size_t k = 0; k < previewNoteCount; ++k) {
            scheduleDelayed(static_cast<double>(k) * previewNoteSpacing,
                            [this, generation, k] { previewNote(generation, k); });
        }
        scheduleDelayed(previewResetDelay, [this, generation] { previewReset(generation); });
    });
}

void SoundEngine::previewNote(std::int64_t generation, std::size_t k) {
    if (previewGeneration_ != generation || !isSoundOn() || suspended_) {
        return;
    }
    const auto& pool = selected_->theme.sounds.keyDown;
    if (pool.empty()) {
        return;
    }
    SharedPcmBuffer buffer = selected_->shared(pool[k % pool.size()]);
    if (!buffer) {
        return;
    }
    mixer_->play(Mixer::previewVoice(k % Mixer::previewVoiceCount), std::move(buffer), 1.0f);
}

void SoundEngine::previewReset(std::int64_t generation) {
    if (previewGeneration_ != generation) {
        return;
    }
    for (std::size_t i = 0; i < Mixer::previewVoiceCount; ++i) {
        mixer_->stop(Mixer::previewVoice(i));
    }
}

bool SoundEngine::selectTheme(const std::string& id) {
    return queue_->sync([this, &id] {
        const auto it = themes_.find(id);
        if (it == themes_.end()) {
            return false;
        }
        ++previewGeneration_;
        stopAllVoices();
        select(it->second);
        variation_ = SoundVariation{};
        applyVolumes();
        refreshAmbience();
        return true;
    });
}

std::string SoundEngine::selectedID() {
    return queue_->sync([this] { return selected_->theme.id; });
}

void SoundEngine::setTypingVolume(float volume) {
    queue_->async([this, volume] {
        typingVolume_ = clampVolume(volume);
        applyVolumes();
    });
}

void SoundEngine::setAlertVolume(float volume) {
    queue_->async([this, volume] {
        alertVolume_ = clampVolume(volume);
        applyVolumes();
    });
}

void SoundEngine::setAmbience(bool enabled, float volume) {
    queue_->async([this, enabled, volume] {
        const bool wasEnabled = rainEnabled_;
        rainEnabled_ = enabled;
        ambienceVolume_ = clampVolume(volume);
        applyVolumes();
        if (enabled != wasEnabled) {
            refreshAmbience();
        }
    });
}

void SoundEngine::setEnabled(bool enabled, std::optional<Date> mutedUntil) {
    queue_->async([this, enabled, mutedUntil] {
        preferences_ = SoundPreferences{enabled, mutedUntil};
        applyVolumes();
    });
}

void SoundEngine::setSuspended(bool suspended) {
    queue_->async([this, suspended] {
        suspended_ = suspended;
        applyVolumes();
    });
}

void SoundEngine::setContextMuted(bool muted) {
    queue_->async([this, muted] {
        contextMuted_ = muted;
        applyVolumes();
    });
}

void SoundEngine::setSofter(bool softer) {
    queue_->async([this, softer] {
        softer_ = softer;
        applyVolumes();
    });
}

void SoundEngine::refreshMute() {
    queue_->async([this] { applyVolumes(); });
}

void SoundEngine::restartAfterConfigurationChange() {
    output_->stop();
    stopAllVoices();
    if (auto started = startEngine(); !started) {
        logger(LogCategory::audio).error("Audio restart failed: {}", started.error().description);
        return;
    }
    refreshAmbience();
}

std::expected<void, SoundEngineError> SoundEngine::setBuiltInOutput(bool builtIn) {
    return queue_->sync([this, builtIn]() -> std::expected<void, SoundEngineError> {
        if (!devices_) {
            return std::unexpected(AudioError::invalidFormat);
        }
        const auto defaultDevice = devices_->defaultOutputDevice();
        std::optional<AudioDevice> target;
        if (builtIn) {
            auto list = devices_->outputDevices();
            if (!list) {
                return std::unexpected(std::move(list.error()));
            }
            for (const OutputDeviceInfo& info : *list) {
                if (info.builtIn && info.hasOutput) {
                    target = info.device;
                    break;
                }
            }
        } else if (defaultDevice) {
            target = *defaultDevice;
        }
        if (!target) {
            return std::unexpected(AudioError::invalidFormat);
        }

        // Following the system default is a device setting of its own, so it is restored too.
        const std::optional<AudioDevice> previous = output_->currentDevice();
        output_->stop();
        std::expected<void, Error> result = output_->setCurrentDevice(target);
        if (result) {
            result = startEngine();
            if (result) {
                refreshAmbience();
                return {};
            }
        }
        (void)output_->setCurrentDevice(previous);
        (void)startEngine();
        refreshAmbience();
        return std::unexpected(std::move(result.error()));
    });
}

void SoundEngine::waitUntilIdle() {
    queue_->sync([] {});
}

BusVolumes SoundEngine::busVolumes() {
    return queue_->sync([this] { return volumes_; });
}

}  // namespace tapwell

#include "sound/SoundEngine.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
      loader_(std::make_unique<SerialQueue>("com.tapwell.theme-loader")),
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

    // Only the selected theme's key sounds stand between the start and the first key: the choice
    // is made over every theme given, and made again without one whose keys fail to decode.
    std::map<std::string, const LoadedTheme*> byID;
    std::vector<const Theme*> listed;
    for (const LoadedTheme& loaded : loadedThemes) {
        byID.insert_or_assign(loaded.theme.id, &loaded);
        listed.push_back(&loaded.theme);
    }
    std::set<std::string> candidates;
    for (const auto& [id, loaded] : byID) {
        candidates.insert(id);
    }
    std::optional<std::string> chosen;
    while ((chosen = chooseThemeID(listed, candidates, preferredID))) {
        std::string file;
        auto prepared = PreparedTheme::prepareKeys(*byID.at(*chosen), &file);
        if (prepared) {
            engine->themes_.insert_or_assign(*chosen, std::move(*prepared));
            engine->availableIDs_.insert(*chosen);
            break;
        }
        engine->noteUnavailable(*chosen, file, prepared.error());
        candidates.erase(*chosen);
    }
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
    std::vector<LoadedTheme> others;
    for (const auto& [id, loaded] : byID) {
        if (candidates.contains(id) && id != *chosen) {
            others.push_back(*loaded);
        }
    }
    raw->others_ = std::move(others);
    raw->othersPending_ = !raw->others_.empty();

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
    // Runs what was submitted, drops pending preview notes and joins the worker, so nothing runs
    // on the queue while the fields below go away. While it empties, `queue_` already reads as
    // null: what still runs must not schedule more.
    queue_->sync([this] { closing_ = true; });
    // Nothing asks the loader for more now; what it still hands back finds the engine closing.
    loader_.reset();
    queue_.reset();
    output_->stop();
}

void SoundEngine::noteUnavailable(const std::string& id, const std::string& file,
                                  const AudioLoadError& error) {
    // Such a theme is not offered; the catalogue's owner learns why.
    std::string reason = "\"" + file + "\" cannot be decoded: " + describe(error);
    logger(LogCategory::audio).warn("Theme {} is unavailable: {}", id, reason);
    unavailable_.insert_or_assign(id, std::move(reason));
}

void SoundEngine::prepareOtherThemes() {
    std::vector<LoadedTheme> themes;
    {
        std::lock_guard lock(othersMutex_);
        themes = std::exchange(others_, {});
    }
    if (themes.empty()) {
        return;
    }
    loader_->async([this, themes = std::move(themes)] {
        struct Outcome {
            std::string id;
            std::expected<PreparedTheme, AudioLoadError> prepared;
            std::string file;
        };
        std::vector<Outcome> outcomes;
        for (const LoadedTheme& loaded : themes) {
            Outcome outcome{loaded.theme.id, std::unexpected(AudioError::invalidFormat), {}};
            outcome.prepared = PreparedTheme::prepareKeys(loaded, &outcome.file);
            outcomes.push_back(std::move(outcome));
        }
        queue_->async([this, outcomes = std::move(outcomes)]() mutable {
            if (closing_) {
                return;
            }
            for (Outcome& outcome : outcomes) {
                if (!outcome.prepared) {
                    noteUnavailable(outcome.id, outcome.file, outcome.prepared.error());
                } else if (themes_.emplace(outcome.id, std::move(*outcome.prepared)).second) {
                    // A theme added meanwhile under the same id is newer: it stays.
                    availableIDs_.insert(outcome.id);
                }
            }
            othersPending_ = false;
        });
    });
}

void SoundEngine::waitForOtherThemes() {
    if (othersPending_) {
        prepareOtherThemes();
        loader_->sync([] {});
    }
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

void SoundEngine::select(PreparedTheme& theme) {
    if (selected_ != nullptr && selected_ != &theme) {
        selected_->dropAllButKeys();
    }
    selected_ = &theme;
    ++selection_;
    requested_.clear();
    pending_.clear();
    waitingAlerts_.clear();  // meant for the theme that played them
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
    if (!rainEnabled_ && ambience &&
        !PreparedTheme::keyFiles(selected_->theme.sounds).contains(*ambience) &&
        !PreparedTheme::alertFiles(selected_->theme.sounds).contains(*ambience)) {
        // Seconds of audio that nothing plays while the rain is off.
        selected_->buffers.erase(*ambience);
        requested_.erase(*ambience);
    }
    if (!rainEnabled_ || !ambience || !output_->isRunning()) {
        return;
    }
    if (SharedPcmBuffer buffer = selected_->shared(*ambience)) {
        mixer_->loop(Mixer::ambienceVoice, std::move(buffer), 1.0f);
    } else {
        requestSamples({*ambience});  // loops once it is decoded
    }
}

void SoundEngine::requestSamples(const std::set<std::string>& names) {
    if (closing_) {
        return;
    }
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        if (!selected_->buffers.contains(name) && requested_.insert(name).second) {
            missing.push_back(name);
            pending_.insert(name);
        }
    }
    if (missing.empty()) {
        return;
    }
    // A copy of what decoding needs: the theme may be replaced or dropped meanwhile.
    PreparedTheme source{selected_->theme, selected_->directory, {}};
    loader_->async(
        [this, source = std::move(source), missing = std::move(missing), selection = selection_] {
            std::vector<std::pair<std::string, SharedPcmBuffer>> decoded;
            for (const std::string& name : missing) {
                auto buffer = source.decode(name);
                if (!buffer) {
                    logger(LogCategory::audio)
                        .warn("Theme {}: \"{}\" cannot be decoded and stays silent: {}",
                              source.theme.id, name, describe(buffer.error()));
                }
                decoded.emplace_back(name, buffer ? std::move(*buffer) : nullptr);
            }
            queue_->async([this, selection, decoded = std::move(decoded)]() mutable {
                receiveDecoded(selection, std::move(decoded));
            });
        });
}

void SoundEngine::receiveDecoded(std::uint64_t selection,
                                 std::vector<std::pair<std::string, SharedPcmBuffer>> decoded) {
    if (closing_ || selection != selection_) {
        return;  // decoded for a theme that is no longer selected
    }
    bool ambienceArrived = false;
    for (auto& [name, buffer] : decoded) {
        pending_.erase(name);
        if (!buffer || !requested_.contains(name)) {
            continue;  // failed (and logged), or the rain went off meanwhile
        }
        ambienceArrived = ambienceArrived || name == selected_->theme.sounds.ambience;
        selected_->buffers.insert_or_assign(name, std::move(buffer));
    }
    if (ambienceArrived) {
        refreshAmbience();
    }
    // Alerts still on the way wait on; the others play now or, when they failed, never.
    auto waiting = std::exchange(waitingAlerts_, {});
    for (std::string& name : waiting) {
        playAlertNow(std::move(name));
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
    queue_->async([this, name = std::move(name)]() mutable { playAlertNow(std::move(name)); });
}

void SoundEngine::playAlertNow(std::string name) {
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
        // Most sessions play few alerts, so each is decoded when first asked for. That takes
        // milliseconds: the alert is still meant when its sample arrives, and is played once
        // however often it was asked for meanwhile. A file that failed stays silent.
        requestSamples({entry->second});
        if (pending_.contains(entry->second) && waitingAlerts_.size() < Mixer::alertVoiceCount &&
            std::find(waitingAlerts_.begin(), waitingAlerts_.end(), name) == waitingAlerts_.end()) {
            waitingAlerts_.push_back(std::move(name));
        }
        return;
    }
    const auto voice = static_cast<std::size_t>(nextAlert_);
    nextAlert_ = (nextAlert_ + 1) % static_cast<std::int64_t>(Mixer::alertVoiceCount);
    mixer_->play(Mixer::alertVoice(voice), std::move(buffer), 1.0f);
}

void SoundEngine::scheduleDelayed(double delaySeconds, std::function<void()> work) {
    if (closing_) {
        return;
    }
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
    waitForOtherThemes();
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

bool SoundEngine::removeTheme(const std::string& id) {
    waitForOtherThemes();
    return queue_->sync([this, &id] {
        const auto it = themes_.find(id);
        if (it == themes_.end() || &it->second == selected_) {
            return false;
        }
        themes_.erase(it);
        availableIDs_.erase(id);
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

bool SoundEngine::hasBuiltInOutput() {
    return queue_->sync([this] {
        if (!devices_) {
            return false;
        }
        const auto list = devices_->outputDevices();
        return list && std::any_of(list->begin(), list->end(), [](const OutputDeviceInfo& info) {
                   return info.builtIn && info.hasOutput;
               });
    });
}

std::expected<void, AudioLoadError> SoundEngine::addTheme(const LoadedTheme& loaded) {
    auto prepared = PreparedTheme::prepare(loaded);
    if (!prepared) {
        return std::unexpected(std::move(prepared.error()));
    }
    prepared->dropAllButKeys();
    queue_->sync([this, &prepared] {
        const std::string id = prepared->theme.id;
        // Assigning keeps the map node, so `selected_` stays valid; voices still playing the old
        // samples hold their own references to them.
        auto [it, inserted] = themes_.insert_or_assign(id, std::move(*prepared));
        availableIDs_.insert(id);
        if (selected_ == &it->second) {
            ++previewGeneration_;
            variation_ = SoundVariation{};
            select(it->second);  // the new manifest's gains, and its alerts decoded afresh
            applyVolumes();
            refreshAmbience();
        }
    });
    return {};
}

std::set<std::string> SoundEngine::availableIDs() {
    waitForOtherThemes();
    return queue_->sync([this] { return availableIDs_; });
}

std::map<std::string, std::string> SoundEngine::unavailableThemes() {
    waitForOtherThemes();
    return queue_->sync([this] { return unavailable_; });
}

std::set<std::string> SoundEngine::decodedFiles(const std::string& id) {
    waitForOtherThemes();
    return queue_->sync([this, &id] {
        std::set<std::string> names;
        if (const auto it = themes_.find(id); it != themes_.end()) {
            for (const auto& [name, buffer] : it->second.buffers) {
                names.insert(name);
            }
        }
        return names;
    });
}

void SoundEngine::waitUntilIdle() {
    // Work on the queue may ask the loader for samples, which it hands back to the queue.
    queue_->sync([] {});
    loader_->sync([] {});
    queue_->sync([] {});
}

BusVolumes SoundEngine::busVolumes() {
    return queue_->sync([this] { return volumes_; });
}

}  // namespace tapwell

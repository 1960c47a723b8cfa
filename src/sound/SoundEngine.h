#pragma once
// Turns key events and named alerts into sound. Holds every theme's key sounds in memory (each
// alert of the selected theme once it is first asked for, and its ambience while the rain setting
// is on, are decoded on a loader thread of their own and dropped when another theme is selected),
// keeps fixed pools of voices on three buses (typing, alerts, ambience) in a `Mixer`, and plays a
// sample by handing an already decoded buffer to the next voice of a pool. Also plays theme
// previews, loops the ambience sample while the rain setting is on, applies the user's volumes, the
// theme's mix gains and every kind of muting to the buses, switches themes, routes the output to
// the built-in speakers, and restarts the output when the device goes away or the default device
// changes.
//
// Every field below is owned by the serial queue "com.tapwell.audio". `play`, `selectTheme`,
// `selectedID`, `setBuiltInOutput`, `addTheme`, `removeTheme`, `availableIDs`,
// `unavailableThemes`, `hasBuiltInOutput` (and `waitUntilIdle`, `busVolumes`) wait for the queue;
// the setters, `playAlert` and `preview` return at once. `play` runs on the caller's thread when
// the queue is idle and costs one pool lookup, one map lookup and one lock-free command push: no
// allocation, no file access, no logging. Gains are worked out when a volume, the theme or the
// muting changes, never per key.

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "core/SerialQueue.h"
#include "keyboard/KeyActivity.h"
#include "preferences/SoundSettings.h"
#include "sound/AudioError.h"
#include "sound/AudioOutput.h"
#include "sound/Mixer.h"
#include "sound/OutputDevices.h"
#include "sound/PreparedTheme.h"
#include "themes/Theme.h"

namespace tapwell {

// The user's sound switch and timed mute.
struct SoundPreferences {
    bool enabled = true;
    std::optional<Date> mutedUntil;

    // On when enabled and no timed mute is running at `now` (a mute ends at its end time).
    bool isSoundOn(Date now) const { return enabled && (!mutedUntil || now >= *mutedUntil); }
};

// Cyclic positions in the key-down and key-up pools.
struct SoundVariation {
    std::int64_t nextDown = 0;
    std::int64_t nextUp = 0;
};

// The three bus output volumes as last applied.
struct BusVolumes {
    float typing = 0;
    float alert = 0;
    float ambience = 0;

    bool operator==(const BusVolumes&) const = default;
};

class SoundEngine {
  public:
    // Runs `fire` (on any thread) no earlier than `delaySeconds` from now. The engine's preview
    // notes go through it; by default they are delayed work on the engine's own queue.
    using DelayScheduler = std::function<void(double delaySeconds, std::function<void()> fire)>;

    struct Dependencies {
        std::shared_ptr<AudioOutput> output;     // required
        std::shared_ptr<OutputDevices> devices;  // none: routing is unavailable
        const Clock* clock = nullptr;            // none: the system clock
        DelayScheduler delayScheduler;           // none: the engine's queue
    };

    // Chooses the selected theme (`chooseThemeID` over the themes given; one whose key sounds fail
    // to decode is passed over and the choice made again without it; of several themes with one
    // id the last counts), prepares its key sounds, builds the voices and starts the output: the
    // first key plays as soon as possible. The key sounds of every other theme are prepared on the
    // loader thread once `prepareOtherThemes` is called (or anything below waits for them), so
    // that switching to one is instant; until they are, `selectTheme`, `removeTheme`,
    // `availableIDs`, `unavailableThemes` and `decodedFiles` wait for them. An alert of the
    // selected theme is decoded on the loader thread when it is first asked for and kept while the
    // theme stays selected; it plays as soon as it is decoded, and one whose file fails to decode
    // stays silent (and is logged once). Fails with `ThemeError::defaultThemeUnavailable` when no
    // theme could be prepared, or with the output's start error.
    static std::expected<std::unique_ptr<SoundEngine>, SoundEngineError> create(
        const std::vector<LoadedTheme>& loadedThemes, const std::optional<std::string>& preferredID,
        Dependencies dependencies);

    ~SoundEngine();
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    void play(const KeyActivity& activity);
    void playAlert(std::string name);
    void preview();
    bool selectTheme(const std::string& id);
    // Starts preparing the key sounds of the themes `create` left for later, once; returns at once.
    // The owner calls it when the start is over, so that the decoding does not compete with it.
    void prepareOtherThemes();
    // Makes a theme unselectable (its samples go once no voice plays them). Refuses (false) the
    // selected theme and an unknown id.
    bool removeTheme(const std::string& id);
    std::string selectedID();

    void setTypingVolume(float volume);
    void setAlertVolume(float volume);
    void setAmbience(bool enabled, float volume);
    void setEnabled(bool enabled, std::optional<Date> mutedUntil);
    void setSuspended(bool suspended);
    void setContextMuted(bool muted);
    void setSofter(bool softer);
    void refreshMute();

    // Points the output at the built-in speakers (true) or back at the system's default output
    // device (false) and restarts playback. Fails with `AudioError::invalidFormat` when there is
    // no such device (the output is then left untouched), or with the device layer's or the
    // output's error, in which case the previous device is restored and playback resumed.
    std::expected<void, SoundEngineError> setBuiltInOutput(bool builtIn);

    // Whether the device layer knows built-in speakers that can play; false without a device
    // layer or when it cannot list its devices. Asks the sound server each time.
    bool hasBuiltInOutput();

    // Prepares `loaded` on the calling thread (decoding takes a while, so never on the queue, where
    // it would hold up key sounds; every file is decoded once to check it, the key sounds are
    // kept) and then makes it selectable. A theme with a known id replaces
    // the old one; when that one is selected, its new samples play from the next key on. Fails
    // with the first file that does not decode, changing nothing.
    std::expected<void, AudioLoadError> addTheme(const LoadedTheme& loaded);

    // The identifiers of the prepared themes.
    std::set<std::string> availableIDs();
    // The files of a theme whose samples are decoded right now (waits for the queue).
    std::set<std::string> decodedFiles(const std::string& id);
    // The themes given to `create` that could not be prepared, each with a sentence naming the
    // file and the reason (the catalogue checks headers only; a file can still fail to decode).
    std::map<std::string, std::string> unavailableThemes();

    // Returns once everything submitted to the engine before has run, including the decoding of
    // the samples it asked for by then.
    void waitUntilIdle();
    // The bus volumes last applied (waits for the queue).
    BusVolumes busVolumes();
    // The render side, for outputs that are driven by hand and for measurements.
    Mixer& mixer() { return *mixer_; }

    // Clamps to 0...1; NaN gives 0.
    static float clampVolume(float value);

  private:
    SoundEngine(Dependencies dependencies);

    bool isSoundOn() const;
    std::optional<std::string_view> sample(const KeyActivity& activity);
    void select(PreparedTheme& theme);
    // Returns once the key sounds of the themes `create` left to the loader are in `themes_`, when
    // followed by work on the queue (the loader hands them to the queue before it is done).
    void waitForOtherThemes();

    void noteUnavailable(const std::string& id, const std::string& file,
                         const AudioLoadError& error);
    // Hands the files of the selected theme that are not decoded, failed or on the way yet to the
    // loader; they arrive through `receiveDecoded`.
    void requestSamples(const std::set<std::string>& names);
    void playAlertNow(std::string name);
    void receiveDecoded(std::uint64_t generation,
                        std::vector<std::pair<std::string, SharedPcmBuffer>> decoded);
    void applyVolumes();
    std::expected<void, Error> startEngine();
    void stopAllVoices();
    void refreshAmbience();
    void restartAfterConfigurationChange();
    void previewNote(std::int64_t generation, std::size_t k);
    void previewReset(std::int64_t generation);
    void scheduleDelayed(double delaySeconds, std::function<void()> work);

    std::unique_ptr<SerialQueue> queue_;
    // Decodes the selected theme's alerts and ambience, away from the queue the keys play on.
    std::unique_ptr<SerialQueue> loader_;
    std::shared_ptr<AudioOutput> output_;  // the "engine": the device the mixer plays to
    std::unique_ptr<Mixer> mixer_;
    std::map<std::string, PreparedTheme> themes_;
    PreparedTheme* selected_ = nullptr;
    // Counts selections, so that samples decoded for an earlier one are not installed.
    std::uint64_t selection_ = 0;
    std::set<std::string> requested_;  // of the selected theme: decoded, failed or on the way
    std::set<std::string> pending_;    // on the way
    std::vector<std::string> waitingAlerts_;  // asked for while their samples were on the way
    std::set<std::string> availableIDs_;
    std::map<std::string, std::string> unavailable_;
    // The themes left for later, until prepareOtherThemes hands them to the loader.
    std::mutex othersMutex_;
    std::vector<LoadedTheme> others_;
    // Set while other themes wait or the loader prepares them; cleared on the queue.
    std::atomic<bool> othersPending_{false};
    SoundVariation variation_;
    std::int64_t nextVoice_ = 0;
    std::int64_t nextAlert_ = 0;
    std::int64_t previewGeneration_ = 0;
    // Set on the queue as the engine goes away: work still queued then (a preview) schedules
    // nothing more.
    bool closing_ = false;
    SoundPreferences preferences_;
    bool suspended_ = false;
    // Until the owner says otherwise, the settings' defaults.
    float typingVolume_ = static_cast<float>(SoundSettings{}.typingVolume);
    float alertVolume_ = static_cast<float>(SoundSettings{}.alertVolume);
    float ambienceVolume_ = static_cast<float>(SoundSettings{}.rainVolume);
    bool rainEnabled_ = false;
    bool softer_ = false;
    bool contextMuted_ = false;
    bool observing_ = false;

    std::shared_ptr<OutputDevices> devices_;
    const Clock* clock_;
    DelayScheduler delayScheduler_;
    // The selected theme's mix as linear gains, worked out once per theme.
    struct MixGains {
        float typing = 1.0f;
        float alert = 1.0f;
        float keyUp = 1.0f;
    };
    MixGains mixGains_;
    BusVolumes volumes_;                   // as last applied
    bool appliedSoundOn_ = false;          // the sound switch and timed mute, as last applied
    std::optional<BusVolumes> sentGains_;  // as last handed to the mixer
};

// Creates the sound engine for the loaded themes and the preferred theme id; the error text is
// logged when it fails. The platform supplies it with its own output.
using SoundEngineFactory = std::function<std::expected<std::unique_ptr<SoundEngine>, std::string>(
    const std::vector<LoadedTheme>& themes, const std::optional<std::string>& preferredID)>;

}  // namespace tapwell

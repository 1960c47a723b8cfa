#include "app/TapwellApp.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/AppState.h"
#include "app/DesktopModule.h"
#include "core/Log.h"
#include "core/ResourceLocator.h"
#include "core/RunLoop.h"
#include "core/ThreadName.h"
#include "core/UserDefaults.h"
#include "core/UserInstance.h"
#include "platform/DesktopServices.h"
#include "platform/PlatformServices.h"
#include "preferences/AppPreferences.h"

namespace tapwell {

namespace {

// What a person running Tapwell from a terminal needs to know, in the chosen language, said once
// per change and only once it is known: the keyboard's state after the key monitor's first look,
// the sound's only when there is sound.
class TerminalReporter {
  public:
    explicit TerminalReporter(const cli::AppOptions& options) : options_(options) {}

    void start(const AppState& state) {
        if (!state.audioAvailable()) {
            const std::string reason = state.audioProblem().value_or("?");
            if (options_.audio.kind == AudioOutputChoice::Kind::wav && anyThemeLoaded(state)) {
                sayText(state.localization().format("terminal.silent.wav",
                                                    {options_.audio.file.string(), reason}));
            } else {
                sayText(state.localization().format("terminal.silent", {reason}));
            }
        }
        update(state);
    }

    void update(const AppState& state) {
        if (state.inputChecked() &&
            (!reportedInput_ || *reportedInput_ != state.inputAvailable())) {
            reportedInput_ = state.inputAvailable();
            say(state,
                state.inputAvailable() ? "terminal.keyboard.listening" : "terminal.keyboard.none");
        }
        const bool soundsOn = state.soundSettings().soundsEnabled;
        if (state.audioAvailable() && reportedSound_ != soundsOn) {
            reportedSound_ = soundsOn;
            say(state, soundsOn ? "terminal.sounds.on" : "terminal.sounds.off");
        }
        if (reportedDownloads_ != state.downloadError()) {
            reportedDownloads_ = state.downloadError();
            if (const auto& missing = state.missingDownloadsFolder()) {
                sayText(
                    state.localization().format("terminal.downloads.missing", {missing->string()}));
            } else if (reportedDownloads_) {
                sayText(state.localization().format("terminal.downloads.unavailable",
                                                    {*reportedDownloads_}));
            }
        }
    }

    void displayGone(const AppState& state) { say(state, "terminal.display.gone"); }

  private:
    static bool anyThemeLoaded(const AppState& state) {
        return std::any_of(state.themes().begin(), state.themes().end(),
                           [](const ThemeEntry& entry) { return entry.loaded.has_value(); });
    }
    static void say(const AppState& state, std::string_view key) {
        sayText(state.localization().text(key));
    }
    static void sayText(const std::string& text) { std::cerr << "Tapwell: " << text << '\n'; }

    const cli::AppOptions& options_;
    std::optional<bool> reportedInput_;
    std::optional<bool> reportedSound_;
    std::optional<std::string> reportedDownloads_;
};

// The running state, for the exit hook below.
std::weak_ptr<AppState>& runningState() {
    static std::weak_ptr<AppState> state;
    return state;
}

// Set while the application runs: says that the display ended, once the state is saved.
std::function<void()>& sayDisplayGone() {
    static std::function<void()> say;
    return say;
}

std::atomic<bool>& displayGone() {
    static std::atomic<bool> gone{false};
    return gone;
}

// When the display connection breaks (the X server ends with the session before any signal
// arrives), Qt ends the process with exit() from inside the event loop. The statistics and the
// wellbeing ledger are still saved on the way out, and a display that went away ends the program
// as it would have ended without Qt: saved, said, and with success, without running the rest of
// exit (Qt's own clean-up would talk to the dead connection again).
void shutDownAtExit() {
    auto state = runningState().lock();
    if (!state) {
        return;
    }
    probeToolkitDisplay();
    state->shutdown();
    if (displayGone() && sayDisplayGone()) {
        sayDisplayGone()();
        std::cout.flush();
        std::cerr.flush();
        std::_Exit(0);
    }
}

// Hands the start over to the user's running Tapwell when there is one. Returns the exit status
// when this process is done, none when it is to run as the user's Tapwell.
std::optional<int> handOver(const cli::AppOptions& options, UserInstance::Outcome& instance) {
    InstanceRequest request;
    request.kind = options.openOnboarding ? InstanceRequest::Kind::openOnboarding
                   : options.openSettings ? InstanceRequest::Kind::openSettings
                                          : InstanceRequest::Kind::reopen;
    instance = UserInstance::reachOrClaim(UserInstance::defaultFolder(), request);
    if (instance.reply) {
        if (instance.reply->error) {
            std::cerr << "tapwell: Tapwell is already running but did not answer: "
                      << *instance.reply->error << '\n';
            return 1;
        }
        std::cerr << "Tapwell is already running; its "
                  << (options.openOnboarding ? "welcome" : "settings") << " window is shown.\n";
        return 0;
    }
    if (instance.busy) {
        std::cerr << "tapwell: " << instance.error->description << "; try again in a moment.\n";
        return 1;
    }
    if (instance.error) {
        // A folder we cannot use must not keep Tapwell from running.
        std::cerr << "tapwell: cannot make sure that only one Tapwell runs: "
                  << instance.error->description << '\n';
    }
    return std::nullopt;
}

// Ends the running event loop, whichever it is; a request before it runs is remembered and
// honoured once it does. Called from the signal and display watchers' threads.
class LoopQuitter {
  public:
    void request() {
        std::lock_guard lock(mutex_);
        requested_ = true;
        if (quit_) {
            quit_();
        }
    }
    // Returns whether a request came already.
    bool setLoop(std::function<void()> quit) {
        std::lock_guard lock(mutex_);
        quit_ = std::move(quit);
        return requested_;
    }

  private:
    std::mutex mutex_;
    std::function<void()> quit_;
    bool requested_ = false;
};

}  // namespace

int runApplication(const cli::AppOptions& options, int argc, char** argv) {
    // Before any thread exists, so that only the watcher receives termination signals.
    static LoopQuitter quitter;
    watchTerminationSignals([](int) { quitter.request(); });

    // The X server going away ends the session: quit through the event loop, saving as on any
    // quit, instead of dying inside Xlib.
    watchDisplayConnection([] {
        displayGone() = true;
        quitter.request();
    });
    if (options.verbose) {
        logVerbosely();
    }

    // One Tapwell per user: a second start hands over to the first and ends.
    UserInstance::Outcome instance;
    if (auto status = handOver(options, instance)) {
        return *status;
    }

    auto platform = makePlatformServices(options.audio);
    // The way to the first key's sound (themes, decoding, the output) needs nothing of what
    // follows, so it runs beside it: the toolkit, the desktop session and the services take about
    // as long again.
    UserDefaults defaults(UserDefaults::standardPath());
    const auto resourceFolder = ResourceLocator::find();
    auto soundStart =
        std::async(std::launch::async,
                   [request = SoundStart::Request{resourceFolder, userThemesFolder(),
                                                  std::move(platform.makeSoundEngine),
                                                  defaults.stringValue(defaultsKey::themeID)}] {
                       setCurrentThreadName("sound-start");
                       return SoundStart::prepare(request);
                   });
    const DesktopModule* desktopModule = nullptr;
    if (platform.hasDisplay && !options.headless) {
        auto loaded = loadDesktopModule();
        if (!loaded) {
            // The sound and the statistics still work; only the windows are missing.
            std::cerr << "tapwell: cannot show windows: " << loaded.error() << '\n';
        } else {
            desktopModule = *loaded;
        }
    }

    // A run with windows runs on the toolkit's event loop, one without on a loop of our own and
    // loads no toolkit at all.
    std::unique_ptr<DesktopFace> desktop;
    std::optional<RunLoop> runLoop;
    if (desktopModule != nullptr) {
        desktop = desktopModule->makeFace(argc, argv, std::move(platform.compositing));
        // Qt's connection-error handler would end the process for every connection.
        adoptToolkitDisplay(desktop->xlibDisplay());
    } else {
        runLoop.emplace();
    }
    MainQueue& mainQueue = desktop ? desktop->mainQueue() : static_cast<MainQueue&>(*runLoop);
    MainTimer& mainTimer = desktop ? desktop->mainTimer() : static_cast<MainTimer&>(*runLoop);

    AppEnvironment environment;
    environment.defaults = &defaults;
    environment.mainQueue = &mainQueue;
    environment.clock = &SystemClock::shared();
    environment.shell = desktop ? &desktop->shell() : nullptr;
    environment.overlayPresenter = desktop ? &desktop->overlays() : nullptr;
    environment.mainTimer = &mainTimer;
    environment.resourceFolder = resourceFolder;
    environment.keyTap = std::move(platform.keyTap);
    environment.hotKeys = std::move(platform.hotKeys);
    environment.systemPlatform = std::move(platform.system);
    environment.soundStart = std::move(soundStart);
    environment.openSettingsAtLaunch = options.openSettings;
    environment.openOnboardingAtLaunch = options.openOnboarding;
    environment.desktopSession = [hasDisplay = platform.hasDisplay, &mainQueue] {
        return makeDesktopSession(hasDisplay, mainQueue);
    };

    auto state = AppState::create(std::move(environment));
    runningState() = state;
    std::atexit(shutDownAtExit);
    if (instance.owned) {
        std::weak_ptr<AppState> weak = state;
        auto serving = instance.owned->serve(
            [weak, &mainQueue](const InstanceRequest& request, UserInstance::Respond respond) {
                mainQueue.post([weak, request, respond] {
                    if (auto running = weak.lock()) {
                        running->handleInstanceRequest(request, respond);
                    }
                });
            });
        if (serving) {
            std::cerr << "tapwell: other tapwell commands cannot reach this one: "
                      << serving->description << '\n';
        }
    }
    TerminalReporter reporter(options);
    if (desktop) {
        desktop->attach(
            *state, [&state] { state->didBecomeActive(); },
            [&reporter, &state] { reporter.update(*state); });
    } else {
        state->setChangeHandler([&reporter, &state](PublishedSet) { reporter.update(*state); });
    }
    reporter.start(*state);
    sayDisplayGone() = [&reporter, &state] { reporter.displayGone(*state); };

    // From here the signals and the display watcher quit the loop that runs; one that came
    // before it ran ends the run at once. (With windows, the session manager ending the session
    // quits the toolkit's loop too.)
    const bool quitAlready =
        quitter.setLoop(desktop ? std::function<void()>([face = desktop.get()] { face->quit(); })
                                : [loop = &*runLoop] { loop->quit(); });
    const int status = quitAlready ? 0 : desktop ? desktop->exec() : runLoop->run();
    quitter.setLoop({});
    // In this order: no request is taken once the state stops, and no command may act on the
    // files before the last save is done.
    if (instance.owned) {
        instance.owned->stopServing();
    }
    state->shutdown();
    if (desktop) {
        desktop->detach();
    } else {
        state->setChangeHandler({});
    }
    instance.owned.reset();
    sayDisplayGone() = nullptr;
    if (displayGone()) {
        reporter.displayGone(*state);
    }
    return status;
}

}  // namespace tapwell

#include "app/TapwellApp.h"

#include <QCoreApplication>

#include <atomic>
#include <iostream>

#include "app/AppState.h"
#include "app/QtMainQueue.h"
#include "core/Log.h"
#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "platform/PlatformServices.h"

namespace tapwell {

namespace {

// What a person running Tapwell from a terminal needs to know, said once per change.
class HeadlessReporter {
  public:
    void update(const AppState& state) {
        if (!reportedInput_ || *reportedInput_ != state.inputAvailable()) {
            reportedInput_ = state.inputAvailable();
            if (state.inputAvailable()) {
                std::cerr << "Tapwell: listening to the keyboard.\n";
            } else {
                std::cerr << "Tapwell: no access to the keyboard yet. Add yourself to the input "
                             "group (sudo usermod -aG input $USER, then log in again) or run in "
                             "an X11 session; Tapwell picks it up within a second.\n";
            }
        }
        if (reportedSound_ != state.soundsEnabled()) {
            reportedSound_ = state.soundsEnabled();
            std::cerr << "Tapwell: sounds " << (state.soundsEnabled() ? "on" : "off") << ".\n";
        }
    }

  private:
    std::optional<bool> reportedInput_;
    std::optional<bool> reportedSound_;
};

}  // namespace

int runApplication(const cli::AppOptions& options, int argc, char** argv) {
    // Before any thread exists, so that only the watcher receives termination signals.
    // A signal that arrives before the event loop runs is remembered and honoured once it does.
    static std::atomic<bool> terminationRequested{false};
    watchTerminationSignals([](int) {
        terminationRequested = true;
        if (auto* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        }
    });

    auto platform = makePlatformServices(options.audio);

    QCoreApplication app(argc, argv);
    QtMainQueue mainQueue(&app);
    UserDefaults defaults(UserDefaults::standardPath());

    AppEnvironment environment;
    environment.defaults = &defaults;
    environment.mainQueue = &mainQueue;
    environment.clock = &SystemClock::shared();
    environment.resourceFolder = ResourceLocator::find();
    environment.keyTap = std::move(platform.keyTap);
    environment.hotKeys = std::move(platform.hotKeys);
    environment.systemPlatform = std::move(platform.system);
    environment.makeSoundEngine = std::move(platform.makeSoundEngine);

    auto state = AppState::create(std::move(environment));
    if (!state->audioAvailable()) {
        std::cerr << "Tapwell: no sound themes could be loaded; running silently (see the log).\n";
    }
    HeadlessReporter reporter;
    state->onChange = [&reporter, &state] { reporter.update(*state); };
    reporter.update(*state);

    const int status = terminationRequested ? 0 : QCoreApplication::exec();
    state->shutdown();
    return status;
}

}  // namespace tapwell

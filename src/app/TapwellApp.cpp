#include "app/TapwellApp.h"

#include <QApplication>
#include <QCoreApplication>

#include <atomic>
#include <iostream>
#include <memory>

#include "app/AppModel.h"
#include "app/AppState.h"
#include "app/QtMainQueue.h"
#include "app/QtMainTimer.h"
#include "core/Log.h"
#include "core/ResourceLocator.h"
#include "core/UserDefaults.h"
#include "platform/PlatformServices.h"
#include "ui/shell/DesktopUi.h"

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
        const bool soundsOn = state.soundSettings().soundsEnabled;
        if (reportedSound_ != soundsOn) {
            reportedSound_ = soundsOn;
            std::cerr << "Tapwell: sounds " << (soundsOn ? "on" : "off") << ".\n";
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
    const bool withWindows = platform.hasDisplay && !options.headless;

    QCoreApplication::setApplicationName(QStringLiteral("tapwell"));
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<ui::DesktopUi> desktop;
    if (withWindows) {
        QGuiApplication::setDesktopFileName(QStringLiteral("com.tapwell.Tapwell"));
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Tapwell"));
        auto gui = std::make_unique<QApplication>(argc, argv);
        // The program lives in the tray: closing its last window does not end it.
        gui->setQuitOnLastWindowClosed(false);
        app = std::move(gui);
        desktop = std::make_unique<ui::DesktopUi>(std::move(platform.compositing));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QtMainQueue mainQueue(app.get());
    QtMainTimer mainTimer(app.get());
    UserDefaults defaults(UserDefaults::standardPath());

    AppEnvironment environment;
    environment.defaults = &defaults;
    environment.mainQueue = &mainQueue;
    environment.clock = &SystemClock::shared();
    environment.shell = desktop ? &desktop->shell() : nullptr;
    environment.overlayPresenter = desktop ? &desktop->overlays() : nullptr;
    environment.mainTimer = &mainTimer;
    environment.resourceFolder = ResourceLocator::find();
    environment.keyTap = std::move(platform.keyTap);
    environment.hotKeys = std::move(platform.hotKeys);
    environment.systemPlatform = std::move(platform.system);
    environment.makeSoundEngine = std::move(platform.makeSoundEngine);
    environment.openSettingsAtLaunch = options.openSettings;
    environment.openOnboardingAtLaunch = options.openOnboarding;

    auto state = AppState::create(std::move(environment));
    if (!state->audioAvailable()) {
        std::cerr << "Tapwell: no sound themes could be loaded; running silently (see the log).\n";
    }
    AppModel model(*state);
    if (desktop) {
        desktop->attach(model);
    }
    HeadlessReporter reporter;
    QObject::connect(&model, &AppModel::changed, [&reporter, &state] { reporter.update(*state); });
    reporter.update(*state);

    const int status = terminationRequested ? 0 : QCoreApplication::exec();
    state->shutdown();
    return status;
}

}  // namespace tapwell

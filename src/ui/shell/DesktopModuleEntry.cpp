// The entry of the desktop module (see app/DesktopModule.h): the application object with
// windows and its event loop, the desktop face over DesktopUi, and the recap renderer.

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>

#include "app/AppModel.h"
#include "app/DesktopModule.h"
#include "app/QtMainQueue.h"
#include "app/QtMainTimer.h"
#include "ui/recap/RecapRenderer.h"
#include "ui/shell/DesktopUi.h"

namespace tapwell::ui {
namespace {

std::unique_ptr<QApplication> makeApplication(int& argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tapwell"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tapwell.Tapwell"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tapwell"));
    auto gui = std::make_unique<QApplication>(argc, argv);
    // The program lives in the tray: closing its last window does not end it.
    gui->setQuitOnLastWindowClosed(false);
    return gui;
}

class Face final : public DesktopFace {
  public:
    Face(int& argc, char** argv, std::function<bool()> compositing)
        : app_(makeApplication(argc, argv)),
          mainQueue_(app_.get()),
          mainTimer_(app_.get()),
          ui_(std::move(compositing)) {}

    AppShell& shell() override { return ui_.shell(); }
    OverlayPresenter& overlays() override { return ui_.overlays(); }
    MainQueue& mainQueue() override { return mainQueue_; }
    MainTimer& mainTimer() override { return mainTimer_; }

    void* xlibDisplay() override {
        auto* x11 = app_->nativeInterface<QNativeInterface::QX11Application>();
        return x11 != nullptr ? x11->display() : nullptr;
    }

    void attach(StateView& state, std::function<void()> becameActive,
                std::function<void()> changed) override {
        model_ = std::make_unique<AppModel>(state);
        QObject::connect(model_.get(), &AppModel::changed,
                         [changed = std::move(changed)] { changed(); });
        QObject::connect(app_.get(), &QGuiApplication::applicationStateChanged,
                         [becameActive = std::move(becameActive)](Qt::ApplicationState appState) {
                             if (appState == Qt::ApplicationActive) {
                                 becameActive();
                             }
                         });
        // Autostart starts Tapwell at login; a session manager restoring it too would start a
        // second one (which would only hand over, but still).
        QObject::connect(app_.get(), &QGuiApplication::saveStateRequest,
                         [](QSessionManager& manager) {
                             manager.setRestartHint(QSessionManager::RestartNever);
                         });
        ui_.attach(*model_);
    }

    void detach() override { model_.reset(); }

    int exec() override { return QCoreApplication::exec(); }

    void quit() override {
        QMetaObject::invokeMethod(
            app_.get(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    }

  private:
    std::unique_ptr<QApplication> app_;
    QtMainQueue mainQueue_;
    QtMainTimer mainTimer_;
    DesktopUi ui_;
    std::unique_ptr<AppModel> model_;
};

std::unique_ptr<DesktopFace> makeFace(int& argc, char** argv, std::function<bool()> compositing) {
    return std::make_unique<Face>(argc, argv, std::move(compositing));
}

const DesktopModule module{&makeFace, &RecapRenderer::renderPngWithoutDisplay};

}  // namespace
}  // namespace tapwell::ui

extern "C" const tapwell::DesktopModule* tapwell_desktop_module() {
    return &tapwell::ui::module;
}

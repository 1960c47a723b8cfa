// The entry of the desktop module (see app/DesktopModule.h): the application object with
// windows, the desktop face over DesktopUi, and the recap renderer.

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "app/DesktopModule.h"
#include "ui/recap/RecapRenderer.h"
#include "ui/shell/DesktopUi.h"

namespace tapwell::ui {
namespace {

class Face final : public DesktopFace {
  public:
    explicit Face(std::function<bool()> compositing) : ui_(std::move(compositing)) {}

    AppShell& shell() override { return ui_.shell(); }
    OverlayPresenter& overlays() override { return ui_.overlays(); }

    void attach(AppModel& model, std::function<void()> becameActive) override {
        auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        QObject::connect(gui, &QGuiApplication::applicationStateChanged,
                         [becameActive = std::move(becameActive)](Qt::ApplicationState state) {
                             if (state == Qt::ApplicationActive) {
                                 becameActive();
                             }
                         });
        // Autostart starts Tapwell at login; a session manager restoring it too would start a
        // second one (which would only hand over, but still).
        QObject::connect(gui, &QGuiApplication::saveStateRequest, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
        });
        ui_.attach(model);
    }

  private:
    DesktopUi ui_;
};

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tapwell.Tapwell"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tapwell"));
    auto gui = std::make_unique<QApplication>(argc, argv);
    // The program lives in the tray: closing its last window does not end it.
    gui->setQuitOnLastWindowClosed(false);
    return gui;
}

std::unique_ptr<DesktopFace> makeFace(std::function<bool()> compositing) {
    return std::make_unique<Face>(std::move(compositing));
}

void* xlibDisplay(QCoreApplication& application) {
    auto* gui = qobject_cast<QGuiApplication*>(&application);
    auto* x11 =
        gui != nullptr ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

const DesktopModule module{&makeApplication, &makeFace, &RecapRenderer::renderPngWithoutDisplay,
                           &xlibDisplay};

}  // namespace
}  // namespace tapwell::ui

extern "C" const tapwell::DesktopModule* tapwell_desktop_module() {
    return &tapwell::ui::module;
}

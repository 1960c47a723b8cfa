#include "ui/shell/DesktopUi.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui/onboarding/OnboardingWindow.h"
#include "ui/popover/PopoverWindow.h"
#include "ui/recap/RecapRenderer.h"
#include "ui/recap/RecapView.h"
#include "ui/settings/AppChooser.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/tray/TrayController.h"

namespace tapwell::ui {

DesktopUi::DesktopUi(QtOverlayPresenter::CompositingProbe compositing)
    : overlays_(std::move(compositing)) {}

DesktopUi::~DesktopUi() = default;

void DesktopUi::attach(AppModel& model) {
    shell_.attach(model);
    shell_.setWindowFactory(AppShell::Window::onboarding,
                            [](AppModel& owner) { return new OnboardingWindow(owner); });
    popover_ = std::make_unique<PopoverWindow>(model);

    // The tray item; a left click opens or closes the popover beside it. Hosts give the click's
    // position in device pixels, the popover places itself in logical ones.
    tray_ = std::make_unique<TrayController>(model);
    tray_->onActivate = [this](std::optional<QPoint> at) {
        const qreal ratio = QGuiApplication::primaryScreen() != nullptr
                                ? QGuiApplication::primaryScreen()->devicePixelRatio()
                                : 1.0;
        if (at && ratio > 1.0) {
            at = QPoint(qRound(at->x() / ratio), qRound(at->y() / ratio));
        }
        popover_->toggle(at);
    };
    tray_->start();
    shell_.setWindowFactory(AppShell::Window::recap,
                            [](AppModel& viewModel) { return new RecapView(viewModel); });
    shell_.setRecapRenderer(&RecapRenderer::renderPng);
    shell_.setWindowFactory(AppShell::Window::settings,
                            [](AppModel& viewModel) { return new SettingsWindow(viewModel); });
    shell_.setAppChooser(&AppChooser::ask);
}

}  // namespace tapwell::ui

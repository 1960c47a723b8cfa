#include "ui/shell/DesktopUi.h"

#include "ui/recap/RecapRenderer.h"
#include "ui/recap/RecapView.h"

namespace tapwell::ui {

DesktopUi::DesktopUi(QtOverlayPresenter::CompositingProbe compositing)
    : overlays_(std::move(compositing)) {}

DesktopUi::~DesktopUi() = default;

void DesktopUi::attach(AppModel& model) {
    shell_.attach(model);
    shell_.setWindowFactory(AppShell::Window::recap,
                            [](AppModel& viewModel) { return new RecapView(viewModel); });
    shell_.setRecapRenderer(&RecapRenderer::renderPng);
}

}  // namespace tapwell::ui

#include "presentation/OverlayService.h"

#include <algorithm>

namespace tapwell {

OverlayService::OverlayService(OverlayPresenter* presenter, MainTimer* timer,
                               const Localization& localization)
    : presenter_(timer != nullptr ? presenter : nullptr),
      timer_(timer),
      localization_(localization) {}

OverlayService::~OverlayService() {
    stop();
    for (Closing& closing : closing_) {
        if (closing.work.pending()) {
            closing.work.cancel();
            for (OverlayId overlay : closing.overlays) {
                close(overlay);
            }
        }
    }
}

OverlayFrame OverlayService::badgeFrame(const OverlayFrame& screen) {
    return {screen.x + (screen.width - badgeWidth) / 2,
            screen.y + (screen.height - badgeHeight) / 2, badgeWidth, badgeHeight};
}

void OverlayService::showCapsLock() {
    capsTask_.cancel();
    if (capsPanel_) {
        close(*capsPanel_);
        capsPanel_.reset();
    }
    const std::optional<OverlayFrame> screen =
        presenter_ != nullptr ? presenter_->mainScreen() : std::nullopt;
    if (!screen) {
        return;
    }
    const OverlayId panel =
        presenter_->showBadge(badgeFrame(*screen), localization_.text("hud.capsLockOn"));
    capsPanel_ = panel;
    capsTask_ = timer_->after(badgeVisibleSeconds, [this, panel] { fadeOutBadge(panel); });
}

void OverlayService::fadeOutBadge(OverlayId panel) {
    presenter_->fade(panel, 0.0, badgeFadeSeconds);
    // A badge shown in the meantime is left alone: only this panel is forgotten.
    closeLater({panel}, badgeFadeSeconds, [this, panel] {
        if (capsPanel_ == panel) {
            capsPanel_.reset();
        }
    });
}

void OverlayService::dimEdges() {
    edgeTask_.cancel();
    for (OverlayId window : edges_) {
        close(window);
    }
    edges_.clear();
    if (presenter_ == nullptr) {
        return;
    }
    for (const OverlayFrame& screen : presenter_->screens()) {
        const OverlayId window = presenter_->showEdges(screen, 0.0);
        edges_.push_back(window);
        presenter_->fade(window, 1.0, edgeFadeInSeconds);
    }
    edgeTask_ = timer_->after(edgeVisibleSeconds, [this] { fadeOutEdges(); });
}

void OverlayService::fadeOutEdges() {
    std::vector<OverlayId> fading;
    fading.swap(edges_);
    for (OverlayId window : fading) {
        presenter_->fade(window, 0.0, edgeFadeOutSeconds);
    }
    closeLater(std::move(fading), edgeFadeOutSeconds);
}

void OverlayService::closeLater(std::vector<OverlayId> overlays, double seconds,
                                std::function<void()> then) {
    std::erase_if(closing_, [](const Closing& closing) { return !closing.work.pending(); });
    ScheduledWork work = timer_->after(seconds, [this, overlays, then = std::move(then)] {
        for (OverlayId overlay : overlays) {
            close(overlay);
        }
        if (then) {
            then();
        }
    });
    closing_.push_back({std::move(work), std::move(overlays)});
}

void OverlayService::stop() {
    capsTask_.cancel();
    edgeTask_.cancel();
    if (capsPanel_) {
        close(*capsPanel_);
        capsPanel_.reset();
    }
    for (OverlayId window : edges_) {
        close(window);
    }
    edges_.clear();
}

void OverlayService::close(OverlayId overlay) {
    if (presenter_ != nullptr) {
        presenter_->close(overlay);
    }
}

}  // namespace tapwell

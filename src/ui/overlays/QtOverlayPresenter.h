#pragma once
// The overlay service's windows on a Qt desktop: the caps lock badge and one edge-dimming window
// per screen, faded with the window's opacity. An edge window whose screen goes away goes with
// it. Main thread only.

#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <map>

#include "presentation/OverlayPresenter.h"

namespace tapwell::ui {

class QtOverlayPresenter final : public OverlayPresenter {
  public:
    // Whether the desktop blends translucent windows right now; none: it always does (Wayland).
    using CompositingProbe = std::function<bool()>;

    explicit QtOverlayPresenter(CompositingProbe compositing = {});
    ~QtOverlayPresenter() override;
    QtOverlayPresenter(const QtOverlayPresenter&) = delete;
    QtOverlayPresenter& operator=(const QtOverlayPresenter&) = delete;

    std::optional<OverlayFrame> mainScreen() const override;
    std::vector<OverlayFrame> screens() const override;
    OverlayId showBadge(const OverlayFrame& frame, const std::string& text) override;
    OverlayId showEdges(const OverlayFrame& frame, double opacity) override;
    void fade(OverlayId overlay, double opacity, double seconds) override;
    void close(OverlayId overlay) override;

    // The window of a shown overlay; null once it is closed.
    QWidget* window(OverlayId overlay) const;
    // The overlays on screen.
    std::vector<OverlayId> shown() const;

  private:
    bool composited() const;
    OverlayId show(QWidget* window, const OverlayFrame& frame, double opacity);
    void screenRemoved(QScreen* screen);

    CompositingProbe compositing_;
    OverlayId last_ = 0;
    std::map<OverlayId, QPointer<QWidget>> windows_;
    QMetaObject::Connection screenRemoved_;
};

}  // namespace tapwell::ui

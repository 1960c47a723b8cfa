#pragma once
// What the badge and the edge windows share: frameless windows above the others that never take
// the focus, let every click and scroll through to the windows beneath, are not managed by the
// window manager (so they show on every workspace and where they are put) and, without a
// compositor, are cut to their shape instead of being blended.

#include <QWidget>

namespace tapwell::ui {

class OverlayWindow : public QWidget {
    Q_OBJECT

  public:
    // `composited`: the desktop blends translucent windows. Without it, translucent pixels would
    // show as black, so the windows draw opaquely inside a mask.
    explicit OverlayWindow(bool composited);

    bool composited() const { return composited_; }

  private:
    bool composited_;
};

}  // namespace tapwell::ui

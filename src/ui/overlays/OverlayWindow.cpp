#include "ui/overlays/OverlayWindow.h"

namespace tapwell::ui {

OverlayWindow::OverlayWindow(bool composited) : composited_(composited) {
    // Bypassing the window manager keeps the window out of the task list and the window cycle,
    // on every workspace and exactly where it is placed; it then never gets the focus either.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                   Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground, composited);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

}  // namespace tapwell::ui

#pragma once
// Whether a compositing manager runs on the X display, that is whether translucent windows are
// blended with what lies beneath (without one, their transparent pixels show black). A compositing
// manager owns the selection "_NET_WM_CM_S<screen>". Main thread only; one private connection,
// opened on first use.

#include <X11/Xlib.h>

namespace tapwell {

class X11CompositingProbe {
  public:
    X11CompositingProbe() = default;
    ~X11CompositingProbe();
    X11CompositingProbe(const X11CompositingProbe&) = delete;
    X11CompositingProbe& operator=(const X11CompositingProbe&) = delete;

    // True while a compositing manager runs; also true without an X display (Wayland sessions
    // always composite), so the caller only falls back where blending surely fails.
    bool active();

  private:
    Display* display_ = nullptr;
    Atom selection_ = None;
    bool opened_ = false;
};

}  // namespace tapwell

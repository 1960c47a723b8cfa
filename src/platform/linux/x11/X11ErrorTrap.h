#pragma once
// X errors arrive asynchronously through one process-wide Xlib handler whose default ends the
// process. Our connections are adopted so their errors are logged instead, and a trap catches
// the errors of one connection across a span (a grab the server refuses with BadAccess, a window
// that went away while we looked at it), checked synchronously with XSync.

#include <X11/Xlib.h>

namespace tapwell {

class X11ErrorTrap {
  public:
    // Errors of `display` no longer end the process. Call once per connection after opening it,
    // and `release` before closing it.
    static void adopt(Display* display);
    static void release(Display* display);

    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits until the server has handled every request so far; returns the first error code
    // caught since the trap was set (Success, 0, when none).
    int sync();
    int firstError() const;

  private:
    friend int handleXError(Display*, XErrorEvent*);
    Display* display_;
    int error_ = Success;
};

}  // namespace tapwell

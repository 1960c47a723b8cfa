#pragma once
// X errors arrive asynchronously through one process-wide Xlib handler whose default ends the
// process. Our connections are adopted so their errors are logged instead, and a trap catches
// the errors of one connection across a span (a grab the server refuses with BadAccess, a window
// that went away while we looked at it), checked synchronously with XSync.
//
// A broken connection (the X server went away) would end the process inside Xlib as well, before
// anything is saved. For an adopted connection Xlib is told to carry on instead (its calls on that
// connection then do nothing), and the connection-lost handler decides what happens.

#include <X11/Xlib.h>

#include <functional>

namespace tapwell {

class X11ErrorTrap {
  public:
    // Errors of `display` no longer end the process. Call once per connection after opening it,
    // and close it with `close`.
    static void adopt(Display* display);
    // Releases and closes an adopted connection. A broken one is not closed: Xlib may have been
    // left mid-read on it by the thread that saw the break, and XCloseDisplay would then wait for
    // that read for ever. It is set aside instead (the process is ending anyway).
    static void close(Display* display);
    static bool isBroken(Display* display);

    // Called once, on whichever thread noticed it, when an adopted connection breaks. Set it
    // before connections are opened; it must only hand the news on (Xlib may hold its locks).
    static void setConnectionLostHandler(std::function<void()> handler);
    // For readers that see the connection hang up before Xlib does: reports it like Xlib would.
    static void connectionLost(Display* display);

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

#pragma once
// Key events of an X11 session as XInput 2 raw key events on the root window, read through a
// private connection on the key monitor's thread. Needs no permission beyond the display, sees
// every client's keys (also while another client grabs the keyboard) and never auto-repeat.
// Caps lock comes from the XKB lock state; secure input from the focused window (a password
// prompt). Used on the key monitor's worker thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/keyboard/PollingKeyTap.h"

struct _XDisplay;

namespace tapwell {

class X11KeyTap final : public PollingKeyTap {
  public:
    // An empty name means $DISPLAY. Nothing is opened yet.
    explicit X11KeyTap(std::string displayName = {});
    ~X11KeyTap() override;

    // Connects if needed; false when there is no display or it lacks XInput 2.
    bool refresh(KeyTapSink& sink) override;
    void close() override;
    std::optional<bool> capsLock() override;
    bool secureInput() override { return secureInput_; }

    void collectWatches(std::vector<Watch>& out) override;
    void dispatch(const Watch& watch, short revents, KeyTapSink& sink) override;
    bool dispatchBuffered(KeyTapSink& sink) override;

    // Whether raw key events are selected; off while another source delivers the keys (caps lock
    // and secure input are still followed).
    void setKeyEventsEnabled(bool enabled);
    bool isConnected() const { return display_ != nullptr; }

    // The window classes (WM_CLASS name or class, matched case-insensitively as substrings) of
    // the password prompts during which key input counts as secure.
    static const std::vector<std::string>& securePromptClasses();
    static bool isSecurePromptClass(const std::string& name);

  private:
    bool open();
    void selectKeyEvents();
    void drainEvents(KeyTapSink& sink);
    void updateSecureInput();
    std::optional<bool> queryCapsLock(_XDisplay* display) const;

    std::string displayName_;
    _XDisplay* display_ = nullptr;
    int xiOpcode_ = -1;
    int xkbEventBase_ = -1;
    unsigned long activeWindowAtom_ = 0;
    bool keyEventsEnabled_ = true;
    bool secureInput_ = false;
};

}  // namespace tapwell

#pragma once
// The key tap the application uses on Linux: the evdev keyboards when at least one can be
// opened, otherwise the X11 session's raw key events, otherwise nothing (unavailable). The X11
// connection, when there is a display, also answers caps lock and secure input while evdev
// delivers the keys. Used on the key monitor's worker thread only.

#include <memory>
#include <optional>

#include "platform/linux/keyboard/EvdevKeyTap.h"
#include "platform/linux/keyboard/X11KeyTap.h"

namespace tapwell {

class EvdevOrX11KeyTap final : public PollingKeyTap {
  public:
    enum class Source { none, evdev, x11 };

    // `x11` may be null (no display to try).
    EvdevOrX11KeyTap(std::unique_ptr<EvdevKeyTap> evdev, std::unique_ptr<X11KeyTap> x11);

    // /dev/input, and the X11 display named by $DISPLAY when it is set.
    static std::unique_ptr<EvdevOrX11KeyTap> makeDefault();

    bool refresh(KeyTapSink& sink) override;
    void close() override;
    std::optional<bool> capsLock() override;
    bool secureInput() override;

    void collectWatches(std::vector<Watch>& out) override;
    void dispatch(const Watch&, short, KeyTapSink&) override {}  // the parts dispatch their own
    bool dispatchBuffered(KeyTapSink& sink) override;

    Source source() const { return source_; }

  private:
    std::unique_ptr<EvdevKeyTap> evdev_;
    std::unique_ptr<X11KeyTap> x11_;
    Source source_ = Source::none;
};

}  // namespace tapwell

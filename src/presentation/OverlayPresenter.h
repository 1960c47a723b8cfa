#pragma once
// What the overlay service needs from the desktop: the screens, and transient windows above all
// others that it can show, fade and close. The views implement it with real windows; without a
// display there is none and nothing is shown. Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tapwell {

// A rectangle of the desktop in logical pixels (the coordinates windows are placed in).
struct OverlayFrame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const OverlayFrame&) const = default;
};

class OverlayPresenter {
  public:
    // Names one shown window; never reused.
    using OverlayId = std::uint64_t;

    virtual ~OverlayPresenter() = default;

    // The main screen's full frame; none while there is no screen (displays asleep, none
    // connected).
    virtual std::optional<OverlayFrame> mainScreen() const = 0;
    // Every screen's full frame, in the desktop's order; empty without screens.
    virtual std::vector<OverlayFrame> screens() const = 0;

    // Shows the caps lock badge with `text` at `frame`, at full opacity.
    virtual OverlayId showBadge(const OverlayFrame& frame, const std::string& text) = 0;
    // Shows an edge-dimming window covering the screen at `frame`, at `opacity` (0...1).
    virtual OverlayId showEdges(const OverlayFrame& frame, double opacity) = 0;
    // Animates a window's opacity to `opacity` over `seconds`; ignored for a closed window.
    virtual void fade(OverlayId overlay, double opacity, double seconds) = 0;
    // Closes a window at once; a closed or unknown one is ignored.
    virtual void close(OverlayId overlay) = 0;
};

}  // namespace tapwell

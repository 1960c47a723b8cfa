#pragma once
// The transient overlays above every window: the caps lock badge in the middle of the main screen
// and the dimmed edges of every screen when a break is overdue. Each disappears by itself; a new
// request replaces the one on screen. The timings run on the main thread's timer; the windows are
// the presenter's.
//
// Main thread only. Delayed steps never outlive the service: it cancels them when it goes, and
// closes what they would have closed.

#include <optional>
#include <vector>

#include "core/MainTimer.h"
#include "presentation/Localization.h"
#include "presentation/OverlayPresenter.h"

namespace tapwell {

class OverlayService {
  public:
    static constexpr int badgeWidth = 240;
    static constexpr int badgeHeight = 70;
    static constexpr double badgeVisibleSeconds = 0.8;
    static constexpr double badgeFadeSeconds = 0.2;
    static constexpr double edgeFadeInSeconds = 1.0;
    static constexpr double edgeVisibleSeconds = 9.0;  // from the call, the fade-in included
    static constexpr double edgeFadeOutSeconds = 1.0;

    // Without a presenter or a timer (no display) nothing is ever shown. Both, and `localization`
    // (whose current language the badge speaks), must outlive the service.
    OverlayService(OverlayPresenter* presenter, MainTimer* timer, const Localization& localization);
    ~OverlayService();
    OverlayService(const OverlayService&) = delete;
    OverlayService& operator=(const OverlayService&) = delete;

    // Shows the badge (replacing one still on screen) and schedules its fade-out.
    void showCapsLock();
    // Dims the edges of every screen (replacing a dimming still on screen) and schedules the
    // fade-out.
    void dimEdges();
    // Cancels both pending fade-outs and closes the badge and the edge windows at once. Windows
    // already fading out are closed by their own delayed step.
    void stop();

    // The badge's frame for a screen: 240 x 70, centred.
    static OverlayFrame badgeFrame(const OverlayFrame& screen);

  private:
    using OverlayId = OverlayPresenter::OverlayId;

    void fadeOutBadge(OverlayId panel);
    void fadeOutEdges();
    // Closes `overlays` after `seconds`, then runs `then`.
    void closeLater(std::vector<OverlayId> overlays, double seconds,
                    std::function<void()> then = {});
    void close(OverlayId overlay);

    OverlayPresenter* presenter_;
    MainTimer* timer_;
    const Localization& localization_;

    std::optional<OverlayId> capsPanel_;
    ScheduledWork capsTask_;
    std::vector<OverlayId> edges_;
    ScheduledWork edgeTask_;

    // The delayed closes of fading windows, with what each would close.
    struct Closing {
        ScheduledWork work;
        std::vector<OverlayId> overlays;
    };
    std::vector<Closing> closing_;
};

}  // namespace tapwell

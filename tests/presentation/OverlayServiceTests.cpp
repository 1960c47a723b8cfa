#include <gtest/gtest.h>

#include <map>

#include "presentation/OverlayService.h"
#include "support/ManualMainTimer.h"

namespace tapwell {
namespace {

// Windows as the service shows them, with what happened to them and when.
class FakePresenter final : public OverlayPresenter {
  public:
    struct Window {
        bool badge = false;
        OverlayFrame frame;
        std::string text;
        double shownAt = 0;
        std::vector<std::pair<double, double>> fades;  // (when, target opacity)
        std::optional<double> closedAt;
    };

    explicit FakePresenter(const test::ManualMainTimer& timer) : timer_(timer) {}

    std::vector<OverlayFrame> screenFrames{{0, 0, 1280, 800}};
    std::map<OverlayId, Window> windows;

    std::optional<OverlayFrame> mainScreen() const override {
        if (screenFrames.empty()) {
            return std::nullopt;
        }
        return screenFrames.front();
    }
    std::vector<OverlayFrame> screens() const override { return screenFrames; }
    OverlayId showBadge(const OverlayFrame& frame, const std::string& text) override {
        windows[++last_] = {true, frame, text, timer_.now(), {}, {}};
        return last_;
    }
    OverlayId showEdges(const OverlayFrame& frame, double opacity) override {
        windows[++last_] = {false, frame, {}, timer_.now(), {{timer_.now(), opacity}}, {}};
        return last_;
    }
    void fade(OverlayId overlay, double opacity, double) override {
        Window& window = windows.at(overlay);
        if (!window.closedAt) {
            window.fades.emplace_back(timer_.now(), opacity);
        }
    }
    void close(OverlayId overlay) override {
        Window& window = windows.at(overlay);
        if (!window.closedAt) {
            window.closedAt = timer_.now();
        }
    }
    std::vector<OverlayId> open() const {
        std::vector<OverlayId> ids;
        for (const auto& [id, window] : windows) {
            if (!window.closedAt) {
                ids.push_back(id);
            }
        }
        return ids;
    }

  private:
    const test::ManualMainTimer& timer_;
    OverlayId last_ = 0;
};

class OverlayServiceTest : public ::testing::Test {
  protected:
    test::ManualMainTimer timer;
    FakePresenter presenter{timer};
    Localization localization{"en", TAPWELL_BUILD_RESOURCE_DIR};
    std::optional<OverlayService> service{std::in_place, &presenter, &timer, localization};

    // Runs the timer to `time` (seconds since the test began).
    void at(double time) { timer.advance(time - timer.now()); }
};

TEST_F(OverlayServiceTest, SecondCapsLockWithinTheVisibleSpanReplacesTheFirstAtOnce) {
    service->showCapsLock();
    at(0.5);
    service->showCapsLock();
    ASSERT_EQ(presenter.windows.size(), 2u);
    const auto& first = presenter.windows.at(1);
    const auto& second = presenter.windows.at(2);
    EXPECT_EQ(first.closedAt, 0.5);
    EXPECT_TRUE(first.fades.empty());
    EXPECT_EQ(second.frame, (OverlayFrame{520, 365, 240, 70}));
    EXPECT_EQ(second.text, "Caps Lock On");

    at(1.29);
    EXPECT_TRUE(second.fades.empty());  // fully visible for 0.8 s from the second call
    at(1.3);
    ASSERT_EQ(second.fades.size(), 1u);
    EXPECT_EQ(second.fades[0].second, 0.0);
    at(1.49);
    EXPECT_FALSE(second.closedAt);
    at(1.5);
    EXPECT_EQ(second.closedAt, 1.5);
    EXPECT_EQ(timer.queued(), 0u);
}

TEST_F(OverlayServiceTest, DimmingAgainReplacesTheFirstWithoutFadingAndRestartsTheSpan) {
    presenter.screenFrames = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    service->dimEdges();
    ASSERT_EQ(presenter.windows.size(), 2u);
    EXPECT_EQ(presenter.windows.at(2).frame, presenter.screenFrames[1]);
    const std::vector<std::pair<double, double>> fadeIn = {{0.0, 0.0}, {0.0, 1.0}};
    EXPECT_EQ(presenter.windows.at(1).fades, fadeIn);

    at(5.0);
    service->dimEdges();
    for (OverlayPresenter::OverlayId id : {1, 2}) {
        EXPECT_EQ(presenter.windows.at(id).closedAt, 5.0);
        EXPECT_EQ(presenter.windows.at(id).fades, fadeIn);  // no fade-out
    }
    EXPECT_EQ(presenter.open(), (std::vector<OverlayPresenter::OverlayId>{3, 4}));

    at(13.99);
    EXPECT_EQ(presenter.windows.at(3).fades.size(), 2u);
    at(14.0);
    EXPECT_EQ(presenter.windows.at(3).fades.back(), (std::pair{14.0, 0.0}));
    at(15.0);
    EXPECT_TRUE(presenter.open().empty());
    EXPECT_EQ(presenter.windows.at(4).closedAt, 15.0);
}

TEST_F(OverlayServiceTest, StopClosesWhatIsShownAndLeavesFadingWindowsToTheirOwnStep) {
    service->dimEdges();
    service->showCapsLock();
    at(9.5);  // the badge is gone, the edges fade out since 9 s
    EXPECT_EQ(presenter.windows.at(2).closedAt, 1.0);
    service->stop();
    EXPECT_FALSE(presenter.windows.at(1).closedAt);
    at(10.0);
    EXPECT_EQ(presenter.windows.at(1).closedAt, 10.0);

    // A badge shown and stopped at once; the cancelled fade-out never reaches it.
    service->showCapsLock();
    service->stop();
    EXPECT_EQ(presenter.windows.at(3).closedAt, 10.0);
    at(20.0);
    EXPECT_TRUE(presenter.windows.at(3).fades.empty());

    // Going away while a badge fades closes it and leaves nothing scheduled that could run.
    service->showCapsLock();
    at(20.9);
    service.reset();
    EXPECT_EQ(presenter.windows.at(4).closedAt, 20.9);
    at(30.0);
}

TEST_F(OverlayServiceTest, WithoutAScreenNothingIsShownAndTheOldBadgeGoes) {
    service->showCapsLock();
    presenter.screenFrames.clear();
    service->showCapsLock();
    service->dimEdges();
    EXPECT_EQ(presenter.windows.size(), 1u);
    EXPECT_EQ(presenter.windows.at(1).closedAt, 0.0);

    presenter.screenFrames = {{0, 0, 800, 600}};
    OverlayService headless(nullptr, &timer, localization);
    OverlayService timerless(&presenter, nullptr, localization);
    for (OverlayService* without : {&headless, &timerless}) {
        without->showCapsLock();
        without->dimEdges();
    }
    at(20.0);
    EXPECT_EQ(presenter.windows.size(), 1u);
}

}  // namespace
}  // namespace tapwell

#pragma once
// The recap window's content: today's card with rounded corners and a soft shadow, and the Copy
// and Save buttons. Copy reads "Done" for a moment after a successful copy. The window is built
// once and kept; it follows the day's numbers, the theme and the language while it exists.
// Main thread only.

#include <QWidget>

#include <memory>

#include "app/AppModel.h"
#include "core/MainTimer.h"

class QPushButton;

namespace tapwell::ui {

class RecapCard;

class RecapView final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int viewWidth = 408;
    static constexpr double copiedSeconds = 1.6;

    // `timer` (for the Done state; none: the Qt event loop's) must outlive the view.
    explicit RecapView(AppModel& model, MainTimer* timer = nullptr, QWidget* parent = nullptr);
    ~RecapView() override;

    bool copied() const { return copied_; }
    RecapCard& card() { return *card_; }
    QPushButton& copyButton() { return *copyButton_; }
    QPushButton& saveButton() { return *saveButton_; }

  protected:
    void showEvent(class QShowEvent* event) override;

  private:
    void copy();
    void refreshContent();
    void refreshTexts();

    AppModel& model_;
    std::unique_ptr<MainTimer> ownTimer_;
    MainTimer& timer_;
    RecapCard* card_;
    QPushButton* copyButton_;
    QPushButton* saveButton_;
    bool copied_ = false;
    ScheduledWork revert_;
    bool placed_ = false;
};

}  // namespace tapwell::ui

#pragma once
// The popover as a window of its own: frameless, above other windows, off the taskbar. The tray
// item toggles it; it opens next to the point the tray reports (kept wholly on that screen) or,
// without one, centred under the top of the primary screen, and closes on Escape, when it loses
// the focus, and when the user goes on to another window. Its colours are the desktop's. Main
// thread only.

#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>

#include "app/AppModel.h"

namespace tapwell::ui {

class PopoverView;

class PopoverWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit PopoverWindow(AppModel& model, QWidget* parent = nullptr);

    // Opens the popover next to `anchor` (global coordinates; none where the desktop gives no
    // position), or closes it when it is open. A toggle that comes right after the popover
    // closed for losing the focus keeps it closed: that was the same click on the tray item.
    void toggle(std::optional<QPoint> anchor);
    void open(std::optional<QPoint> anchor);

    PopoverView& view() { return *view_; }

    // The monotonic clock in milliseconds that tells a tray click from a later one; tests set
    // their own.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { clock_ = std::move(clock); }

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Width for the longest texts, height for that width.
    void fitSize();
    // Moves the window next to the anchor on its screen.
    void place();

    PopoverView* view_ = nullptr;
    std::optional<QPoint> anchor_;
    Clock clock_;
    std::optional<qint64> closedByFocusLossAt_;
};

}  // namespace tapwell::ui

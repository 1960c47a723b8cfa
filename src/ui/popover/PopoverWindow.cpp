#include "ui/popover/PopoverWindow.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <utility>

#include "ui/common/Look.h"
#include "ui/popover/PopoverPlacement.h"
#include "ui/popover/PopoverView.h"

namespace tapwell::ui {

namespace {

// The narrowest the popover gets; longer texts widen it.
constexpr int narrowestWidth = 360;
// A tray click that takes the focus away closes the popover before the click itself arrives as a
// toggle; a toggle this soon after such a close belongs to it.
constexpr qint64 sameClickMilliseconds = 400;

}  // namespace

PopoverWindow::PopoverWindow(AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      view_(new PopoverView(model, this)),
      clock_([] {
          return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      }) {
    setObjectName(QStringLiteral("popover"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);  // room for the border
    layout->addWidget(view_);
    connect(view_, &PopoverView::finished, this, &QWidget::hide);
    const auto retitle = [this, &model] {
        setWindowTitle(model.text("app.name"));
        setAccessibleName(windowTitle());
    };
    connect(&model, &AppModel::localizationChanged, this, retitle);
    retitle();
    fitSize();
}

void PopoverWindow::toggle(std::optional<QPoint> anchor) {
    if (isVisible()) {
        hide();
        return;
    }
    const auto closedAt = std::exchange(closedByFocusLossAt_, std::nullopt);
    if (closedAt && clock_() - *closedAt < sameClickMilliseconds) {
        return;
    }
    open(anchor);
}

void PopoverWindow::open(std::optional<QPoint> anchor) {
    anchor_ = anchor;
    closedByFocusLossAt_.reset();
    fitSize();
    place();
    show();
    raise();
    activateWindow();
    view_->focusFirst();
}

void PopoverWindow::fitSize() {
    const int width = std::max(narrowestWidth, minimumSizeHint().width());
    const int height = std::max(heightForWidth(width), minimumSizeHint().height());
    setFixedSize(width, height);
}

void PopoverWindow::place() {
    QScreen* screen = anchor_ ? QGuiApplication::screenAt(*anchor_) : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    // A point outside every screen (a stale position) counts as none.
    const std::optional<QPoint> anchor =
        screen->geometry().contains(anchor_.value_or(QPoint())) ? anchor_ : std::nullopt;
    move(popoverPosition(anchor, size(), screen->availableGeometry()));
}

bool PopoverWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            if (isVisible()) {
                hide();
                closedByFocusLossAt_ = clock_();
            }
            break;
        case QEvent::LayoutRequest: {
            // Contents came or went (the keyboard notice, a mute countdown): follow them.
            const bool handled = QWidget::event(event);
            fitSize();
            return handled;
        }
        default:
            break;
    }
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Escape:
            hide();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // Outside dialogs, buttons answer only Space; Return works here as it does in a dialog.
            if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) {
                button->click();
                return;
            }
            break;
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPalette& colors = palette();
    painter.fillRect(rect(), colors.color(QPalette::Window));
    // A frameless window needs its own edge against whatever lies below it.
    QColor edge = colors.color(QPalette::WindowText);
    edge.setAlphaF(isDark(colors) ? 0.28f : 0.22f);
    painter.setPen(edge);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void PopoverWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) {
        place();
    }
}

}  // namespace tapwell::ui

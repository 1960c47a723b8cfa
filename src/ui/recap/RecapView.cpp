#include "ui/recap/RecapView.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/QtMainTimer.h"
#include "ui/recap/RecapCard.h"

namespace tapwell::ui {

namespace {

constexpr int viewPadding = 24;
constexpr int partSpacing = 18;
constexpr double cardRadius = 14.0;
constexpr double shadowOpacity = 0.18;

enum class Glyph { copy, done, save };

// The buttons' symbols, drawn in the button's text colour, for desktops whose icon theme lacks
// them.
QIcon drawnIcon(Glyph glyph, const QColor& color) {
    const qreal ratio = 2.0;
    QPixmap pixmap(QSize(16, 16) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (glyph) {
        case Glyph::copy:
            painter.drawRoundedRect(QRectF(5.5, 1.75, 8.75, 10.5), 2, 2);
            painter.drawPolyline(
                QPolygonF({{4, 4.5}, {2.25, 4.5}, {2.25, 14.25}, {10.5, 14.25}, {10.5, 12.5}}));
            break;
        case Glyph::done:
            painter.drawPolyline(QPolygonF({{2.5, 8.5}, {6.25, 12.25}, {13.5, 3.75}}));
            break;
        case Glyph::save:
            painter.drawLine(QPointF(8, 1.75), QPointF(8, 10));
            painter.drawPolyline(QPolygonF({{4.5, 6.75}, {8, 10.25}, {11.5, 6.75}}));
            painter.drawPolyline(QPolygonF({{2, 10.5}, {2, 14}, {14, 14}, {14, 10.5}}));
            break;
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon buttonIcon(Glyph glyph, const QPalette& palette) {
    const char* names[] = {"edit-copy", "object-select", "document-save"};
    return QIcon::fromTheme(QLatin1String(names[static_cast<int>(glyph)]),
                            drawnIcon(glyph, palette.color(QPalette::ButtonText)));
}

}  // namespace

RecapView::RecapView(AppModel& model, MainTimer* timer, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      model_(model),
      ownTimer_(timer == nullptr ? std::make_unique<QtMainTimer>(this) : nullptr),
      timer_(timer == nullptr ? *ownTimer_ : *timer),
      card_(new RecapCard(this)),
      copyButton_(new QPushButton(this)),
      saveButton_(new QPushButton(this)) {
    setObjectName(QStringLiteral("recap"));
    card_->setCornerRadius(cardRadius);
    auto* shadow = new QGraphicsDropShadowEffect(card_);
    shadow->setBlurRadius(24);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, static_cast<float>(shadowOpacity)));
    card_->setGraphicsEffect(shadow);

    copyButton_->setObjectName(QStringLiteral("copy"));
    saveButton_->setObjectName(QStringLiteral("save"));
    connect(copyButton_, &QPushButton::clicked, this, [this] { copy(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { model_.saveRecap(); });
    auto* copyKey = new QShortcut(QKeySequence::Copy, this);
    connect(copyKey, &QShortcut::activated, copyButton_, &QPushButton::click);
    auto* saveKey = new QShortcut(QKeySequence::Save, this);
    connect(saveKey, &QShortcut::activated, saveButton_, &QPushButton::click);
    auto* closeKey = new QShortcut(QKeySequence::Cancel, this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addWidget(copyButton_, 1);
    buttons->addWidget(saveButton_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(viewPadding, viewPadding, viewPadding, viewPadding);
    layout->setSpacing(partSpacing);
    layout->addWidget(card_, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setFixedWidth(viewWidth);

    connect(&model_, &AppModel::snapshotChanged, this, [this] { refreshContent(); });
    connect(&model_, &AppModel::themesChanged, this, [this] { refreshContent(); });
    connect(&model_, &AppModel::localizationChanged, this, [this] {
        refreshContent();
        refreshTexts();
    });
    refreshContent();
    refreshTexts();
}

RecapView::~RecapView() {
    revert_.cancel();
}

void RecapView::copy() {
    revert_.cancel();
    copied_ = model_.copyRecap();
    if (copied_) {
        revert_ = timer_.after(copiedSeconds, [this] {
            copied_ = false;
            refreshTexts();
        });
    }
    refreshTexts();
}

void RecapView::refreshContent() {
    auto content = model_.state().recapContent();
    const bool present = content.has_value();
    card_->setContent(std::move(content));
    card_->setVisible(present);
    copyButton_->setEnabled(present);
    saveButton_->setEnabled(present);
}

void RecapView::refreshTexts() {
    setWindowTitle(model_.text("popover.todaysRecap"));
    copyButton_->setText(model_.text(copied_ ? "common.done" : "recap.copyImage"));
    copyButton_->setIcon(buttonIcon(copied_ ? Glyph::done : Glyph::copy, palette()));
    saveButton_->setText(model_.text("recap.savePNG"));
    saveButton_->setIcon(buttonIcon(Glyph::save, palette()));
}

void RecapView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        // Centred on the screen the first time; afterwards where the user left it.
        placed_ = true;
        if (const QScreen* screen = this->screen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
    }
}

}  // namespace tapwell::ui

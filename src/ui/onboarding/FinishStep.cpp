#include "ui/onboarding/FinishStep.h"

#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>
#include <numbers>

#include "ui/common/Look.h"
#include "ui/tray/MenuBarIcon.h"

namespace tapwell::ui {

namespace {

constexpr int iconSize = 28;

// The picture beside each tip, drawn in the window's own colours.
class TipIcon final : public QWidget {
  public:
    enum class Kind { tray, settings, shortcut };

    TipIcon(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
        setFixedSize(iconSize, iconSize);
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& colors = palette();
        const QColor ink = colors.color(QPalette::WindowText);
        switch (kind_) {
            case Kind::tray: {
                // The tray icon itself, in the ink that suits this window.
                const MenuBarIcon::Look look{
                    isDark(colors) ? MenuBarIcon::Tone::light : MenuBarIcon::Tone::dark, false};
                painter.drawImage(QRect(0, 0, iconSize, iconSize),
                                  MenuBarIcon::image(iconSize, devicePixelRatioF(), look));
                break;
            }
            case Kind::settings:
                drawGear(painter, ink, colors.color(QPalette::Window));
                break;
            case Kind::shortcut:
                drawKeycap(painter, ink);
                break;
        }
    }

  private:
    // A gear of eight teeth around a hole.
    void drawGear(QPainter& painter, const QColor& ink, const QColor& window) const {
        const QPointF centre(iconSize / 2.0, iconSize / 2.0);
        QPainterPath gear;
        constexpr int teeth = 8;
        for (int i = 0; i < teeth * 2; ++i) {
            // Alternate the outer edge of a tooth and the gap between teeth, two corners each.
            const double radius = i % 2 == 0 ? 12.5 : 9.5;
            for (const double side : {-1.0, 1.0}) {
                const double angle =
                    (i + 0.5 + side * 0.32) * std::numbers::pi / teeth - std::numbers::pi / 2;
                const QPointF point = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
                if (gear.elementCount() == 0) {
                    gear.moveTo(point);
                } else {
                    gear.lineTo(point);
                }
            }
        }
        gear.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(blend(window, ink, 0.8));
        painter.drawPath(gear);
        painter.setBrush(window);
        painter.drawEllipse(centre, 4.0, 4.0);
    }

    // A keycap with a K on it, like the one the shortcut ends with.
    void drawKeycap(QPainter& painter, const QColor& ink) const {
        const QRectF cap(2.0, 2.5, iconSize - 4.0, iconSize - 5.0);
        painter.setPen(QPen(blend(palette().color(QPalette::Window), ink, 0.8), 1.6));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(cap, 5.0, 5.0);
        painter.drawLine(QPointF(cap.left() + 4.0, cap.bottom() - 3.5),
                         QPointF(cap.right() - 4.0, cap.bottom() - 3.5));
        QFont font = this->font();
        font.setBold(true);
        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(ink);
        painter.drawText(cap.adjusted(0, 0, 0, -4.0), Qt::AlignCenter, QStringLiteral("K"));
    }

    Kind kind_;
};

}  // namespace

FinishStep::FinishStep(AppModel& model, QWidget* parent)
    : OnboardingStep(model, "finishStep", parent) {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(4);
    const TipIcon::Kind kinds[] = {TipIcon::Kind::tray, TipIcon::Kind::settings,
                                   TipIcon::Kind::shortcut};
    const char* names[] = {"tipTray", "tipSettings", "tipShortcut"};
    for (std::size_t i = 0; i < tips_.size(); ++i) {
        Tip& tip = tips_[i];
        const std::string name = names[i];
        tip.heading = makeLabel((name + "Heading").c_str());
        QFont font = tip.heading->font();
        font.setBold(true);
        tip.heading->setFont(font);
        tip.body = makeLabel((name + "Body").c_str());
        addSecondary(tip.body);
        const int row = static_cast<int>(i) * 3;
        grid->addWidget(new TipIcon(kinds[i], this), row, 0, 2, 1, Qt::AlignTop);
        grid->addWidget(tip.heading, row, 1);
        grid->addWidget(tip.body, row + 1, 1);
        grid->setRowMinimumHeight(row + 2, 14);
    }
    grid->setColumnStretch(1, 1);
    content()->addLayout(grid);
    content()->addStretch(1);

    connect(&model_, &AppModel::shortcutAvailableChanged, this, &FinishStep::showShortcut);
    connect(&model_, &AppModel::preferencesChanged, this, &FinishStep::showShortcut);
}

QString FinishStep::shortcutText() {
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K).toString(QKeySequence::NativeText);
}

void FinishStep::retranslate() {
    setTexts("onboarding.finish.title", "onboarding.finish.lead");
    tips_[0].heading->setText(model_.text("onboarding.finish.trayTitle"));
    tips_[0].body->setText(model_.text("onboarding.finish.tray"));
    tips_[1].heading->setText(model_.text("onboarding.finish.settingsTitle"));
    tips_[1].body->setText(model_.text("onboarding.finish.settings"));
    tips_[2].heading->setText(model_.text("onboarding.finish.shortcutTitle"));
    showShortcut();
}

void FinishStep::showShortcut() {
    const StateView& state = model_.state();
    const char* key = !state.preferences().shortcutEnabled ? "onboarding.finish.shortcutOff"
                      : state.shortcutAvailable()          ? "onboarding.finish.shortcut"
                                                           : "onboarding.finish.shortcutTaken";
    tips_[2].body->setText(qstr(state.localization().format(key, {shortcutText().toStdString()})));
}

}  // namespace tapwell::ui

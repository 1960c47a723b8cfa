#include "ui/popover/ThemePicker.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr int columns = 2;
constexpr int swatchSize = 16;  // device-independent pixels

}  // namespace

ThemePicker::ThemePicker(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setSpacing(6);
}

std::vector<ThemePicker::Offer> ThemePicker::offers(const StateView& state) {
    std::vector<Offer> result;
    const Localization& localization = state.localization();
    for (const ThemeEntry& entry : state.themes()) {
        if (!entry.loaded || !state.availableThemeIDs().contains(entry.loaded->theme.id)) {
            continue;
        }
        const Theme& theme = entry.loaded->theme;
        Offer offer;
        offer.id = theme.id;
        offer.name = qstr(localization.pick(theme.name).value_or(theme.id));
        offer.tagline = qstr(localization.pick(theme.tagline).value_or(std::string()));
        offer.accent = themeColor(theme.colors.accent);
        offer.onAccent = themeColor(theme.colors.onAccent);
        result.push_back(std::move(offer));
    }
    return result;
}

void ThemePicker::showThemes(const StateView& state) {
    auto current = offers(state);
    if (current != offers_) {
        rebuild(std::move(current));
    }
    const std::string selected = state.currentTheme() ? state.currentTheme()->id : std::string();
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        const QSignalBlocker quiet(tiles_[i]);
        const bool isSelected = offers_[i].id == selected;
        tiles_[i]->setChecked(isSelected);
        // The tick on the swatch marks it too; bold text carries it in every palette.
        QFont font = tiles_[i]->font();
        font.setBold(isSelected);
        tiles_[i]->setFont(font);
    }
}

QList<QWidget*> ThemePicker::tiles() const {
    return QList<QWidget*>(tiles_.begin(), tiles_.end());
}

QWidget* ThemePicker::selectedTile() const {
    for (QToolButton* tile : tiles_) {
        if (tile->isChecked()) {
            return tile;
        }
    }
    return nullptr;
}

void ThemePicker::rebuild(std::vector<Offer> offers) {
    for (QToolButton* tile : tiles_) {
        delete tile;
    }
    tiles_.clear();
    offers_ = std::move(offers);
    for (std::size_t i = 0; i < offers_.size(); ++i) {
        const Offer& offer = offers_[i];
        auto* tile = new QToolButton(this);
        tile->setObjectName(QStringLiteral("theme:") + qstr(offer.id));
        tile->setCheckable(true);
        tile->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        tile->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        tile->setIcon(swatch(offer));
        tile->setIconSize(QSize(swatchSize, swatchSize));
        tile->setText(offer.name);
        tile->setToolTip(offer.tagline);
        tile->setAccessibleName(offer.name);
        tile->setAccessibleDescription(offer.tagline);
        tile->setFocusPolicy(Qt::StrongFocus);
        const std::string id = offer.id;
        connect(tile, &QToolButton::clicked, this, [this, id] { Q_EMIT chosen(qstr(id)); });
        const int index = static_cast<int>(i);
        grid_->addWidget(tile, index / columns, index % columns);
        tiles_.push_back(tile);
    }
}

QIcon ThemePicker::swatch(const Offer& offer) const {
    QIcon icon;
    // Drawn for ordinary and double-density screens; the icon picks the sharper one for the
    // screen it is on and scales between.
    for (const qreal ratio : {1.0, 2.0}) {
        for (const bool selected : {false, true}) {
            QPixmap pixmap(QSize(swatchSize, swatchSize) * ratio);
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF box(0.5, 0.5, swatchSize - 1.0, swatchSize - 1.0);
            // A darker rim keeps pale accents visible on a light window.
            painter.setPen(QPen(offer.accent.darker(140), 1.0));
            painter.setBrush(offer.accent);
            painter.drawRoundedRect(box, 4, 4);
            if (selected) {
                QPainterPath tick;
                tick.moveTo(4.0, 8.5);
                tick.lineTo(7.0, 11.5);
                tick.lineTo(12.0, 5.0);
                painter.setPen(
                    QPen(offer.onAccent, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.setBrush(Qt::NoBrush);
                painter.drawPath(tick);
            }
            painter.end();
            icon.addPixmap(pixmap, QIcon::Normal, selected ? QIcon::On : QIcon::Off);
        }
    }
    return icon;
}

}  // namespace tapwell::ui

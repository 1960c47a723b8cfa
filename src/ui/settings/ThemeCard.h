#pragma once
// A theme as a card drawn in the theme's own colours: its name and tagline on the card's
// background, a row of keycaps in its keycap and accent colours, and, when chosen, a ring and a
// tick in its accent. A card whose sounds could not be prepared is shown but cannot be chosen.

#include <QAbstractButton>
#include <QColor>

#include <string>

#include "themes/Theme.h"

namespace tapwell::ui {

class ThemeCard final : public QAbstractButton {
    Q_OBJECT

  public:
    ThemeCard(const Theme& theme, QString name, QString tagline, QWidget* parent = nullptr);

    const std::string& themeID() const { return id_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string id_;
    QString tagline_;
    QColor background_;
    QColor text_;
    QColor secondary_;
    QColor accent_;
    QColor onAccent_;
    QColor keycap_;
};

}  // namespace tapwell::ui

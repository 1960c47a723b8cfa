#pragma once
// The sound themes as a grid of tiles, each with the theme's localized name and a swatch of its
// accent colour; the selected theme's tile is checked and its swatch carries a tick. Only themes
// that loaded and that the sound engine prepared are offered. Choosing a tile reports the theme's
// id; the tiles show the state's selection again afterwards, so a refused choice changes nothing.

#include <QToolButton>
#include <QWidget>

#include <string>
#include <vector>

#include "app/StateView.h"

class QGridLayout;

namespace tapwell::ui {

class ThemePicker final : public QWidget {
    Q_OBJECT

  public:
    explicit ThemePicker(QWidget* parent = nullptr);

    // Shows the offered themes of `state` (rebuilding the tiles only when the themes or their
    // names changed) and marks the selected one.
    void showThemes(const StateView& state);
    // How many themes are offered.
    int count() const { return static_cast<int>(tiles_.size()); }
    // The tiles in reading order, and the selected one (null when none is).
    QList<QWidget*> tiles() const;
    QWidget* selectedTile() const;

  Q_SIGNALS:
    void chosen(const QString& id);

  private:
    struct Offer {
        std::string id;
        QString name;
        QString tagline;
        QColor accent;
        QColor onAccent;

        bool operator==(const Offer&) const = default;
    };
    static std::vector<Offer> offers(const StateView& state);
    void rebuild(std::vector<Offer> offers);
    QIcon swatch(const Offer& offer) const;

    QGridLayout* grid_ = nullptr;
    std::vector<Offer> offers_;
    std::vector<QToolButton*> tiles_;
};

}  // namespace tapwell::ui

#pragma once
// Sound themes: every theme of the catalogue as a card in its own colours (choosing one selects
// it, which plays its preview), why the themes that failed could not be used, importing a sound
// pack as a theme of one's own, and the ambience loop with its volume.

#include <vector>

#include "app/AppModel.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;

namespace tapwell::ui {

class ThemeCard;

class ThemesPage final : public SettingsPageView {
    Q_OBJECT

  public:
    explicit ThemesPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

    // The cards in reading order.
    const std::vector<ThemeCard*>& cards() const { return cards_; }

  private:
    void showThemes();
    void showSound();
    void rebuildCards();
    void chooseImport();

    AppModel& model_;
    QLabel* themesCaption_ = nullptr;
    QWidget* grid_ = nullptr;
    QGridLayout* gridLayout_ = nullptr;
    QLabel* silent_ = nullptr;
    QLabel* failures_ = nullptr;
    QLabel* importLabel_ = nullptr;
    QLabel* importNote_ = nullptr;
    QPushButton* import_ = nullptr;
    QLabel* ambienceCaption_ = nullptr;
    QCheckBox* ambience_ = nullptr;
    QSlider* ambienceVolume_ = nullptr;
    QLabel* ambienceNote_ = nullptr;
    std::vector<ThemeCard*> cards_;
    // What the cards were built from: ids and language.
    std::vector<std::string> builtFor_;
};

}  // namespace tapwell::ui

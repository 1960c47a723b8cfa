#pragma once
// General settings: the interface language (applied at once), the count beside the tray icon,
// the global shortcut (and why it does not work when it could not be registered), opening at
// login, and the way back to the welcome guide.

#include "app/AppModel.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace tapwell::ui {

class GeneralPage final : public SettingsPageView {
    Q_OBJECT

  public:
    explicit GeneralPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

  private:
    void showValues();

    AppModel& model_;
    QLabel* generalCaption_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* languageNote_ = nullptr;
    QCheckBox* showCount_ = nullptr;
    QLabel* showCountNote_ = nullptr;
    QCheckBox* shortcut_ = nullptr;
    QLabel* shortcutNote_ = nullptr;
    QLabel* shortcutUnavailable_ = nullptr;
    QCheckBox* openAtLogin_ = nullptr;
    QLabel* loginApproval_ = nullptr;
    QLabel* guideCaption_ = nullptr;
    QLabel* guideLabel_ = nullptr;
    QPushButton* guide_ = nullptr;
};

}  // namespace tapwell::ui

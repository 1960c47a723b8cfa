#pragma once
// Privacy: what is recorded and what never is, one stored day exactly as it is written, and the
// data commands: show the folder, export everything to one file, and delete everything after a
// confirmation that says what will be lost.

#include <QMessageBox>
#include <QPointer>

#include "app/AppModel.h"
#include "ui/settings/SettingsForm.h"

class QLabel;
class QPushButton;

namespace tapwell::ui {

class PrivacyPage final : public SettingsPageView {
    Q_OBJECT

  public:
    explicit PrivacyPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

    // The delete confirmation while it is open.
    QMessageBox* confirmation() const { return confirmation_; }

  private:
    void showSample();
    void askToDelete();

    AppModel& model_;
    QLabel* keptCaption_ = nullptr;
    QLabel* recordedLabel_ = nullptr;
    QLabel* recorded_ = nullptr;
    QLabel* neverLabel_ = nullptr;
    QLabel* never_ = nullptr;
    QLabel* sampleLabel_ = nullptr;
    QLabel* sample_ = nullptr;
    QLabel* dataCaption_ = nullptr;
    QLabel* showLabel_ = nullptr;
    QLabel* showNote_ = nullptr;
    QPushButton* show_ = nullptr;
    QLabel* exportLabel_ = nullptr;
    QLabel* exportNote_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* deleteLabel_ = nullptr;
    QLabel* deleteNote_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPointer<QMessageBox> confirmation_;
};

}  // namespace tapwell::ui

#pragma once
// The chooser of installed applications for the muted list: every installed application with its
// icon and name, filtered as one types, several at a time; the ones already muted are left out.
// Returns the ids chosen, none when cancelled.

#include <QDialog>
#include <QIcon>

#include <string>
#include <vector>

#include "app/AppModel.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace tapwell::ui {

// The icon of an application: a theme icon name or an absolute file; a generic one otherwise.
QIcon applicationIcon(const std::string& icon);

class AppChooser final : public QDialog {
    Q_OBJECT

  public:
    explicit AppChooser(AppModel& model, QWidget* parent = nullptr);

    // The ids of the selected applications.
    std::vector<std::string> chosen() const;
    // Shows the chooser modally; the ids chosen, empty when cancelled.
    static std::vector<std::string> ask(AppModel& model, QWidget* parent);

  private:
    void filter(const QString& text);
    void updateButtons();

    AppModel& model_;
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* empty_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace tapwell::ui

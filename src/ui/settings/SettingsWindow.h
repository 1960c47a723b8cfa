#pragma once
// The settings window: a sidebar of the six pages and the chosen page beside it, with the last
// failure of something the user started (exporting, deleting, the login item, the output) shown
// above the page until it is dismissed. Created on first use and kept; its position and size are
// remembered between runs. Every page reads the model's state and acts through its commands, and
// everything is re-translated when the language changes. Main thread only.

#include <QTimer>
#include <QWidget>

#include <vector>

#include "app/AppModel.h"
#include "preferences/AppPreferences.h"

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace tapwell::ui {

class SettingsPageView;

class SettingsWindow final : public QWidget {
    Q_OBJECT

  public:
    // The name its frame is kept under.
    static constexpr const char* frameName = "TapwellSettings";
    static constexpr QSize contentSize{820, 650};
    static constexpr QSize minimumContentSize{760, 580};

    explicit SettingsWindow(AppModel& model, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    void showPage(SettingsPage page);
    SettingsPage currentPage() const;
    SettingsPageView* page(SettingsPage page) const;

  protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void retranslate();
    void showServiceError();
    void restoreFrame();
    void saveFrame();

    AppModel& model_;
    QListWidget* sidebar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QWidget* banner_ = nullptr;
    QLabel* bannerText_ = nullptr;
    QPushButton* bannerDismiss_ = nullptr;
    std::vector<SettingsPageView*> pages_;
    QTimer frameSaver_;
    bool restored_ = false;
};

}  // namespace tapwell::ui

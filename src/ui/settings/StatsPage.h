#pragma once
// Statistics: today's keystrokes per hour, the estimated words, the way to today's recap, the
// last fourteen days from the stored day files, and the rank-up celebration.

#include <vector>

#include "app/AppModel.h"
#include "stats/DailyStats.h"
#include "ui/settings/SettingsForm.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tapwell::ui {

class BarChart;

class StatsPage final : public SettingsPageView {
    Q_OBJECT

  public:
    static constexpr int daysShown = 14;

    explicit StatsPage(AppModel& model, QWidget* parent = nullptr);
    void retranslate() override;

    // Reads the stored days again (they are read when the page is shown and when the day turns).
    void reloadDays();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void showToday();
    void showDays();
    void showTheme();

    AppModel& model_;
    QLabel* todayCaption_ = nullptr;
    QLabel* hoursLabel_ = nullptr;
    QLabel* todayTotal_ = nullptr;
    BarChart* hours_ = nullptr;
    QLabel* words_ = nullptr;
    QLabel* wordsNote_ = nullptr;
    QLabel* recapLabel_ = nullptr;
    QLabel* recapNote_ = nullptr;
    QPushButton* recap_ = nullptr;
    QLabel* daysCaption_ = nullptr;
    QLabel* daysLabel_ = nullptr;
    BarChart* days_ = nullptr;
    QLabel* daysNote_ = nullptr;
    QLabel* celebrationCaption_ = nullptr;
    QCheckBox* celebration_ = nullptr;
    QLabel* celebrationNote_ = nullptr;
    std::vector<DailyStats> storedDays_;
    std::string loadedForDay_;
};

}  // namespace tapwell::ui

#pragma once
// The popover's content: today's count with its rank, the typing speed, the sound theme, the
// volumes, sounds on and off, an hour's mute, the break nudges, the keyboard access notice, and
// the way to the recap, the settings and out. Everything it shows comes from the model's state
// and is redrawn when the model says it changed; everything it does is a model command. Main
// thread only.

#include <QWidget>

#include "app/AppModel.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace tapwell::ui {

class AccessPrompt;
class ThemePicker;

class PopoverView final : public QWidget {
    Q_OBJECT

  public:
    explicit PopoverView(AppModel& model, QWidget* parent = nullptr);

    // Puts the first control in the focus chain into focus: the notice's button while it shows,
    // else the selected theme.
    void focusFirst();

  Q_SIGNALS:
    // The user went elsewhere (a window opened, or the program quits): the popover may close.
    void finished();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void build();
    void retranslate();
    void showCount();
    void showThemes();
    void showSound();
    void showMute();
    void showNudge();
    void showAccess();
    void applySecondaryColor();
    void orderFocus();

    AppModel& model_;
    AccessPrompt* access_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* countCaption_ = nullptr;
    QLabel* rankName_ = nullptr;
    QProgressBar* rankBar_ = nullptr;
    QLabel* rankDetail_ = nullptr;
    QLabel* speedNow_ = nullptr;
    QLabel* speedNowCaption_ = nullptr;
    QLabel* speedBest_ = nullptr;
    QLabel* speedBestCaption_ = nullptr;
    QLabel* themeCaption_ = nullptr;
    ThemePicker* themes_ = nullptr;
    QLabel* soundUnavailable_ = nullptr;
    QLabel* typingLabel_ = nullptr;
    QSlider* typing_ = nullptr;
    QLabel* alertLabel_ = nullptr;
    QSlider* alert_ = nullptr;
    QCheckBox* soundsEnabled_ = nullptr;
    QPushButton* mute_ = nullptr;
    QLabel* muteStatus_ = nullptr;
    QLabel* breaksCaption_ = nullptr;
    QLabel* nudgeStatus_ = nullptr;
    QPushButton* nudgeToggle_ = nullptr;
    QPushButton* recap_ = nullptr;
    QPushButton* settings_ = nullptr;
    QPushButton* quit_ = nullptr;
};

}  // namespace tapwell::ui

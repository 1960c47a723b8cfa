#pragma once
// The onboarding window: four steps (the try-out pad, keyboard access, privacy, and where to find
// Tapwell afterwards) with Back, Next and Skip, titled with the program's name, centred, of a
// fixed size, created once and reused. It tells the state when it gains or loses the focus and
// when it is closed, and hands every key typed into it to the state's local key handler: a key
// the state takes (the pad is playing it) goes no further; any other key (Tab, Escape, shortcuts,
// everything while the pad is not active) is handled by the window as usual. Space and Return on
// a button that has the keyboard focus always press the button, so every control works from the
// keyboard on the first step too. Main thread only.

#include <QWidget>

#include <array>
#include <functional>
#include <set>

#include "app/AppModel.h"
#include "ui/onboarding/LocalKeyEvent.h"

class QKeyEvent;
class QPushButton;
class QStackedWidget;

namespace tapwell::ui {

class OnboardingStep;
class StepDots;

class OnboardingWindow final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int stepCount = 4;

    explicit OnboardingWindow(AppModel& model, QWidget* parent = nullptr);
    ~OnboardingWindow() override;

    // The step shown: the state's, kept within the steps there are.
    int shownStep() const;
    OnboardingStep& step(int index) const { return *steps_[static_cast<std::size_t>(index)]; }

    // Where key codes and time stamps come from; tests set their own.
    void setScanCodes(ScanCodes scanCodes) { scanCodes_ = scanCodes; }
    using Uptime = std::function<double()>;
    void setUptime(Uptime uptime) { uptime_ = std::move(uptime); }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build();
    void retranslate();
    void showStep();
    void orderFocus();
    // Offers a key typed into the window to the state; true when the state took it.
    bool offerKey(QKeyEvent& event);
    bool pressesFocusedButton(const QKeyEvent& event) const;

    AppModel& model_;
    std::array<OnboardingStep*, stepCount> steps_{};
    StepDots* dots_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;
    ScanCodes scanCodes_;
    Uptime uptime_;
    bool placed_ = false;
    int focusedStep_ = -1;
    // Keys whose press went to a focused button: their repeats and release go there too.
    std::set<std::int64_t> buttonKeys_;
};

}  // namespace tapwell::ui

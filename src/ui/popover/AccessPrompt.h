#pragma once
// The notice shown while Tapwell cannot read the keyboard: what is wrong, the command that grants
// access (with a button that copies it), and a button to the step-by-step help. The popover shows
// it only while the state reports no keyboard input.

#include <QFrame>

class QLabel;
class QPushButton;

namespace tapwell {
class AppModel;
}

namespace tapwell::ui {

class AccessPrompt final : public QFrame {
    Q_OBJECT

  public:
    // The command that adds the user to the group that may read the keyboard devices.
    static constexpr const char* grantCommand = "sudo usermod -aG input $USER";

    explicit AccessPrompt(AppModel& model, QWidget* parent = nullptr);

    // Sets the texts in the current language; the copy button reads "Copy" again.
    void retranslate();
    // The buttons in Tab order; focusFirst() gives the first the focus.
    QList<QWidget*> focusChain() const;
    void focusFirst();

  Q_SIGNALS:
    // The help window was opened: the popover may close.
    void helpOpened();

  protected:
    void paintEvent(QPaintEvent* event) override;
    // "Copied" lasts until the popover closes.
    void hideEvent(QHideEvent* event) override;

  private:
    AppModel& model_;
    QLabel* icon_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* body_ = nullptr;
    QLabel* command_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* help_ = nullptr;
};

}  // namespace tapwell::ui

#pragma once
// The large pad of the first onboarding step that invites typing. It shows either a prompt or the
// number of presses typed so far with its caption, and answers each new press with a short glow
// in the theme's accent. It takes the focus (so typing lands in the window) but handles no key
// itself: the window hands keys to the state. Main thread only.

#include <QColor>
#include <QString>
#include <QWidget>

class QVariantAnimation;

namespace tapwell::ui {

class TryOutPad final : public QWidget {
    Q_OBJECT

  public:
    explicit TryOutPad(QWidget* parent = nullptr);

    // The prompt shows while `count` is empty.
    void setTexts(const QString& prompt, const QString& count, const QString& caption);
    void setAccent(const QColor& accent);
    // Whether typing reaches the pad now (the window has the focus): the pad's edge says so.
    void setListening(bool listening);
    // The glow of one press.
    void pulse();

    const QString& prompt() const { return prompt_; }
    const QString& count() const { return count_; }
    const QString& caption() const { return caption_; }
    bool listening() const { return listening_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QString prompt_;
    QString count_;
    QString caption_;
    QColor accent_;
    bool listening_ = false;
    double glow_ = 0.0;  // 1 right after a press, fading to 0
    QVariantAnimation* fade_ = nullptr;
};

}  // namespace tapwell::ui

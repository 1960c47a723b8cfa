#pragma once
// One step of the onboarding window: a title, a lead paragraph under it, and the step's own
// content below. Steps draw everything from the model's state, refresh their texts on
// `retranslate`, and tell the window which of their controls Tab visits. Main thread only.

#include <QList>
#include <QWidget>

#include "app/AppModel.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tapwell::ui {

// Sets a button's text and accessible name and gives the text room on both sides: styles such as
// Fusion draw it edge to edge otherwise. Buttons are at least `minimumWidth` wide.
void setButtonText(QPushButton& button, const QString& text, int minimumWidth = 0);

// Shows a label as a line of code to read or copy: monospaced, selectable, on the input colour.
void showAsCode(QLabel& label);

class OnboardingStep : public QWidget {
    Q_OBJECT

  public:
    OnboardingStep(AppModel& model, const char* name, QWidget* parent);

    // Sets every text in the current language.
    virtual void retranslate() = 0;
    // The step's controls in the order Tab visits them.
    virtual QList<QWidget*> focusChain() const = 0;
    // The control that has the focus when the step opens; none leaves it to the window.
    virtual QWidget* firstFocus() const { return nullptr; }

    QLabel* title() const { return title_; }
    QLabel* lead() const { return lead_; }

  protected:
    void setTexts(const char* titleKey, const char* leadKey);
    // Where the step's content goes, under the lead.
    QVBoxLayout* content() const { return content_; }
    // Labels drawn in the quieter colour between the window's text and its background.
    void addSecondary(QLabel* label);
    // A label with an object name, wrapping its text.
    QLabel* makeLabel(const char* name);

    void changeEvent(QEvent* event) override;

    AppModel& model_;

  private:
    void applySecondaryColor();

    QLabel* title_ = nullptr;
    QLabel* lead_ = nullptr;
    QVBoxLayout* content_ = nullptr;
    QList<QLabel*> secondary_;
};

}  // namespace tapwell::ui

#pragma once
// The building blocks every settings page is made of: a page with its title, sections with a
// caption, rounded groups of rows, and rows that carry a switch or a label on the left, controls
// on the right and an explanation underneath. Secondary and error texts take their colours from
// the desktop's palette, so every page follows light and dark without colours of its own.

#include <QFrame>
#include <QString>
#include <QWidget>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tapwell::ui {

// A secondary text that wraps: explanations under a row, statuses.
QLabel* makeNote(QWidget* parent, const char* name);
// A text in the palette's error colour; hidden until it has something to say.
QLabel* makeErrorNote(QWidget* parent, const char* name);
// Gives the error notes below `root` the error colour of the current palette.
void tintErrors(QWidget* root);
QCheckBox* makeSwitch(QWidget* parent, const char* name);
QPushButton* makeButton(QWidget* parent, const char* name);
// Shows `text` in `note`, or hides it when there is none.
void showNote(QLabel* note, const QString& text);

// A rounded box of rows with thin rules between them.
class SettingsGroup final : public QFrame {
    Q_OBJECT

  public:
    explicit SettingsGroup(QWidget* parent = nullptr);
    // Adds a row (a rule goes between it and the one before).
    void addRow(QWidget* row);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVBoxLayout* rows_ = nullptr;
    int count_ = 0;
};

// One setting: `lead` (a switch or a label) on the left, `trailing` controls on the right, and
// the notes underneath, lined up with the lead's text.
class SettingsRow final : public QWidget {
    Q_OBJECT

  public:
    SettingsRow(QWidget* lead, QWidget* parent = nullptr);
    void addTrailing(QWidget* control);
    void addNote(QWidget* note);
    // Widgets that sit on a line of their own under the lead (lists, charts).
    void addBody(QWidget* body);

  private:
    QBoxLayout* line_ = nullptr;
    QVBoxLayout* below_ = nullptr;
};

// A page of the settings window: its title, then sections top to bottom.
class SettingsPageView : public QWidget {
    Q_OBJECT

  public:
    explicit SettingsPageView(QWidget* parent = nullptr);
    // Sets every text again in the current language.
    virtual void retranslate() = 0;

  protected:
    // A section: a caption (kept for retranslation by the page) and a group under it.
    SettingsGroup* addSection(QLabel*& caption, const char* name);
    // A group of its own, without a caption.
    SettingsGroup* addGroup();
    void addWidget(QWidget* widget);
    void finish();
    QLabel* title() const { return title_; }

  private:
    QLabel* title_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

}  // namespace tapwell::ui

#include "ui/onboarding/TryOutStep.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "presentation/PluralText.h"
#include "ui/common/Look.h"
#include "ui/onboarding/TryOutPad.h"
#include "ui/popover/ThemePicker.h"

namespace tapwell::ui {

TryOutStep::TryOutStep(AppModel& model, QWidget* parent)
    : OnboardingStep(model, "tryOutStep", parent),
      pad_(new TryOutPad(this)),
      themeCaption_(makeLabel("themeCaption")),
      themes_(new ThemePicker(this)),
      note_(makeLabel("padNote")) {
    QFont captionFont = themeCaption_->font();
    captionFont.setBold(true);
    themeCaption_->setFont(captionFont);
    themes_->setObjectName(QStringLiteral("themes"));
    addSecondary(note_);

    content()->addWidget(pad_, 1);
    content()->addSpacing(4);
    content()->addWidget(note_);
    content()->addWidget(themeCaption_);
    content()->addWidget(themes_);

    connect(themes_, &ThemePicker::chosen, this, [this](const QString& id) {
        model_.selectTheme(id);
        // The state's choice, whether it took this one or not.
        showThemes();
    });
    connect(&model_, &AppModel::onboardingChanged, this, &TryOutStep::showPresses);
    connect(&model_, &AppModel::themesChanged, this, &TryOutStep::showThemes);
    connect(&model_, &AppModel::soundChanged, this, &TryOutStep::showNote);
    connect(&model_, &AppModel::nowChanged, this, &TryOutStep::showNote);
    shownPresses_ = model_.state().onboardingPresses();
}

void TryOutStep::retranslate() {
    setTexts("onboarding.pad.title", "onboarding.pad.lead");
    themeCaption_->setText(model_.text("onboarding.pad.themes"));
    pad_->setAccessibleName(model_.text("onboarding.pad.name"));
    showPresses();
    showThemes();
    showNote();
}

void TryOutStep::showPresses() {
    const StateView& state = model_.state();
    const std::int64_t presses = state.onboardingPresses();
    if (presses > shownPresses_) {
        pad_->pulse();
    }
    shownPresses_ = presses;
    // The pad takes typing while its window has the focus.
    const bool listening = window()->isActiveWindow();
    pad_->setListening(listening);
    const QString prompt =
        model_.text(listening ? "onboarding.pad.prompt" : "onboarding.pad.clickToType");
    if (presses == 0) {
        pad_->setTexts(prompt, QString(), QString());
    } else {
        const Localization& localization = state.localization();
        pad_->setTexts(prompt, qstr(localization.groupedInteger(presses)),
                       qstr(pluralText(localization, "onboarding.pad.presses", presses)));
    }
}

void TryOutStep::showThemes() {
    const StateView& state = model_.state();
    themes_->showThemes(state);
    // A click on a theme leaves the focus on the pad, so typing goes on where it was; Tab still
    // reaches every theme.
    for (QWidget* tile : themes_->tiles()) {
        tile->setFocusPolicy(Qt::TabFocus);
    }
    const bool offered = themes_->count() > 1;
    themes_->setVisible(offered);
    themeCaption_->setVisible(offered);
    pad_->setAccent(state.currentTheme() ? themeColor(state.currentTheme()->colors.accent)
                                         : QColor());
    showNote();
}

void TryOutStep::showNote() {
    const StateView& state = model_.state();
    const char* key = nullptr;
    if (!state.audioAvailable() || themes_->count() == 0) {
        key = "onboarding.pad.silent";
    } else if (!state.soundSettings().soundsEnabled || state.isMuted()) {
        key = "onboarding.pad.soundsOff";
    }
    note_->setVisible(key != nullptr);
    if (key != nullptr) {
        note_->setText(model_.text(key));
    }
}

QList<QWidget*> TryOutStep::focusChain() const {
    QList<QWidget*> chain{pad_};
    if (themes_->isVisibleTo(this)) {
        chain += themes_->tiles();
    }
    return chain;
}

QWidget* TryOutStep::firstFocus() const {
    return pad_;
}

bool TryOutStep::event(QEvent* event) {
    // The window passes its activation on to its children.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
        showPresses();
    }
    return OnboardingStep::event(event);
}

}  // namespace tapwell::ui

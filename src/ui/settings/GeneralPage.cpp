#include "ui/settings/GeneralPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/common/Look.h"

namespace tapwell::ui {

GeneralPage::GeneralPage(AppModel& model, QWidget* parent)
    : SettingsPageView(parent), model_(model) {
    SettingsGroup* general = addSection(generalCaption_, "generalCaption");

    languageLabel_ = new QLabel;
    languageLabel_->setObjectName(QStringLiteral("languageLabel"));
    language_ = new QComboBox;
    language_->setObjectName(QStringLiteral("language"));
    language_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const std::string_view code : Localization::supported) {
        language_->addItem(QString(), QString::fromLatin1(code.data(), code.size()));
    }
    languageLabel_->setBuddy(language_);
    connect(language_, &QComboBox::activated, this,
            [this](int index) { model_.setLanguage(language_->itemData(index).toString()); });
    languageNote_ = makeNote(nullptr, "languageNote");
    auto* languageRow = new SettingsRow(languageLabel_);
    languageRow->addTrailing(language_);
    languageRow->addNote(languageNote_);
    general->addRow(languageRow);

    showCount_ = makeSwitch(nullptr, "showCount");
    connect(showCount_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.showCount = on; });
    });
    showCountNote_ = makeNote(nullptr, "showCountNote");
    auto* countRow = new SettingsRow(showCount_);
    countRow->addNote(showCountNote_);
    general->addRow(countRow);

    shortcut_ = makeSwitch(nullptr, "shortcut");
    connect(shortcut_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.shortcutEnabled = on; });
    });
    shortcutNote_ = makeNote(nullptr, "shortcutNote");
    shortcutUnavailable_ = makeErrorNote(nullptr, "shortcutUnavailable");
    auto* shortcutRow = new SettingsRow(shortcut_);
    shortcutRow->addNote(shortcutNote_);
    shortcutRow->addNote(shortcutUnavailable_);
    general->addRow(shortcutRow);

    openAtLogin_ = makeSwitch(nullptr, "openAtLogin");
    connect(openAtLogin_, &QCheckBox::clicked, this,
            [this](bool on) { model_.setLoginEnabled(on); });
    loginApproval_ = makeNote(nullptr, "loginApproval");
    auto* loginRow = new SettingsRow(openAtLogin_);
    loginRow->addNote(loginApproval_);
    general->addRow(loginRow);

    SettingsGroup* guide = addSection(guideCaption_, "guideCaption");
    guideLabel_ = new QLabel;
    guideLabel_->setObjectName(QStringLiteral("guideLabel"));
    guideLabel_->setWordWrap(true);
    guide_ = makeButton(nullptr, "showOnboarding");
    connect(guide_, &QPushButton::clicked, this, [this] { model_.openOnboarding(); });
    auto* guideRow = new SettingsRow(guideLabel_);
    guideRow->addTrailing(guide_);
    guide->addRow(guideRow);
    finish();

    connect(&model_, &AppModel::preferencesChanged, this, &GeneralPage::showValues);
    connect(&model_, &AppModel::shortcutAvailableChanged, this, &GeneralPage::showValues);
    connect(&model_, &AppModel::loginChanged, this, &GeneralPage::showValues);
}

void GeneralPage::retranslate() {
    title()->setText(model_.text("settings.page.general"));
    generalCaption_->setText(model_.text("settings.general.caption"));
    languageLabel_->setText(model_.text("settings.general.language"));
    language_->setAccessibleName(languageLabel_->text());
    for (int i = 0; i < language_->count(); ++i) {
        const QString code = language_->itemData(i).toString();
        language_->setItemText(i, model_.text(("settings.language." + code.toStdString()).c_str()));
    }
    languageNote_->setText(model_.text("settings.general.languageNote"));
    showCount_->setText(model_.text("settings.general.showCount"));
    showCountNote_->setText(model_.text("settings.general.showCountNote"));
    shortcut_->setText(model_.text("settings.general.shortcut"));
    shortcutNote_->setText(model_.text("settings.general.shortcutNote"));
    openAtLogin_->setText(model_.text("settings.general.openAtLogin"));
    guideCaption_->setText(model_.text("settings.general.guideCaption"));
    guideLabel_->setText(model_.text("settings.general.guide"));
    guide_->setText(model_.text("settings.general.showGuide"));
    guide_->setAccessibleName(guide_->text());
    showValues();
}

void GeneralPage::showValues() {
    const StateView& state = model_.state();
    const AppPreferences& preferences = state.preferences();
    {
        const QSignalBlocker quiet(language_);
        language_->setCurrentIndex(language_->findData(qstr(state.localization().language())));
    }
    showCount_->setChecked(preferences.showCount);
    shortcut_->setChecked(preferences.shortcutEnabled);
    showNote(shortcutUnavailable_, preferences.shortcutEnabled && !state.shortcutAvailable()
                                       ? model_.text("settings.general.shortcutUnavailable")
                                       : QString());
    openAtLogin_->setChecked(state.loginEnabled());
    showNote(loginApproval_, state.loginNeedsApproval()
                                 ? model_.text("settings.general.loginApproval")
                                 : QString());
}

}  // namespace tapwell::ui

#include "ui/settings/ThemesPage.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

#include "ui/common/Look.h"
#include "ui/settings/ThemeCard.h"

namespace tapwell::ui {

namespace {

constexpr int columns = 2;
constexpr int volumeSteps = 100;

}  // namespace

ThemesPage::ThemesPage(AppModel& model, QWidget* parent) : SettingsPageView(parent), model_(model) {
    themesCaption_ = new QLabel;
    themesCaption_->setObjectName(QStringLiteral("themesCaption"));
    QFont bold = themesCaption_->font();
    bold.setBold(true);
    themesCaption_->setFont(bold);
    themesCaption_->setContentsMargins(2, 10, 0, 2);
    addWidget(themesCaption_);
    grid_ = new QWidget;
    grid_->setObjectName(QStringLiteral("themeGrid"));
    gridLayout_ = new QGridLayout(grid_);
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    gridLayout_->setSpacing(10);
    addWidget(grid_);
    silent_ = makeNote(nullptr, "soundUnavailable");
    addWidget(silent_);
    failures_ = makeErrorNote(nullptr, "themeFailures");
    addWidget(failures_);

    SettingsGroup* own = addGroup();
    importLabel_ = new QLabel;
    importLabel_->setObjectName(QStringLiteral("importLabel"));
    import_ = makeButton(nullptr, "importTheme");
    connect(import_, &QPushButton::clicked, this, &ThemesPage::chooseImport);
    importNote_ = makeNote(nullptr, "importNote");
    auto* importRow = new SettingsRow(importLabel_);
    importRow->addTrailing(import_);
    importRow->addNote(importNote_);
    own->addRow(importRow);

    SettingsGroup* ambience = addSection(ambienceCaption_, "ambienceCaption");
    ambience_ = makeSwitch(nullptr, "ambience");
    connect(ambience_, &QCheckBox::clicked, this, [this](bool on) { model_.setRainEnabled(on); });
    ambienceVolume_ = new QSlider(Qt::Horizontal);
    ambienceVolume_->setObjectName(QStringLiteral("ambienceVolume"));
    ambienceVolume_->setRange(0, volumeSteps);
    ambienceVolume_->setSingleStep(5);
    ambienceVolume_->setPageStep(10);
    ambienceVolume_->setFixedWidth(200);
    connect(ambienceVolume_, &QSlider::valueChanged, this,
            [this](int value) { model_.setRainVolume(value / double(volumeSteps)); });
    ambienceNote_ = makeNote(nullptr, "ambienceNote");
    auto* ambienceRow = new SettingsRow(ambience_);
    ambienceRow->addTrailing(ambienceVolume_);
    ambienceRow->addNote(ambienceNote_);
    ambience->addRow(ambienceRow);
    finish();

    connect(&model_, &AppModel::themesChanged, this, &ThemesPage::showThemes);
    connect(&model_, &AppModel::soundChanged, this, &ThemesPage::showSound);
}

void ThemesPage::retranslate() {
    title()->setText(model_.text("settings.page.themes"));
    themesCaption_->setText(model_.text("settings.themes.caption"));
    silent_->setText(model_.text("popover.soundUnavailable"));
    importLabel_->setText(model_.text("settings.themes.import"));
    importNote_->setText(model_.text("settings.themes.importNote"));
    ambienceCaption_->setText(model_.text("settings.themes.ambienceCaption"));
    ambience_->setText(model_.text("settings.themes.ambience"));
    ambienceVolume_->setAccessibleName(model_.text("settings.themes.ambienceVolume"));
    builtFor_.clear();  // names and taglines are per language
    showThemes();
    showSound();
}

void ThemesPage::rebuildCards() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    for (ThemeCard* card : cards_) {
        delete card;
    }
    cards_.clear();
    builtFor_.clear();
    builtFor_.push_back(localization.language());
    for (const ThemeEntry& entry : state.themes()) {
        if (!entry.loaded) {
            continue;
        }
        const Theme& theme = entry.loaded->theme;
        auto* card =
            new ThemeCard(theme, qstr(localization.pick(theme.name).value_or(theme.id)),
                          qstr(localization.pick(theme.tagline).value_or(std::string())), grid_);
        const std::string id = theme.id;
        connect(card, &ThemeCard::clicked, this, [this, id] {
            model_.selectTheme(qstr(id));
            showThemes();  // the state's choice, whether it took this one or not
        });
        const auto index = static_cast<int>(cards_.size());
        gridLayout_->addWidget(card, index / columns, index % columns);
        cards_.push_back(card);
        builtFor_.push_back(id);
    }
    // Cards follow each other in the focus chain as they are read.
    for (std::size_t i = 1; i < cards_.size(); ++i) {
        setTabOrder(cards_[i - 1], cards_[i]);
    }
}

void ThemesPage::showThemes() {
    const StateView& state = model_.state();
    const Localization& localization = state.localization();
    std::vector<std::string> wanted{localization.language()};
    QStringList failures;
    for (const ThemeEntry& entry : state.themes()) {
        if (entry.loaded) {
            wanted.push_back(entry.loaded->theme.id);
        } else {
            const std::string name =
                entry.theme ? localization.pick(entry.theme->name).value_or(entry.folderName())
                            : entry.folderName();
            failures << qstr(localization.format("settings.themes.failed",
                                                 {name, entry.failure.value_or(std::string())}));
        }
    }
    if (wanted != builtFor_) {
        rebuildCards();
    }
    const std::string selected = state.currentTheme() ? state.currentTheme()->id : std::string();
    for (ThemeCard* card : cards_) {
        const QSignalBlocker quiet(card);
        const bool prepared = state.availableThemeIDs().contains(card->themeID());
        card->setEnabled(prepared);
        card->setChecked(card->themeID() == selected);
        if (!prepared) {
            card->setToolTip(model_.text("settings.themes.notPrepared"));
            failures << qstr(
                localization.format("settings.themes.failed",
                                    {card->text().toStdString(),
                                     model_.text("settings.themes.notPrepared").toStdString()}));
        }
    }
    silent_->setVisible(!state.audioAvailable());
    showNote(failures_, failures.join(QLatin1Char('\n')));
    import_->setEnabled(!state.importingTheme());
    import_->setText(model_.text(state.importingTheme() ? "settings.themes.importing"
                                                        : "settings.themes.importButton"));
    import_->setAccessibleName(import_->text());
    showSound();
}

void ThemesPage::showSound() {
    const StateView& state = model_.state();
    const SoundSettings& sound = state.soundSettings();
    ambience_->setChecked(sound.rainEnabled);
    {
        const QSignalBlocker quiet(ambienceVolume_);
        ambienceVolume_->setValue(
            static_cast<int>(std::lround(std::clamp(sound.rainVolume, 0.0, 1.0) * volumeSteps)));
    }
    ambienceVolume_->setEnabled(sound.rainEnabled);
    const bool hasAmbience =
        state.currentTheme() && state.currentTheme()->sounds.ambience.has_value();
    ambienceNote_->setText(
        model_.text(hasAmbience ? "settings.themes.ambienceNote" : "settings.themes.noAmbience"));
}

void ThemesPage::chooseImport() {
    const QString pack = QFileDialog::getOpenFileName(
        window(), model_.text("settings.themes.importTitle"), QString(),
        model_.text("settings.themes.importFilter") + QStringLiteral(" (*.zip config.json)"));
    if (!pack.isEmpty()) {
        model_.importTheme(pack);
    }
}

}  // namespace tapwell::ui

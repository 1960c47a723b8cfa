#include "ui/settings/EventsPage.h"

#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <set>

#include "ui/common/Look.h"
#include "ui/settings/AppChooser.h"

namespace tapwell::ui {

namespace {

constexpr int idRole = Qt::UserRole + 1;
constexpr std::int64_t thresholds[] = {10, 15, 20, 30};

}  // namespace

EventsPage::EventsPage(AppModel& model, QWidget* parent) : SettingsPageView(parent), model_(model) {
    alerts_ = {
        {SystemSoundEvent::capsOn, "capsLock", &AppPreferences::capsLock},
        {SystemSoundEvent::charger, "charger", &AppPreferences::charger},
        {SystemSoundEvent::batteryLow, "batteryLow", &AppPreferences::batteryLow},
        {SystemSoundEvent::downloadDone, "download", &AppPreferences::download},
        {SystemSoundEvent::screenshot, "screenshot", &AppPreferences::screenshot},
    };
    SettingsGroup* alerts = addSection(alertsCaption_, "alertsCaption");
    for (Alert& alert : alerts_) {
        alert.toggle = makeSwitch(nullptr, alert.key);
        const auto field = alert.preference;
        connect(alert.toggle, &QCheckBox::clicked, this, [this, field](bool on) {
            model_.updatePreferences([field, on](AppPreferences& p) { p.*field = on; });
        });
        alert.preview = new QToolButton;
        alert.preview->setObjectName(QStringLiteral("preview:") +
                                     QString::fromLatin1(toString(alert.event)));
        alert.preview->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        alert.preview->setAutoRaise(true);
        alert.preview->setFocusPolicy(Qt::StrongFocus);
        const SystemSoundEvent event = alert.event;
        connect(alert.preview, &QToolButton::clicked, this,
                [this, event] { model_.previewAlert(event); });
        alert.note = makeNote(nullptr, "");
        alert.note->setObjectName(QString::fromLatin1(alert.key) + QStringLiteral("Note"));
        auto* row = new SettingsRow(alert.toggle);
        row->addNote(alert.note);
        if (alert.event == SystemSoundEvent::batteryLow) {
            threshold_ = new QComboBox;
            threshold_->setObjectName(QStringLiteral("batteryThreshold"));
            for (const std::int64_t percent : thresholds) {
                threshold_->addItem(QString(), QVariant::fromValue<qlonglong>(percent));
            }
            connect(threshold_, &QComboBox::activated, this, [this](int index) {
                const auto percent = threshold_->itemData(index).toLongLong();
                model_.updatePreferences(
                    [percent](AppPreferences& p) { p.batteryThreshold = percent; });
            });
            row->addTrailing(threshold_);
        }
        if (alert.event == SystemSoundEvent::downloadDone) {
            downloadError_ = makeErrorNote(nullptr, "downloadError");
            row->addNote(downloadError_);
        }
        if (alert.event == SystemSoundEvent::screenshot) {
            auto* line = new QWidget;
            auto* lineLayout = new QHBoxLayout(line);
            lineLayout->setContentsMargins(0, 2, 0, 0);
            folder_ = new QLabel;
            folder_->setObjectName(QStringLiteral("screenshotFolder"));
            folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
            folder_->setMinimumWidth(80);
            chooseFolder_ = makeButton(nullptr, "chooseScreenshotFolder");
            connect(chooseFolder_, &QPushButton::clicked, this, &EventsPage::chooseFolder);
            lineLayout->addWidget(folder_, 1);
            lineLayout->addWidget(chooseFolder_);
            row->addBody(line);
            screenshotError_ = makeErrorNote(nullptr, "screenshotError");
            row->addNote(screenshotError_);
        }
        row->addTrailing(alert.preview);
        alerts->addRow(row);
    }

    SettingsGroup* output = addSection(outputCaption_, "outputCaption");
    speakers_ = makeSwitch(nullptr, "builtInSpeakers");
    connect(speakers_, &QCheckBox::clicked, this, [this](bool on) {
        model_.updatePreferences([on](AppPreferences& p) { p.builtInSpeakers = on; });
    });
    speakersNote_ = makeNote(nullptr, "builtInSpeakersNote");
    auto* speakersRow = new SettingsRow(speakers_);
    speakersRow->addNote(speakersNote_);
    output->addRow(speakersRow);

    SettingsGroup* muted = addSection(mutedCaption_, "mutedCaption");
    mutedNote_ = makeNote(nullptr, "mutedNote");
    mutedApps_ = new QListWidget;
    mutedApps_->setObjectName(QStringLiteral("mutedApps"));
    mutedApps_->setIconSize(QSize(20, 20));
    mutedApps_->setMinimumHeight(132);
    mutedApps_->setSelectionMode(QAbstractItemView::SingleSelection);
    addApps_ = makeButton(nullptr, "addMutedApps");
    removeApp_ = makeButton(nullptr, "removeMutedApp");
    connect(addApps_, &QPushButton::clicked, this, [this] { model_.chooseMutedApps(); });
    connect(removeApp_, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = mutedApps_->currentItem();
            item != nullptr && item->isSelected()) {
            model_.removeMutedApp(item->data(idRole).toString());
        }
    });
    connect(mutedApps_, &QListWidget::itemSelectionChanged, this,
            [this] { removeApp_->setEnabled(!mutedApps_->selectedItems().isEmpty()); });
    auto* buttons = new QWidget;
    auto* buttonsLayout = new QHBoxLayout(buttons);
    buttonsLayout->setContentsMargins(0, 0, 0, 0);
    buttonsLayout->addWidget(addApps_);
    buttonsLayout->addWidget(removeApp_);
    buttonsLayout->addStretch(1);
    auto* mutedRow = new SettingsRow(mutedNote_);
    mutedRow->addBody(mutedApps_);
    mutedRow->addBody(buttons);
    muted->addRow(mutedRow);
    finish();

    connect(&model_, &AppModel::preferencesChanged, this, &EventsPage::showValues);
    connect(&model_, &AppModel::soundChanged, this, &EventsPage::showValues);
    connect(&model_, &AppModel::downloadErrorChanged, this, &EventsPage::showValues);
    connect(&model_, &AppModel::screenshotChanged, this, &EventsPage::showFolder);
    connect(&model_, &AppModel::installedAppsChanged, this, &EventsPage::showMutedApps);
}

void EventsPage::retranslate() {
    title()->setText(model_.text("settings.page.events"));
    alertsCaption_->setText(model_.text("settings.events.alertsCaption"));
    const Localization& localization = model_.state().localization();
    for (Alert& alert : alerts_) {
        const std::string key = std::string("settings.events.") + alert.key;
        alert.toggle->setText(qstr(localization.text(key)));
        alert.note->setText(qstr(localization.text(key + "Note")));
        alert.preview->setToolTip(model_.text("settings.events.preview"));
        alert.preview->setAccessibleName(
            qstr(localization.format("settings.events.previewNamed", {localization.text(key)})));
    }
    for (int i = 0; i < threshold_->count(); ++i) {
        threshold_->setItemText(
            i, qstr(localization.format("settings.events.percent",
                                        {std::int64_t{threshold_->itemData(i).toLongLong()}})));
    }
    threshold_->setAccessibleName(model_.text("settings.events.batteryThreshold"));
    chooseFolder_->setText(model_.text("settings.events.chooseFolder"));
    chooseFolder_->setAccessibleName(chooseFolder_->text());
    outputCaption_->setText(model_.text("settings.events.outputCaption"));
    speakers_->setText(model_.text("settings.events.builtInSpeakers"));
    mutedCaption_->setText(model_.text("settings.events.mutedCaption"));
    mutedNote_->setText(model_.text("settings.events.mutedNote"));
    mutedApps_->setAccessibleName(mutedCaption_->text());
    addApps_->setText(model_.text("settings.events.addApps"));
    removeApp_->setText(model_.text("settings.events.removeApp"));
    addApps_->setAccessibleName(addApps_->text());
    removeApp_->setAccessibleName(removeApp_->text());
    showValues();
    showFolder();
    showMutedApps();
}

void EventsPage::showValues() {
    const StateView& state = model_.state();
    const AppPreferences& preferences = state.preferences();
    for (Alert& alert : alerts_) {
        alert.toggle->setChecked(preferences.*alert.preference);
    }
    {
        const QSignalBlocker quiet(threshold_);
        threshold_->setCurrentIndex(
            threshold_->findData(QVariant::fromValue<qlonglong>(preferences.batteryThreshold)));
    }
    threshold_->setEnabled(preferences.batteryLow);
    showNote(downloadError_, state.downloadError() ? qstr(*state.downloadError()) : QString());

    // Without built-in speakers the switch can only be turned off.
    const bool available = state.builtInSpeakersAvailable();
    speakers_->setChecked(preferences.builtInSpeakers);
    speakers_->setEnabled(available || preferences.builtInSpeakers);
    speakersNote_->setText(model_.text(available ? "settings.events.builtInSpeakersNote"
                                                 : "settings.events.noBuiltInSpeakers"));
    showMutedApps();
}

void EventsPage::showFolder() {
    const StateView& state = model_.state();
    if (state.screenshotFolder()) {
        folder_->setText(qstr(state.screenshotFolder()->string()));
        folder_->setForegroundRole(QPalette::WindowText);
    } else {
        folder_->setText(model_.text("settings.events.noFolder"));
        folder_->setForegroundRole(QPalette::PlaceholderText);
    }
    folder_->setAccessibleName(model_.text("settings.events.folder") + QStringLiteral(": ") +
                               folder_->text());
    showNote(screenshotError_,
             state.screenshotError() ? qstr(*state.screenshotError()) : QString());
}

void EventsPage::chooseFolder() {
    const auto& current = model_.state().screenshotFolder();
    const QString folder =
        QFileDialog::getExistingDirectory(window(), model_.text("events.screenshot.subtitle"),
                                          current ? qstr(current->string()) : QString());
    if (!folder.isEmpty()) {
        model_.setScreenshotFolder(folder);
    }
}

void EventsPage::showMutedApps() {
    const StateView& state = model_.state();
    // Each id once, by display name in the language's order, so a long list is easy to scan.
    struct Entry {
        QString id;
        QString name;
        QIcon icon;
    };
    std::vector<Entry> entries;
    std::set<std::string> seen;
    for (const std::string& id : state.preferences().mutedApps) {
        if (!seen.insert(id).second) {
            continue;
        }
        std::string iconName;
        for (const InstalledApp& app : state.installedApps()) {
            if (app.id == id) {
                iconName = app.icon;
                break;
            }
        }
        entries.push_back({qstr(id), qstr(state.appName(id)), applicationIcon(iconName)});
    }
    QCollator collator{QLocale(qstr(state.localization().localeIdentifier()))};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(), [&collator](const Entry& a, const Entry& b) {
        const int order = collator.compare(a.name, b.name);
        return order != 0 ? order < 0 : a.id < b.id;
    });

    const QString selected =
        mutedApps_->currentItem() != nullptr && mutedApps_->currentItem()->isSelected()
            ? mutedApps_->currentItem()->data(idRole).toString()
            : QString();
    const QSignalBlocker quiet(mutedApps_);
    mutedApps_->clear();
    for (const Entry& entry : entries) {
        auto* item = new QListWidgetItem(entry.icon, entry.name, mutedApps_);
        item->setData(idRole, entry.id);
        if (entry.name != entry.id) {
            item->setToolTip(entry.id);
        }
        if (entry.id == selected) {
            mutedApps_->setCurrentItem(item);
        }
    }
    removeApp_->setEnabled(!mutedApps_->selectedItems().isEmpty());
}

QStringList EventsPage::shownMutedApps() const {
    QStringList ids;
    for (int i = 0; i < mutedApps_->count(); ++i) {
        ids << mutedApps_->item(i)->data(idRole).toString();
    }
    return ids;
}

}  // namespace tapwell::ui

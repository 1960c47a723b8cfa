#include "ui/settings/PrivacyPage.h"

#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

QLabel* makeBold(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

// Lines of a table entry ("a|b|c") as a bulleted list.
QString bullets(const QString& lines) {
    QStringList items = lines.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (QString& item : items) {
        item = QStringLiteral("•  ") + item.trimmed();
    }
    return items.join(QLatin1Char('\n'));
}

}  // namespace

PrivacyPage::PrivacyPage(AppModel& model, QWidget* parent)
    : SettingsPageView(parent), model_(model) {
    SettingsGroup* kept = addSection(keptCaption_, "keptCaption");
    recordedLabel_ = makeBold("recordedLabel");
    recorded_ = makeNote(nullptr, "recorded");
    auto* recordedRow = new SettingsRow(recordedLabel_);
    recordedRow->addNote(recorded_);
    kept->addRow(recordedRow);
    neverLabel_ = makeBold("neverLabel");
    never_ = makeNote(nullptr, "never");
    auto* neverRow = new SettingsRow(neverLabel_);
    neverRow->addNote(never_);
    kept->addRow(neverRow);
    sampleLabel_ = makeBold("sampleLabel");
    sample_ = new QLabel;
    sample_->setObjectName(QStringLiteral("sample"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(sample_->font().pointSizeF() * 0.88);
    sample_->setFont(mono);
    sample_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    sample_->setWordWrap(true);
    auto* sampleRow = new SettingsRow(sampleLabel_);
    sampleRow->addBody(sample_);
    kept->addRow(sampleRow);

    SettingsGroup* dataGroup = addSection(dataCaption_, "dataCaption");
    const auto commandRow = [dataGroup](QLabel*& label, QLabel*& note, QPushButton*& button,
                                        const char* name) {
        label = new QLabel;
        note = makeNote(nullptr, "");
        button = makeButton(nullptr, name);
        auto* row = new SettingsRow(label);
        row->addTrailing(button);
        row->addNote(note);
        dataGroup->addRow(row);
    };
    commandRow(showLabel_, showNote_, show_, "showStoredData");
    commandRow(exportLabel_, exportNote_, export_, "exportStats");
    commandRow(deleteLabel_, deleteNote_, delete_, "deleteAllStats");
    connect(show_, &QPushButton::clicked, this, [this] { model_.showStoredData(); });
    connect(export_, &QPushButton::clicked, this, [this] { model_.exportStats(); });
    connect(delete_, &QPushButton::clicked, this, &PrivacyPage::askToDelete);
    finish();

    connect(&model_, &AppModel::snapshotChanged, this, &PrivacyPage::showSample);
}

void PrivacyPage::retranslate() {
    title()->setText(model_.text("settings.page.privacy"));
    keptCaption_->setText(model_.text("settings.privacy.keptCaption"));
    recordedLabel_->setText(model_.text("settings.privacy.recordedLabel"));
    recorded_->setText(bullets(model_.text("settings.privacy.recorded")));
    neverLabel_->setText(model_.text("settings.privacy.neverLabel"));
    never_->setText(bullets(model_.text("settings.privacy.never")));
    sampleLabel_->setText(model_.text("settings.privacy.sampleLabel"));
    dataCaption_->setText(model_.text("settings.privacy.dataCaption"));
    showLabel_->setText(model_.text("settings.privacy.showLabel"));
    showNote_->setText(model_.text("settings.privacy.showNote"));
    show_->setText(model_.text("settings.privacy.show"));
    exportLabel_->setText(model_.text("settings.privacy.exportLabel"));
    exportNote_->setText(model_.text("settings.privacy.exportNote"));
    export_->setText(model_.text("settings.privacy.export"));
    deleteLabel_->setText(model_.text("settings.privacy.deleteLabel"));
    deleteNote_->setText(model_.text("settings.privacy.deleteNote"));
    delete_->setText(model_.text("settings.privacy.delete"));
    for (QPushButton* button : {show_, export_, delete_}) {
        button->setAccessibleName(button->text());
    }
    showSample();
}

void PrivacyPage::showSample() {
    sample_->setText(qstr(model_.state().onboardingSample()));
    sample_->setAccessibleName(sampleLabel_->text());
}

void PrivacyPage::askToDelete() {
    if (confirmation_) {
        confirmation_->raise();
        return;
    }
    const Localization& localization = model_.state().localization();
    auto* box = new QMessageBox(QMessageBox::Warning, model_.text("settings.privacy.confirmTitle"),
                                model_.text("settings.privacy.confirmTitle"), QMessageBox::NoButton,
                                window());
    box->setObjectName(QStringLiteral("deleteConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(qstr(localization.format(
        "settings.privacy.confirmBody",
        {localization.groupedInteger(model_.state().snapshot().today.keystrokes)})));
    QPushButton* remove =
        box->addButton(model_.text("settings.privacy.confirmDelete"), QMessageBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("confirmDelete"));
    QPushButton* cancel = box->addButton(model_.text("settings.cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelDelete"));
    // Keeping the data is what Return and Escape do.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, remove](QAbstractButton* clicked) {
        if (clicked == remove) {
            model_.deleteAllStats();
        }
    });
    confirmation_ = box;
    box->open();
}

}  // namespace tapwell::ui

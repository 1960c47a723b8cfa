#include "ui/settings/AppChooser.h"

#include <QCollator>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr int idRole = Qt::UserRole + 1;

}  // namespace

QIcon applicationIcon(const std::string& icon) {
    const QString name = qstr(icon);
    QIcon result;
    if (QFileInfo(name).isAbsolute()) {
        result = QIcon(name);
    } else if (!name.isEmpty()) {
        result = QIcon::fromTheme(name);
    }
    if (result.isNull()) {
        result = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    }
    return result;
}

AppChooser::AppChooser(AppModel& model, QWidget* parent) : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("appChooser"));
    setWindowTitle(model_.text("settings.events.chooserTitle"));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(model_.text("settings.events.chooserSearch"));
    search_->setAccessibleName(search_->placeholderText());
    search_->setClearButtonEnabled(true);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("applications"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setIconSize(QSize(24, 24));
    list_->setAccessibleName(model_.text("settings.events.chooserTitle"));
    empty_ = new QLabel(this);
    empty_->setObjectName(QStringLiteral("empty"));
    empty_->setWordWrap(true);
    empty_->setForegroundRole(QPalette::PlaceholderText);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(model_.text("settings.events.chooserAdd"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(model_.text("settings.cancel"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(list_, 1);
    layout->addWidget(empty_);
    layout->addWidget(buttons_);
    resize(420, 480);

    // Installed applications by name in the language's order, without those already muted.
    const StateView& state = model_.state();
    std::vector<InstalledApp> apps;
    const auto& muted = state.preferences().mutedApps;
    for (const InstalledApp& app : state.installedApps()) {
        if (std::find(muted.begin(), muted.end(), app.id) == muted.end()) {
            apps.push_back(app);
        }
    }
    QCollator collator{QLocale(qstr(state.localization().localeIdentifier()))};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(qstr(a.name), qstr(b.name)) < 0;
    });
    for (const InstalledApp& app : apps) {
        auto* item = new QListWidgetItem(applicationIcon(app.icon),
                                         qstr(app.name.empty() ? app.id : app.name), list_);
        item->setData(idRole, qstr(app.id));
        item->setToolTip(qstr(app.id));
    }
    connect(search_, &QLineEdit::textChanged, this, &AppChooser::filter);
    connect(list_, &QListWidget::itemSelectionChanged, this, &AppChooser::updateButtons);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    filter(QString());
    search_->setFocus();
}

void AppChooser::filter(const QString& text) {
    const QString wanted = text.trimmed();
    int shown = 0;
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const bool match = wanted.isEmpty() || item->text().contains(wanted, Qt::CaseInsensitive) ||
                           item->data(idRole).toString().contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (!match) {
            item->setSelected(false);
        }
        shown += match ? 1 : 0;
    }
    empty_->setText(model_.text(list_->count() == 0 ? "settings.events.chooserNone"
                                                    : "settings.events.chooserNoMatch"));
    empty_->setVisible(shown == 0);
    updateButtons();
}

void AppChooser::updateButtons() {
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!list_->selectedItems().isEmpty());
}

std::vector<std::string> AppChooser::chosen() const {
    std::vector<std::string> ids;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->isSelected()) {
            ids.push_back(list_->item(i)->data(idRole).toString().toStdString());
        }
    }
    return ids;
}

std::vector<std::string> AppChooser::ask(AppModel& model, QWidget* parent) {
    AppChooser chooser(model, parent);
    if (chooser.exec() != QDialog::Accepted) {
        return {};
    }
    return chooser.chosen();
}

}  // namespace tapwell::ui

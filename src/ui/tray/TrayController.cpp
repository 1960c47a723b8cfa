#include "ui/tray/TrayController.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QSystemTrayIcon>

#include <iostream>

#include "core/Log.h"
#include "platform/linux/desktop/StatusNotifierItem.h"
#include "ui/common/Look.h"

namespace tapwell::ui {

TrayController::TrayController(AppModel& model, QDBusConnection bus, QObject* parent)
    : QObject(parent),
      model_(model),
      menu_(model),
      item_(std::make_unique<StatusNotifierItem>(QString::fromLatin1(itemId), std::move(bus))) {
    item_->onActivate = [this](std::optional<QPoint> at) { activate(at); };
    item_->onSecondaryActivate = [this](std::optional<QPoint>) { model_.toggleMute(); };
    item_->onContextMenu = [this](std::optional<QPoint> at) { showMenu(at); };
    item_->onStateChanged = [this] { chooseHost(); };

    connect(&model_, &AppModel::menuBarChanged, this, &TrayController::refreshLabel);
    connect(&model_, &AppModel::localizationChanged, this, [this] {
        refreshLabel();
        refreshToolTip();
    });
    for (auto signal : {&AppModel::soundChanged, &AppModel::nowChanged}) {
        connect(&model_, signal, this, [this] {
            refreshIcon();
            refreshToolTip();
        });
    }
    connect(&model_, &AppModel::snapshotChanged, this, &TrayController::refreshToolTip);
    // Widgets hear of a new desktop palette; the menu stands in for the icon.
    menu_.installEventFilter(this);
}

TrayController::~TrayController() = default;

void TrayController::start() {
    if (started_) {
        return;
    }
    started_ = true;
    refreshLabel();
    refreshIcon();
    refreshToolTip();
    item_->start();
    chooseHost();
}

bool TrayController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &menu_ && (event->type() == QEvent::ApplicationPaletteChange ||
                              event->type() == QEvent::PaletteChange)) {
        refreshIcon();
    }
    return QObject::eventFilter(watched, event);
}

void TrayController::chooseHost() {
    if (!started_) {
        return;
    }
    Host next = Host::none;
    if (item_->isShown()) {
        next = Host::statusNotifier;
    } else if (item_->isRegistering()) {
        return;  // decided when the watcher answers
    } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
        next = Host::systemTray;
    }
    if (next == host_) {
        return;
    }
    host_ = next;
    if (host_ == Host::systemTray) {
        if (!trayIcon_) {
            trayIcon_ = std::make_unique<QSystemTrayIcon>();
            trayIcon_->setContextMenu(&menu_);
            connect(
                trayIcon_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) {
                        const QRect where = trayIcon_->geometry();
                        activate(where.isValid() ? std::optional(where.center()) : std::nullopt);
                    } else if (reason == QSystemTrayIcon::MiddleClick) {
                        model_.toggleMute();
                    }
                });
            refreshIcon();
            refreshToolTip();
        }
        trayIcon_->show();
    } else if (trayIcon_) {
        trayIcon_->hide();
    }
    if (host_ == Host::none && !saidNoTray_) {
        saidNoTray_ = true;
        std::cerr << "Tapwell: "
                  << model_.state().localization().format("terminal.tray.none",
                                                          {"tapwell --settings"})
                  << '\n';
        logger(LogCategory::startup).warn("No system tray: running without a tray icon");
    }
}

MenuBarIcon::Look TrayController::look() const {
    const StateView& state = model_.state();
    MenuBarIcon::Look look;
    look.tone = MenuBarIcon::toneFor(menu_.palette(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    look.muted = !state.soundSettings().soundsEnabled || state.isMuted();
    return look;
}

void TrayController::refreshLabel() {
    if (!started_) {
        return;
    }
    if (!label_.update(model_.state().menuBar(), model_.state().localization())) {
        return;
    }
    item_->setTitle(label_.name());
    item_->setLabel(label_.text(), label_.guide());
    refreshIcon();  // the X11 tray's icon carries the count
}

void TrayController::refreshIcon() {
    if (!started_) {
        return;
    }
    const MenuBarIcon::Look current = look();
    if (itemLook_ != current) {
        itemLook_ = current;
        std::vector<QImage> images;
        for (int size : MenuBarIcon::offeredSizes()) {
            images.push_back(MenuBarIcon::image(size, 1.0, current));
        }
        item_->setIcon(images);
    }
    if (!trayIcon_) {
        return;
    }
    auto key = std::make_pair(current, label_.compactText());
    if (trayIconLook_ == key) {
        return;
    }
    trayIconLook_ = key;
    QIcon icon;
    for (int size : MenuBarIcon::offeredSizes()) {
        icon.addPixmap(QPixmap::fromImage(
            key.second.isEmpty() ? MenuBarIcon::image(size, 1.0, current)
                                 : MenuBarIcon::imageWithCount(size, 1.0, current, key.second)));
    }
    trayIcon_->setIcon(icon);
}

void TrayController::refreshToolTip() {
    if (!started_) {
        return;
    }
    const StateView& state = model_.state();
    const Localization& localization = label_.localization();
    QStringList lines;
    lines << qstr(localization.format(
        "tray.toolTip.count", {localization.groupedInteger(state.snapshot().today.keystrokes)}));
    if (!state.soundSettings().soundsEnabled) {
        lines << qstr(localization.text("tray.toolTip.soundsOff"));
    } else if (state.isMuted()) {
        lines << qstr(localization.format("tray.toolTip.muted", {muteMinutesLeft(state)}));
    }
    const QString text = lines.join(QLatin1Char('\n'));
    item_->setToolTip(label_.name(), text);
    if (trayIcon_) {
        trayIcon_->setToolTip(label_.name() + QLatin1Char('\n') + text);
    }
}

void TrayController::activate(std::optional<QPoint> at) {
    if (onActivate) {
        onActivate(at);
    } else {
        showMenu(at);
    }
}

void TrayController::showMenu(std::optional<QPoint> at) {
    // A second request while the menu is open closes it, as a second click on a menu would.
    if (menu_.isVisible()) {
        menu_.hide();
        return;
    }
    menu_.popup(at.value_or(QCursor::pos()));
}

}  // namespace tapwell::ui

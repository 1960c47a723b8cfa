#include "ui/overlays/QtOverlayPresenter.h"

#include <QGuiApplication>
#include <QPropertyAnimation>

#include <cmath>

#include "ui/overlays/CapsLockBadge.h"
#include "ui/overlays/EdgeShade.h"

namespace tapwell::ui {

namespace {

std::optional<OverlayFrame> frameOf(const QScreen* screen) {
    if (screen == nullptr || screen->geometry().isEmpty()) {
        return std::nullopt;
    }
    const QRect geometry = screen->geometry();
    return OverlayFrame{geometry.x(), geometry.y(), geometry.width(), geometry.height()};
}

QRect rectOf(const OverlayFrame& frame) {
    return {frame.x, frame.y, frame.width, frame.height};
}

const char* fadeName = "tapwell-fade";

}  // namespace

QtOverlayPresenter::QtOverlayPresenter(CompositingProbe compositing)
    : compositing_(std::move(compositing)) {
    if (qGuiApp != nullptr) {
        screenRemoved_ = QObject::connect(qGuiApp, &QGuiApplication::screenRemoved,
                                          [this](QScreen* screen) { screenRemoved(screen); });
    }
}

QtOverlayPresenter::~QtOverlayPresenter() {
    QObject::disconnect(screenRemoved_);
    for (auto& [id, window] : windows_) {
        delete window.data();
    }
}

std::optional<OverlayFrame> QtOverlayPresenter::mainScreen() const {
    return frameOf(QGuiApplication::primaryScreen());
}

std::vector<OverlayFrame> QtOverlayPresenter::screens() const {
    std::vector<OverlayFrame> frames;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (auto frame = frameOf(screen)) {
            frames.push_back(*frame);
        }
    }
    return frames;
}

bool QtOverlayPresenter::composited() const {
    return !compositing_ || compositing_();
}

OverlayPresenter::OverlayId QtOverlayPresenter::showBadge(const OverlayFrame& frame,
                                                          const std::string& text) {
    return show(new CapsLockBadge(QString::fromStdString(text), composited()), frame, 1.0);
}

OverlayPresenter::OverlayId QtOverlayPresenter::showEdges(const OverlayFrame& frame,
                                                          double opacity) {
    return show(new EdgeShade(composited()), frame, opacity);
}

OverlayPresenter::OverlayId QtOverlayPresenter::show(QWidget* window, const OverlayFrame& frame,
                                                     double opacity) {
    const QRect geometry = rectOf(frame);
    // The screen the frame belongs to, so that the window gets that screen's pixel ratio.
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry().contains(geometry.center())) {
            window->setScreen(screen);
            break;
        }
    }
    window->setGeometry(geometry);
    window->setWindowOpacity(opacity);
    window->show();
    window->raise();
    windows_[++last_] = window;
    return last_;
}

void QtOverlayPresenter::fade(OverlayId overlay, double opacity, double seconds) {
    QWidget* target = window(overlay);
    if (target == nullptr) {
        return;
    }
    if (auto* running = target->findChild<QPropertyAnimation*>(QLatin1String(fadeName))) {
        running->stop();
        delete running;
    }
    auto* animation = new QPropertyAnimation(target, "windowOpacity", target);
    animation->setObjectName(QLatin1String(fadeName));
    animation->setDuration(static_cast<int>(std::lround(seconds * 1000.0)));
    animation->setEndValue(opacity);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void QtOverlayPresenter::close(OverlayId overlay) {
    const auto it = windows_.find(overlay);
    if (it == windows_.end()) {
        return;
    }
    if (QWidget* target = it->second.data()) {
        target->hide();
        target->deleteLater();
    }
    windows_.erase(it);
}

QWidget* QtOverlayPresenter::window(OverlayId overlay) const {
    const auto it = windows_.find(overlay);
    return it == windows_.end() ? nullptr : it->second.data();
}

std::vector<OverlayPresenter::OverlayId> QtOverlayPresenter::shown() const {
    std::vector<OverlayId> ids;
    for (const auto& [id, window] : windows_) {
        if (const QWidget* target = window.data(); target != nullptr && target->isVisible()) {
            ids.push_back(id);
        }
    }
    return ids;
}

void QtOverlayPresenter::screenRemoved(QScreen* screen) {
    // Qt moves a window of a vanished screen to another one, where it would dim the wrong place.
    for (auto it = windows_.begin(); it != windows_.end();) {
        QWidget* target = it->second.data();
        if (target != nullptr && target->screen() == screen) {
            target->hide();
            target->deleteLater();
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace tapwell::ui

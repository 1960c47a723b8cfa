#include "ui/shell/QtShell.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImage>
#include <QMimeData>
#include <QUrl>

#include "core/Log.h"

namespace tapwell::ui {

QtShell::~QtShell() {
    for (auto& [kind, window] : windows_) {
        delete window.data();
    }
}

void QtShell::setWindowFactory(Window window, WindowFactory factory) {
    factories_[window] = std::move(factory);
}

QWidget* QtShell::window(Window window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.data();
}

void QtShell::showWindow(Window kind) {
    QWidget* window = this->window(kind);
    if (window == nullptr) {
        const auto factory = factories_.find(kind);
        if (model_ == nullptr || factory == factories_.end()) {
            logger(LogCategory::startup).warn("No window of this kind can be shown");
            return;
        }
        window = factory->second(*model_);
        windows_[kind] = window;
    }
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

QWidget* QtShell::dialogParent() const {
    QWidget* active = QApplication::activeWindow();
    for (const auto& [kind, window] : windows_) {
        if (window.data() == active) {
            return active;
        }
    }
    return nullptr;
}

std::optional<std::filesystem::path> QtShell::askSavePath(const SaveRequest& request) {
    const QString filter = QStringLiteral("%1 (*.%2)")
                               .arg(QString::fromStdString(request.filterName),
                                    QString::fromStdString(request.suffix));
    QString chosen = QFileDialog::getSaveFileName(
        dialogParent(), QString::fromStdString(request.title),
        QDir::home().filePath(QString::fromStdString(request.proposedName)), filter);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    const QString suffix = QStringLiteral(".") + QString::fromStdString(request.suffix);
    if (!chosen.endsWith(suffix, Qt::CaseInsensitive)) {
        chosen += suffix;
    }
    return std::filesystem::path(chosen.toStdString());
}

std::vector<std::string> QtShell::askApplications() {
    if (!appChooser_ || model_ == nullptr) {
        return {};
    }
    return appChooser_(*model_, dialogParent());
}

std::optional<std::string> QtShell::renderRecapPng(const RecapContent& content) {
    if (!recapRenderer_) {
        return std::nullopt;
    }
    return recapRenderer_(content);
}

bool QtShell::copyPng(const std::string& png) {
    const QByteArray bytes(png.data(), static_cast<qsizetype>(png.size()));
    QImage image;
    if (!image.loadFromData(bytes, "PNG")) {
        return false;
    }
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), bytes);
    // The image itself too, so that programs that paste other image types get one.
    data->setImageData(image);
    QApplication::clipboard()->setMimeData(data);
    const QMimeData* placed = QApplication::clipboard()->mimeData();
    return placed != nullptr && placed->hasFormat(QStringLiteral("image/png"));
}

void QtShell::openFolder(const std::filesystem::path& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void QtShell::quit() {
    QCoreApplication::quit();
}

}  // namespace tapwell::ui

#include "ui/recap/RecapRenderer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>

#include <memory>

#include "core/Log.h"
#include "ui/recap/RecapCard.h"

namespace tapwell::ui {

QImage RecapRenderer::render(const RecapContent& content) {
    QImage image(static_cast<int>(RecapCard::width * scale),
                 static_cast<int>(RecapCard::height * scale), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;
    }
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    RecapCard::paint(painter, content);
    painter.end();
    return image;
}

std::optional<std::string> RecapRenderer::renderPng(const RecapContent& content) {
    const QImage image = render(content);
    if (image.isNull()) {
        return std::nullopt;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // The card is opaque: an RGB image is a third smaller than one with an alpha channel.
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "PNG")) {
        return std::nullopt;
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<std::string> RecapRenderer::renderPngWithoutDisplay(const RecapContent& content) {
    std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        // Qt's remarks about the session (no runtime folder, and the like) are no concern of a
        // command that only draws; they go to the log instead of the terminal.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            logger(LogCategory::startup).debug("Qt: {}", message.toStdString());
        });
        static int argc = 3;
        static char name[] = "tapwell";
        static char option[] = "-platform";
        static char platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    return renderPng(content);
}

}  // namespace tapwell::ui

#pragma once
// The structures the tray item protocol sends: an icon pixmap (width, height and ARGB32 pixels,
// each in network byte order), a list of them (one per size), and the tool tip (icon name,
// pixmaps, title, text). Hosts pick the pixmap closest to the size they draw.

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

namespace tapwell {

struct SniPixmap {
    qint32 width = 0;
    qint32 height = 0;
    QByteArray argb;  // width * height pixels of 4 bytes: alpha, red, green, blue

    bool operator==(const SniPixmap&) const = default;
};
using SniPixmapList = QList<SniPixmap>;

struct SniToolTip {
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString text;

    bool operator==(const SniToolTip&) const = default;
};

// The image in the protocol's pixel layout (straight, not premultiplied, alpha).
SniPixmap toSniPixmap(const QImage& image);
// The image a host would draw; a null image when the bytes do not match the size.
QImage fromSniPixmap(const SniPixmap& pixmap);

// Makes the structures known to QtDBus; safe to call more than once.
void registerStatusNotifierTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);

}  // namespace tapwell

Q_DECLARE_METATYPE(tapwell::SniPixmap)
Q_DECLARE_METATYPE(tapwell::SniToolTip)

#pragma once
// The D-Bus face of a StatusNotifierItem: the org.kde.StatusNotifierItem interface with the
// Ayatana label extension. Properties read the item's current values; clicks go to the item's
// callbacks. Private to StatusNotifierItem.

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QString>

#include "platform/linux/desktop/StatusNotifierItemTypes.h"

namespace tapwell {

class StatusNotifierItem;

class StatusNotifierItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ emptyText)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ emptyText)
    Q_PROPERTY(QList<tapwell::SniPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyText)
    Q_PROPERTY(QList<tapwell::SniPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyText)
    Q_PROPERTY(QList<tapwell::SniPixmap> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyText)
    Q_PROPERTY(tapwell::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)

  public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem& item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString title() const;
    // The program never asks for attention; hosts hide "Passive" items.
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }
    bool itemIsMenu() const { return false; }
    QString emptyText() const { return {}; }
    QList<SniPixmap> iconPixmap() const;
    QList<SniPixmap> noPixmaps() const { return {}; }
    SniToolTip toolTip() const;
    QString label() const;
    QString labelGuide() const;

  public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    // Scrolling over the item does nothing in this program.
    void Scroll(int delta, const QString& orientation);

  Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

  private:
    StatusNotifierItem& item_;
};

}  // namespace tapwell

#include "platform/linux/desktop/StatusNotifierItemAdaptor.h"

#include "platform/linux/desktop/StatusNotifierItem.h"

namespace tapwell {

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem& item)
    : QDBusAbstractAdaptor(&item), item_(item) {}

QString StatusNotifierItemAdaptor::id() const {
    return item_.id();
}

QString StatusNotifierItemAdaptor::title() const {
    return item_.title();
}

QList<SniPixmap> StatusNotifierItemAdaptor::iconPixmap() const {
    return item_.iconPixmaps();
}

SniToolTip StatusNotifierItemAdaptor::toolTip() const {
    return item_.toolTip();
}

QString StatusNotifierItemAdaptor::label() const {
    return item_.label();
}

QString StatusNotifierItemAdaptor::labelGuide() const {
    return item_.labelGuide();
}

void StatusNotifierItemAdaptor::Activate(int x, int y) {
    item_.clicked(item_.onActivate, x, y);
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y) {
    item_.clicked(item_.onSecondaryActivate, x, y);
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y) {
    item_.clicked(item_.onContextMenu, x, y);
}

void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

}  // namespace tapwell

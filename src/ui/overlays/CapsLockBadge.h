#pragma once
// The caps lock badge: the caps lock symbol and a short text on a translucent rounded plate,
// 240 x 70, coloured after the desktop's palette.

#include <QString>

#include "ui/overlays/OverlayWindow.h"

class QPainter;

namespace tapwell::ui {

class CapsLockBadge final : public OverlayWindow {
    Q_OBJECT

  public:
    CapsLockBadge(const QString& text, bool composited);

    // Draws the badge into `rect` (its full size): the plate, the symbol and the text.
    static void paint(QPainter& painter, const QRectF& rect, const QString& text,
                      const QPalette& palette, bool translucent);

  protected:
    void paintEvent(class QPaintEvent* event) override;

  private:
    QString text_;
};

}  // namespace tapwell::ui

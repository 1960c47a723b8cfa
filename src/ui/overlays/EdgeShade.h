#pragma once
// The dimmed edges of one screen: four bands, each 12 % of the screen's width or height,
// darkest at the screen's edge and clear towards the centre; they overlap in the corners.

#include "ui/overlays/OverlayWindow.h"

class QPainter;

namespace tapwell::ui {

class EdgeShade final : public OverlayWindow {
    Q_OBJECT

  public:
    static constexpr double bandFraction = 0.12;
    static constexpr double sideOpacity = 0.25;  // left and right bands, at the edge
    static constexpr double endOpacity = 0.2;    // top and bottom bands, at the edge

    explicit EdgeShade(bool composited);

    // Draws the four bands over `rect`.
    static void paint(QPainter& painter, const QRectF& rect);

  protected:
    void paintEvent(class QPaintEvent* event) override;
    void resizeEvent(class QResizeEvent* event) override;
};

}  // namespace tapwell::ui

#pragma once
// Where the popover opens: next to the point where the tray item was clicked, on the side of it
// that faces the middle of the screen (below a top panel, above a bottom one), centred on it and
// pushed back inside the screen's free area; centred under the top of the screen when the desktop
// gives no point (Wayland hosts do not).

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace tapwell::ui {

// Space kept between the popover and the screen's edges, and between it and the point.
inline constexpr int popoverScreenMargin = 8;
inline constexpr int popoverAnchorGap = 6;

// The top-left corner for a popover of `size` in `available` (the screen's area without its
// panels, in the same coordinates as `anchor`). A popover larger than the area keeps its top-left
// corner inside it.
QPoint popoverPosition(std::optional<QPoint> anchor, QSize size, QRect available);

}  // namespace tapwell::ui

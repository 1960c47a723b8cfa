#include "ui/popover/PopoverPlacement.h"

#include <algorithm>

namespace tapwell::ui {

namespace {

// `start` moved so that [start, start + length) lies within [low, high) less the margins; the
// low edge wins when the range is too short.
int clampSpan(int start, int length, int low, int high) {
    const int first = low + popoverScreenMargin;
    const int last = high - popoverScreenMargin - length;
    return std::max(first, std::min(start, last));
}

}  // namespace

QPoint popoverPosition(std::optional<QPoint> anchor, QSize size, QRect available) {
    // QRect's right() and bottom() are one short of the edge.
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    if (!anchor) {
        const int x = available.x() + (available.width() - size.width()) / 2;
        return {clampSpan(x, size.width(), available.x(), right),
                available.y() + popoverScreenMargin};
    }
    const int x = anchor->x() - size.width() / 2;
    const bool inUpperHalf = anchor->y() < available.y() + available.height() / 2;
    const int y = inUpperHalf ? anchor->y() + popoverAnchorGap
                              : anchor->y() - popoverAnchorGap - size.height();
    return {clampSpan(x, size.width(), available.x(), right),
            clampSpan(y, size.height(), available.y(), bottom)};
}

}  // namespace tapwell::ui

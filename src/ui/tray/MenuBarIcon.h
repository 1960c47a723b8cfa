#pragma once
// The tray icon, drawn in code: a keycap (an outer key and the top of the key inside it) on an
// 18 x 18 grid, scaled to the size the host draws and its device pixel ratio. Panels do not tint
// pixmaps, so the icon is drawn in a light or dark ink to match the panel. While sounds are off or
// muted a slash crosses the dimmed keycap.

#include <QImage>
#include <QPalette>
#include <QString>

#include <vector>

namespace tapwell::ui {

class MenuBarIcon {
  public:
    // The ink: dark on a light panel, light on a dark one.
    enum class Tone { dark, light };

    struct Look {
        Tone tone = Tone::light;
        bool muted = false;  // sounds off or a timed mute running

        bool operator==(const Look&) const = default;
    };

    // The grid the keycap is laid out on, in points.
    static constexpr double canvas = 18.0;

    // The icon for a square of `size` points at `devicePixelRatio` (the image has
    // size * devicePixelRatio pixels and carries the ratio).
    static QImage image(int size, double devicePixelRatio, Look look);

    // The icon with `count` written on the key instead of its top, for trays that show no text
    // beside icons. `count` should be short (three or four characters).
    static QImage imageWithCount(int size, double devicePixelRatio, Look look,
                                 const QString& count);

    // The pixel sizes offered to hosts that pick one themselves: the common panel sizes at 1x and
    // at 2x.
    static const std::vector<int>& offeredSizes();

    // The ink that suits the panel: panels of GNOME Shell are dark whatever the theme; other
    // desktops' panels follow the desktop's palette. `desktop` is $XDG_CURRENT_DESKTOP.
    static Tone toneFor(const QPalette& palette, const QString& desktop);
};

}  // namespace tapwell::ui

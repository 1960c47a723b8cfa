// The keycap's geometry, pixel by pixel at 1x and 2x (the grid's origin is its bottom left
// corner), its ink for light and dark panels, and the muted variant.

#include <gtest/gtest.h>

#include <QColor>
#include <QPalette>

#include "ui/tray/MenuBarIcon.h"

namespace tapwell::ui {
namespace {

using Tone = MenuBarIcon::Tone;

int alphaAt(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

struct Probe {
    double ratio;
    int x;
    int y;
    bool inked;
    const char* what;
};

TEST(MenuBarIcon, DrawsBothOutlinesWhereTheGridPutsThem) {
    // Outer key: x 1, y 2, 16 x 14, line 1.3; key top: x 4, y 6, 10 x 7, line 0.9; y counted
    // from the bottom of the 18-point grid.
    const Probe probes[] = {
        {1, 0, 9, true, "outer key, left edge"},
        {1, 1, 9, true, "outer key, left edge"},
        {1, 2, 9, false, "between the outlines"},
        {1, 16, 9, true, "outer key, right edge"},
        {1, 9, 1, true, "outer key, top edge"},
        {1, 9, 16, true, "outer key, bottom edge"},
        {1, 9, 0, false, "above the key"},
        {1, 4, 8, true, "key top, left edge"},
        {1, 9, 4, true, "key top, upper edge (flipped grid)"},
        {1, 9, 12, true, "key top, lower edge"},
        {1, 9, 13, false, "below the key top (an unflipped grid would ink it)"},
        {1, 9, 8, false, "inside the key top"},
        {2, 1, 18, true, "outer key, left edge"},
        {2, 2, 18, true, "outer key, left edge"},
        {2, 5, 18, false, "between the outlines"},
        {2, 33, 18, true, "outer key, right edge"},
        {2, 18, 4, true, "outer key, top edge"},
        {2, 18, 31, true, "outer key, bottom edge"},
        {2, 18, 32, true, "outer key, bottom edge"},
        {2, 18, 1, false, "above the key"},
        {2, 18, 35, false, "below the key"},
        {2, 8, 18, true, "key top, left edge"},
        {2, 18, 10, true, "key top, upper edge (flipped grid)"},
        {2, 18, 24, true, "key top, lower edge"},
        {2, 18, 26, false, "below the key top (an unflipped grid would ink it)"},
        {2, 18, 18, false, "inside the key top"},
    };
    for (const Probe& probe : probes) {
        const QImage image = MenuBarIcon::image(18, probe.ratio, {Tone::dark, false});
        const int alpha = alphaAt(image, probe.x, probe.y);
        if (probe.inked) {
            EXPECT_GT(alpha, 90) << probe.what << " at " << probe.ratio << "x (" << probe.x << ", "
                                 << probe.y << ")";
        } else {
            EXPECT_LT(alpha, 16) << probe.what << " at " << probe.ratio << "x (" << probe.x << ", "
                                 << probe.y << ")";
        }
    }
}

TEST(MenuBarIcon, ScalesToTheHostsSizeAndPixelRatio) {
    for (const auto& [size, ratio, pixels] : {std::tuple{16, 1.0, 16}, std::tuple{22, 1.0, 22},
                                              std::tuple{22, 2.0, 44}, std::tuple{24, 1.5, 36}}) {
        const QImage image = MenuBarIcon::image(size, ratio, {});
        EXPECT_EQ(image.width(), pixels);
        EXPECT_EQ(image.height(), pixels);
        EXPECT_DOUBLE_EQ(image.devicePixelRatio(), ratio);
        // The outer key's left edge sits one grid point in, at every scale.
        const int edge = static_cast<int>(pixels / 18.0);
        EXPECT_GT(alphaAt(image, edge, pixels / 2), 90) << size << "@" << ratio;
    }
}

TEST(MenuBarIcon, InkSuitsThePanel) {
    const QImage onLight = MenuBarIcon::image(36, 1.0, {Tone::dark, false});
    const QImage onDark = MenuBarIcon::image(36, 1.0, {Tone::light, false});
    EXPECT_LT(QColor(onLight.pixel(2, 18)).lightness(), 60);
    EXPECT_GT(QColor(onDark.pixel(2, 18)).lightness(), 200);

    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, Qt::white);
    EXPECT_EQ(MenuBarIcon::toneFor(light, QStringLiteral("KDE")), Tone::dark);
    EXPECT_EQ(MenuBarIcon::toneFor(dark, QStringLiteral("XFCE")), Tone::light);
    // GNOME Shell's top bar is dark whatever the application palette.
    EXPECT_EQ(MenuBarIcon::toneFor(light, QStringLiteral("ubuntu:GNOME")), Tone::light);
}

TEST(MenuBarIcon, MutedKeycapIsDimmedAndSlashed) {
    const QImage normal = MenuBarIcon::image(36, 1.0, {Tone::dark, false});
    const QImage muted = MenuBarIcon::image(36, 1.0, {Tone::dark, true});
    // The slash crosses the empty middle of the key top...
    EXPECT_LT(alphaAt(normal, 18, 18), 16);
    EXPECT_GT(alphaAt(muted, 18, 18), 200);
    // ...and the outline it does not cut is dimmed.
    EXPECT_GT(alphaAt(normal, 2, 24), 200);
    EXPECT_LT(alphaAt(muted, 2, 24), 160);
    EXPECT_GT(alphaAt(muted, 2, 24), 60);
}

TEST(MenuBarIcon, CountIsCutOutOfTheKey) {
    const MenuBarIcon::Look look{Tone::dark, false};
    const QImage solid = MenuBarIcon::imageWithCount(22, 2.0, look, QString());
    const QImage counted = MenuBarIcon::imageWithCount(22, 2.0, look, QStringLiteral("12K"));
    EXPECT_GT(alphaAt(solid, 22, 22), 240);  // the key is filled
    int cutInside = 0;
    int changedOutside = 0;
    for (int y = 0; y < counted.height(); ++y) {
        for (int x = 0; x < counted.width(); ++x) {
            // Inside the outer key's line on the 44-pixel grid: x 3.6...40.4, y 6.5...37.5.
            const bool inside = x > 4 && x < 40 && y > 7 && y < 37;
            if (inside) {
                cutInside += alphaAt(counted, x, y) < alphaAt(solid, x, y) - 128 ? 1 : 0;
            } else {
                changedOutside += alphaAt(counted, x, y) != alphaAt(solid, x, y) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(cutInside, 80);
    EXPECT_EQ(changedOutside, 0);
}

}  // namespace
}  // namespace tapwell::ui

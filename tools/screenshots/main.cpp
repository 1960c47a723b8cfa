// tapwell-screenshots: renders every view with fixed sample values to
// DIR/<view>-<language>-<light|dark>.png, without a desktop (the offscreen platform), so that
// anyone can look at every screen in every language and colour scheme.

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "Screens.h"
#include "app/AppModel.h"
#include "presentation/Localization.h"
#include "support/RecordingState.h"

namespace tapwell::screenshots {

QImage grabWindow(QWidget& window) {
    if (!window.testAttribute(Qt::WA_Resized)) {
        window.resize(window.sizeHint());
    }
    window.show();
    QApplication::processEvents();
    return window.grab().toImage();
}

namespace {

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x24, 0x24, 0x27);
    const QColor base(0x1c, 0x1c, 0x1f);
    const QColor text(0xee, 0xee, 0xf0);
    const QColor disabled(0x80, 0x80, 0x86);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x30));
    p.setColor(QPalette::ToolTipBase, QColor(0x34, 0x34, 0x38));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x34, 0x34, 0x38));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x44, 0x44, 0x48));
    p.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::Mid, QColor(0x2e, 0x2e, 0x32));
    p.setColor(QPalette::Dark, QColor(0x16, 0x16, 0x18));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

// The sample day every screen shows.
void fillSample(test::RecordingState& state) {
    state.loadThemes("thock");
    state.nowValue = Date{786'000'000.0};  // a Tuesday afternoon in November 2025
    state.snapshotValue.today.date = "2025-11-25";
    state.snapshotValue.today.keystrokes = 12'345;
    state.snapshotValue.today.topKpm = 312;
    state.snapshotValue.today.focusSeconds = 2.75 * 3600;
    state.snapshotValue.today.breaks = 3;
    const std::int64_t hours[24] = {0,    0,    0,    0,   0,   0,   0,    40,
                                    620,  1480, 1730, 990, 310, 880, 1650, 2010,
                                    1400, 1190, 640,  280, 120, 5,   0,    0};
    state.snapshotValue.today.hourly.assign(std::begin(hours), std::end(hours));
    state.snapshotValue.kpm = 184;
    state.wellbeingValue.elapsedMinutes = 38;
    state.wellbeingValue.nextMinutes = 22;
    state.menuBarValue.count = 12'345;
}

std::vector<Screen> allScreens() {
    std::vector<Screen> screens;
    // One line per view.
    const auto views = {
        &popoverScreens,
        &trayScreens,
        &recapScreens,
        &overlayScreens,
        &onboardingScreens,
        &settingsScreens,
    };
    for (auto* view : views) {
        std::ranges::move(view(), std::back_inserter(screens));
    }
    return screens;
}

}  // namespace

}  // namespace tapwell::screenshots

int main(int argc, char** argv) {
    using namespace tapwell;
    using namespace tapwell::screenshots;
    QString out;
    QString only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--only" && i + 1 < argc) {
            only = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::cerr << "usage: tapwell-screenshots --out DIR [--only NAME-PREFIX]\n";
            return 2;
        }
    }
    if (out.isEmpty()) {
        std::cerr << "usage: tapwell-screenshots --out DIR [--only NAME-PREFIX]\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark = darkPalette();
    if (!QDir().mkpath(out)) {
        std::cerr << "tapwell-screenshots: cannot create " << out.toStdString() << '\n';
        return 1;
    }

    int written = 0;
    for (std::string_view language : Localization::supported) {
        for (const auto& [scheme, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
            QApplication::setPalette(palette);
            test::RecordingState state(TAPWELL_RESOURCE_DIR);
            state.useLanguage(std::string(language));
            fillSample(state);
            AppModel model(state);
            for (const Screen& screen : allScreens()) {
                const QString name = QString::fromStdString(screen.name);
                if (!only.isEmpty() && !name.startsWith(only)) {
                    continue;
                }
                const QImage image = screen.render(model, state);
                const QString file = QDir(out).filePath(
                    QStringLiteral("%1-%2-%3.png")
                        .arg(name, QString::fromUtf8(language.data(), language.size()),
                             QString::fromLatin1(scheme)));
                if (image.isNull() || !image.save(file)) {
                    std::cerr << "tapwell-screenshots: could not write " << file.toStdString()
                              << '\n';
                    return 1;
                }
                ++written;
            }
        }
    }
    std::printf("%d screenshots in %s\n", written, out.toLocal8Bit().constData());
    return 0;
}

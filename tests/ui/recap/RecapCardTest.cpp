#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include "ui/common/Look.h"
#include "ui/recap/RecapCard.h"
#include "ui/recap/RecapRenderer.h"

namespace tapwell::ui {
namespace {

void ensureApplication() {
    static int argc = 3;
    static char name[] = "recap_card_tests";
    static char option[] = "-platform";
    static char platform[] = "offscreen";  // no display needed
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

// Colours no antialiased edge produces by chance, and no accent text outside the quip unless a
// case adds it.
RecapContent sample() {
    RecapContent content;
    content.date = "Tue, Nov 25, 2025";
    content.count = "12,345";
    content.countLabel = "keystrokes today";
    content.quip = {"Steady, round, unhurried."};
    content.stats = {{"Top speed", "312 keys/min"},
                     {"Words", "2,469"},
                     {"Key travel", "49.4 m"},
                     {"Breaks", "3"}};
    content.brand = "Made with Tapwell";
    content.privacy = "Only counts are kept.";
    content.background = "#F4EDE1";
    content.text = "#1B2A3C";
    content.secondary = "#5A6B7D";
    content.accent = "#C8321E";
    return content;
}

QImage png(const RecapContent& content) {
    const auto bytes = RecapRenderer::renderPng(content);
    EXPECT_TRUE(bytes.has_value());
    QImage image;
    if (bytes) {
        EXPECT_TRUE(image.loadFromData(
            QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size())), "PNG"));
    }
    return image;
}

// The rows holding pixels of exactly `color`.
std::vector<int> rowsOf(const QImage& image, const std::string& color) {
    const QRgb wanted = themeColor(color).rgb();
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xffffff) == (wanted & 0xffffff)) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

class RecapCardTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApplication(); }
};

TEST_F(RecapCardTest, ExportIsTheCardAtThreeTimesItsSizeOnItsBackground) {
    const QImage image = png(sample()).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(1080, 1440));
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(1079, 0), QPoint(0, 1439), QPoint(1079, 1439)}) {
        EXPECT_EQ(image.pixel(corner), qRgb(0xF4, 0xED, 0xE1));
    }

    // An unreadable colour text is black.
    RecapContent unreadable = sample();
    unreadable.background = "#GG0000";
    EXPECT_EQ(png(unreadable).convertToFormat(QImage::Format_RGB32).pixel(0, 0), qRgb(0, 0, 0));
}

TEST_F(RecapCardTest, RankLineIsDrawnInTheAccentColour) {
    RecapContent withRank = sample();
    withRank.rank = "Fresh Switch";
    const QImage plain = png(sample()).convertToFormat(QImage::Format_RGB32);
    const QImage ranked = png(withRank).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(plain.size(), ranked.size());
    // Where the two differ is the rank line, and it is accent-coloured there.
    int changed = 0;
    int accent = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            if (plain.pixel(x, y) != ranked.pixel(x, y)) {
                ++changed;
                accent += ranked.pixel(x, y) == qRgb(0xC8, 0x32, 0x1E) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(changed, 1000);
    EXPECT_GT(accent, changed / 3);
}

TEST_F(RecapCardTest, OnlyTheLastOfSeveralQuipLinesIsInTheAccentColour) {
    const RecapContent oneLine = sample();
    EXPECT_TRUE(rowsOf(png(oneLine), oneLine.accent).empty());

    RecapContent threeLines = sample();
    threeLines.quip = {"Line one.", "Line two.", "Line three."};
    const QImage image = png(threeLines);
    const std::vector<int> accentRows = rowsOf(image, threeLines.accent);
    ASSERT_FALSE(accentRows.empty());
    // One line of 16-point text at scale 3 spans well under 72 pixel rows, and it is the lowest
    // quip line: below it, text-coloured rows come only from the stats.
    EXPECT_LT(accentRows.back() - accentRows.front(), 72);
    const std::vector<int> textRows = rowsOf(image, threeLines.text);
    const auto quipTextRows = std::count_if(textRows.begin(), textRows.end(), [&](int row) {
        return row > accentRows.front() - 150 && row < accentRows.front();
    });
    EXPECT_GT(quipTextRows, 40);  // the two lines above it are in the text colour
}

TEST_F(RecapCardTest, NumberFontFallsBackToMonospacedOnlyWhenANamedFontIsMissing) {
    RecapContent content = sample();
    content.numberFont = "DejaVu Sans Mono";
    EXPECT_EQ(RecapCard::numberFont(content).family(), "DejaVu Sans Mono");

    content.numberFont = "No Such Typeface 42";
    const QFont missing = RecapCard::numberFont(content);
    EXPECT_EQ(missing.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_EQ(missing.weight(), QFont::Bold);

    content.numberFont.reset();
    const QFont unnamed = RecapCard::numberFont(content);
    EXPECT_NE(unnamed.family(), missing.family());
    EXPECT_EQ(unnamed.weight(), QFont::Bold);
}

}  // namespace
}  // namespace tapwell::ui

#include "ui/recap/RecapCard.h"

#include <QFontDatabase>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

#include "ui/common/Look.h"

namespace tapwell::ui {

namespace {

constexpr double contentWidth = RecapCard::width - 2 * RecapCard::padding;
constexpr double boxRadius = 12.0;
constexpr double boxDecorationOpacity = 0.35;
constexpr double quipPadding = 18.0;
constexpr double quipExtraSpacing = 3.0;
constexpr int quipMaxLines = 4;
constexpr double statsPadding = 16.0;
constexpr double statsSpacing = 14.0;
constexpr double smallestValueScale = 0.7;

// A font whose size is `points` logical pixels on `device`, whatever the device's resolution, so
// the window and the exported image measure alike.
QFont sized(QFont font, double points, const QPaintDevice* device) {
    font.setPointSizeF(points * 72.0 / device->logicalDpiY());
    return font;
}

QFont systemFont(QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setWeight(weight);
    return font;
}

struct Palette {
    QColor background;
    QColor text;
    QColor secondary;
    QColor accent;
};

// One line of text at `baseline`, elided to `width`, aligned left or right within [left, left +
// width].
void drawLine(QPainter& painter, const QFont& font, const QColor& color, double left,
              double baseline, double width, const QString& text, bool alignRight = false) {
    const QFontMetricsF metrics(font, painter.device());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, width);
    const double x = alignRight ? left + width - metrics.horizontalAdvance(shown) : left;
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(x, baseline), shown);
}

// A shown line of the quip: which quip line it comes from and its text.
struct QuipLine {
    std::size_t source = 0;
    QString text;
};

// Each quip line starts a new line and wraps within `width`; at most `maxLines` lines are kept,
// the last of them elided when more would follow.
std::vector<QuipLine> layoutQuip(const std::vector<std::string>& quip, const QFont& font,
                                 const QPaintDevice* device, double width, int maxLines) {
    std::vector<QuipLine> lines;
    const QFontMetricsF metrics(font, device);
    for (std::size_t source = 0; source < quip.size(); ++source) {
        const QString text = qstr(quip[source]);
        QTextLayout layout(text, font, const_cast<QPaintDevice*>(device));
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (static_cast<int>(lines.size()) == maxLines) {
                // More follows: the last kept line ends in an ellipsis.
                QuipLine& last = lines.back();
                last.text =
                    metrics.elidedText(last.text + QStringLiteral("\u2026"), Qt::ElideRight, width);
                layout.endLayout();
                return lines;
            }
            lines.push_back({source, text.mid(line.textStart(), line.textLength()).trimmed()});
        }
        layout.endLayout();
    }
    return lines;
}

void drawBox(QPainter& painter, const QRectF& box, const QColor& secondary) {
    QColor edge = secondary;
    edge.setAlphaF(static_cast<float>(boxDecorationOpacity));
    QColor fill = secondary;
    fill.setAlphaF(static_cast<float>(boxDecorationOpacity / 4.0));
    QPainterPath path;
    path.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), boxRadius, boxRadius);
    painter.fillPath(path, fill);
    painter.setPen(QPen(edge, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

}  // namespace

RecapCard::RecapCard(QWidget* parent) : QWidget(parent) {
    setFixedSize(width, height);
}

void RecapCard::setContent(std::optional<RecapContent> content) {
    if (content == content_) {
        return;
    }
    content_ = std::move(content);
    update();
}

void RecapCard::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void RecapCard::paintEvent(QPaintEvent*) {
    if (!content_) {
        return;
    }
    QPainter painter(this);
    if (cornerRadius_ <= 0) {
        paint(painter, *content_);
        return;
    }
    // Clipping would leave jagged corners: the card is drawn apart and then cut by an antialiased
    // rounded mask, which also gives the drop shadow its rounded outline.
    const qreal ratio = devicePixelRatioF();
    QImage card(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    card.setDevicePixelRatio(ratio);
    card.fill(Qt::transparent);
    QPainter cardPainter(&card);
    paint(cardPainter, *content_);
    QImage mask(card.size(), QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(ratio);
    mask.fill(Qt::transparent);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
        maskPainter.fillPath(shape, Qt::black);
    }
    cardPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    cardPainter.drawImage(QPointF(0, 0), mask);
    cardPainter.end();
    painter.drawImage(QPointF(0, 0), card);
}

QFont RecapCard::numberFont(const RecapContent& content) {
    if (content.numberFont) {
        if (QFontDatabase::hasFamily(qstr(*content.numberFont))) {
            return QFont(qstr(*content.numberFont));
        }
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setWeight(QFont::Bold);
        return font;
    }
    if (QFontDatabase::hasFamily(QLatin1String(roundedFamily))) {
        QFont font{QString::fromLatin1(roundedFamily)};
        font.setWeight(QFont::Bold);
        return font;
    }
    return systemFont(QFont::Bold);
}

void RecapCard::paint(QPainter& painter, const RecapContent& content) {
    const QPaintDevice* device = painter.device();
    const Palette colors{themeColor(content.background), themeColor(content.text),
                         themeColor(content.secondary), themeColor(content.accent)};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, width, height), colors.background);

    const double left = padding;
    double y = padding;

    // The header: the date, and the theme's name at the right.
    const QFont dateFont = sized(systemFont(QFont::Medium), 11, device);
    const QFont themeFont = sized(systemFont(QFont::DemiBold), 11, device);
    const QFontMetricsF dateMetrics(dateFont, device);
    const QFontMetricsF themeMetrics(themeFont, device);
    const QString themeName = qstr(content.themeName);
    const double themeWidth =
        std::min(themeMetrics.horizontalAdvance(themeName), contentWidth * 0.45);
    const double headerBaseline = y + std::max(dateMetrics.ascent(), themeMetrics.ascent());
    drawLine(painter, dateFont, colors.secondary, left, headerBaseline,
             contentWidth - themeWidth - 12.0, qstr(content.date));
    drawLine(painter, themeFont, colors.accent, left + contentWidth - themeWidth, headerBaseline,
             themeWidth, themeName);
    y = headerBaseline + std::max(dateMetrics.descent(), themeMetrics.descent()) + 12.0;

    // The rank; its line stays even when the day has none, so every card has the same rhythm.
    const QFont rankFont = sized(systemFont(QFont::Bold), 19, device);
    const QFontMetricsF rankMetrics(rankFont, device);
    drawLine(painter, rankFont, colors.accent, left, y + rankMetrics.ascent(), contentWidth,
             qstr(content.rank));
    y += rankMetrics.height();

    // The count, shrunk to the card's width when it is very long, and its label.
    QFont countFont = sized(numberFont(content), 66, device);
    const QString count = qstr(content.count);
    {
        const double advance = QFontMetricsF(countFont, device).horizontalAdvance(count);
        if (advance > contentWidth) {
            countFont.setPointSizeF(countFont.pointSizeF() * contentWidth / advance);
        }
    }
    const QFontMetricsF countMetrics(countFont, device);
    const double countBaseline = y + 10.0 + countMetrics.capHeight();
    painter.setFont(countFont);
    painter.setPen(colors.text);
    painter.drawText(QPointF(left, countBaseline), count);
    const QFont labelFont = sized(systemFont(QFont::Medium), 12, device);
    const QFontMetricsF labelMetrics(labelFont, device);
    // Below the count's descent, so that a grouping comma never touches the label.
    const double labelBaseline =
        countBaseline + countMetrics.descent() + labelMetrics.ascent() * 0.8;
    drawLine(painter, labelFont, colors.secondary, left, labelBaseline, contentWidth,
             qstr(content.countLabel));
    y = labelBaseline + labelMetrics.descent() + 16.0;

    // The footer sits at the bottom: the brand over the privacy note (which may wrap once).
    const QFont brandFont = sized(systemFont(QFont::DemiBold), 11, device);
    const QFont privacyFont = sized(systemFont(QFont::Normal), 10, device);
    const QFontMetricsF brandMetrics(brandFont, device);
    const QFontMetricsF privacyMetrics(privacyFont, device);
    const QString privacy = qstr(content.privacy);
    const QRectF privacyBounds = privacyMetrics.boundingRect(
        QRectF(0, 0, contentWidth, 1000), Qt::TextWordWrap | Qt::AlignLeft, privacy);
    const double privacyHeight =
        std::min(privacyBounds.height(), 2.0 * privacyMetrics.lineSpacing());
    const double footerTop = height - padding - privacyHeight - 3.0 - brandMetrics.height();

    // The stats box's height is fixed; the quip gets the lines that fit above it.
    const QFont statLabelFont = sized(systemFont(QFont::Medium), 10.5, device);
    const QFont statValueFont = sized(systemFont(QFont::DemiBold), 19, device);
    const QFontMetricsF statLabelMetrics(statLabelFont, device);
    const QFontMetricsF statValueMetrics(statValueFont, device);
    const double cellHeight = statLabelMetrics.height() + 2.0 + statValueMetrics.height();
    const double statsHeight = 2 * statsPadding + 2 * cellHeight + statsSpacing;

    const QFont quipFont = sized(systemFont(QFont::DemiBold), 16, device);
    const QFontMetricsF quipMetrics(quipFont, device);
    const double quipLine = quipMetrics.height() + quipExtraSpacing;
    const double quipRoom = footerTop - 14.0 - statsHeight - 14.0 - y - 2 * quipPadding;
    const int fitting = static_cast<int>(std::floor((quipRoom + quipExtraSpacing) / quipLine));
    const std::vector<QuipLine> quip =
        layoutQuip(content.quip, quipFont, device, contentWidth - 2 * quipPadding,
                   std::clamp(fitting, 1, quipMaxLines));
    if (!quip.empty()) {
        const double boxHeight =
            2 * quipPadding + static_cast<double>(quip.size()) * quipLine - quipExtraSpacing;
        drawBox(painter, QRectF(left, y, contentWidth, boxHeight), colors.secondary);
        painter.setFont(quipFont);
        double baseline = y + quipPadding + quipMetrics.ascent();
        for (const QuipLine& line : quip) {
            // With two or more quip lines, the last one is the punchline.
            const bool punchline =
                content.quip.size() >= 2 && line.source == content.quip.size() - 1;
            painter.setPen(punchline ? colors.accent : colors.text);
            painter.drawText(QPointF(left + quipPadding, baseline), line.text);
            baseline += quipLine;
        }
        y += boxHeight + 14.0;
    }

    // The stats: two columns, two rows.
    drawBox(painter, QRectF(left, y, contentWidth, statsHeight), colors.secondary);
    const double columnWidth = (contentWidth - 2 * statsPadding - statsSpacing) / 2.0;
    for (std::size_t i = 0; i < content.stats.size() && i < 4; ++i) {
        const double cellLeft =
            left + statsPadding + static_cast<double>(i % 2) * (columnWidth + statsSpacing);
        const double cellTop =
            y + statsPadding + static_cast<double>(i / 2) * (cellHeight + statsSpacing);
        const double labelLine = cellTop + statLabelMetrics.ascent();
        drawLine(painter, statLabelFont, colors.secondary, cellLeft, labelLine, columnWidth,
                 qstr(content.stats[i].label));
        // A long value gets a smaller size before it would lose characters.
        const QString value = qstr(content.stats[i].value);
        QFont valueFont = statValueFont;
        const double advance = statValueMetrics.horizontalAdvance(value);
        if (advance > columnWidth) {
            valueFont.setPointSizeF(valueFont.pointSizeF() *
                                    std::max(columnWidth / advance, smallestValueScale));
        }
        drawLine(painter, valueFont, colors.text, cellLeft,
                 labelLine + statLabelMetrics.descent() + 2.0 + statValueMetrics.ascent(),
                 columnWidth, value);
    }

    drawLine(painter, brandFont, colors.text, left, footerTop + brandMetrics.ascent(), contentWidth,
             qstr(content.brand));
    painter.setFont(privacyFont);
    painter.setPen(colors.secondary);
    painter.drawText(
        QRectF(left, footerTop + brandMetrics.height() + 3.0, contentWidth, privacyHeight),
        Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, privacy);
    painter.restore();
}

}  // namespace tapwell::ui

#pragma once
// A small bar chart of counts: one bar per slot, an optional label under each, the highest count
// written above the bars, and one slot picked out (the current hour, today). Colours come from the
// palette and the given accent.

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace tapwell::ui {

class BarChart final : public QWidget {
    Q_OBJECT

  public:
    explicit BarChart(QWidget* parent = nullptr);

    struct Bar {
        std::int64_t value = 0;
        QString label;  // under the bar; empty for none
        bool operator==(const Bar&) const = default;
    };
    // `peakText` is the highest value as the user reads it ("2,010").
    void setBars(std::vector<Bar> bars, std::optional<std::size_t> picked, QString peakText);
    void setAccent(QColor accent);
    const std::vector<Bar>& bars() const { return bars_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<Bar> bars_;
    std::optional<std::size_t> picked_;
    QString peakText_;
    QColor accent_;
};

}  // namespace tapwell::ui

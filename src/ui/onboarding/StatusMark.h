#pragma once
// A small mark drawn in code, sharp at any pixel ratio: a filled circle with a tick (all is well)
// or an exclamation mark (something to do), or a bare tick or cross for lists of what is and is
// not kept. The circles use a green or amber that reads on light and dark windows; the bare marks
// use the window's text colour.

#include <QWidget>

namespace tapwell::ui {

class StatusMark final : public QWidget {
    Q_OBJECT

  public:
    enum class Kind { good, attention, tick, cross };

    explicit StatusMark(QWidget* parent = nullptr, Kind kind = Kind::attention, int size = 22);

    void setKind(Kind kind);
    Kind kind() const { return kind_; }
    void setGood(bool good) { setKind(good ? Kind::good : Kind::attention); }

    QSize sizeHint() const override { return {size_, size_}; }

    // The colours of the two states for a palette.
    static QColor goodColor(const QPalette& palette);
    static QColor attentionColor(const QPalette& palette);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Kind kind_;
    int size_;
};

}  // namespace tapwell::ui

#pragma once
// The recap card: a fixed 360 x 480 picture of one day, drawn from a `RecapContent` in the theme's
// own four colours and words. The same drawing serves the window and the exported image, so
// everything is measured in logical pixels whatever the device.

#include <QFont>
#include <QWidget>

#include "recap/RecapContent.h"

class QPainter;

namespace tapwell::ui {

class RecapCard final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int width = 360;
    static constexpr int height = 480;
    static constexpr double padding = 28.0;
    // The bold rounded face of the count when the theme names no font (Debian: fonts-quicksand);
    // without it, the desktop's font in bold.
    static constexpr const char* roundedFamily = "Quicksand";

    explicit RecapCard(QWidget* parent = nullptr);

    void setContent(std::optional<RecapContent> content);
    // Rounds the card's corners on screen (the exported image keeps square ones).
    void setCornerRadius(double radius);
    const std::optional<RecapContent>& content() const { return content_; }

    // Draws the card for `content` into the 360 x 480 rectangle at the painter's origin.
    static void paint(QPainter& painter, const RecapContent& content);

    // The face of the count: the theme's font when it is installed; a bold monospaced face when
    // the theme names one that is not; a bold rounded face when it names none. Without a size.
    static QFont numberFont(const RecapContent& content);

    QSize sizeHint() const override { return {width, height}; }

  protected:
    void paintEvent(class QPaintEvent* event) override;

  private:
    std::optional<RecapContent> content_;
    double cornerRadius_ = 0.0;
};

}  // namespace tapwell::ui

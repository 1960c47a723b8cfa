#pragma once
// The recap card as an image to share: rendered at three times its size (1080 x 1440 pixels) and
// encoded as PNG (the shell puts it on the clipboard). Needs a QGuiApplication for its fonts;
// main thread.

#include <QImage>

#include <optional>
#include <string>

#include "recap/RecapContent.h"

namespace tapwell::ui {

class RecapRenderer {
  public:
    static constexpr double scale = 3.0;

    // The card for `content`, 1080 x 1440 pixels with a device pixel ratio of 3.
    static QImage render(const RecapContent& content);
    // The card as PNG bytes; none when it could not be drawn or encoded.
    static std::optional<std::string> renderPng(const RecapContent& content);
    // Renders for a command-line tool: starts an application on the offscreen platform when the
    // process has none, so no display is needed.
    static std::optional<std::string> renderPngWithoutDisplay(const RecapContent& content);
};

}  // namespace tapwell::ui

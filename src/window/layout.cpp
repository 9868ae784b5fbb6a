#include "window/layout.h"

#include <algorithm>

namespace sorimba {
namespace {

// Measures in twips (left, top, width, height within the client area).
constexpr double kButtonTop = 120;
constexpr double kButtonWidth = 1275;
constexpr double kButtonHeight = 435;
constexpr double kTextLeft = 60;
constexpr double kTextTop = 660;
constexpr double kTextWidth = 6915;
constexpr double kTextHeight = 5055;
constexpr double kClientWidth = 7065;
constexpr double kClientHeight = 5820;
// The text area ends this far short of the client area's right and bottom.
constexpr double kRightMargin = 165;
constexpr double kBottomMargin = 765;
// A window this small or smaller leaves the text area's width (height) as
// it was: its size would be nothing or less.
constexpr double kSmallestFittedTwips = 1300;

}  // namespace

QRect buttonGeometry(const QWidget& window, double leftTwips) {
    return QRect(pixelsX(window, leftTwips), pixelsY(window, kButtonTop),
                 pixelsX(window, kButtonWidth), pixelsY(window, kButtonHeight));
}

QRect textAreaGeometry(const QWidget& window) {
    return QRect(pixelsX(window, kTextLeft), pixelsY(window, kTextTop), pixelsX(window, kTextWidth),
                 pixelsY(window, kTextHeight));
}

QSize firstClientSize(const QWidget& window) {
    return QSize(pixelsX(window, kClientWidth), pixelsY(window, kClientHeight));
}

QSize fittedTextArea(const QWidget& window, QSize textArea, QSize client, double outerWidth,
                     double outerHeight) {
    if (outerWidth > kSmallestFittedTwips)
        textArea.setWidth(
            std::max(0, pixelsX(window, twipsX(window, client.width()) - kRightMargin)));
    if (outerHeight > kSmallestFittedTwips)
        textArea.setHeight(
            std::max(0, pixelsY(window, twipsY(window, client.height()) - kBottomMargin)));
    return textArea;
}

}  // namespace sorimba

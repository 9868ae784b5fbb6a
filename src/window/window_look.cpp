#include "window/window_look.h"

#include <QAction>
#include <QMainWindow>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <utility>

#include "window/font_dialog.h"
#include "window/layout.h"
#include "window/on_top.h"
#include "window/shared_dialog.h"
#include "window/text_area.h"

namespace sorimba {
namespace {

// Outer sizes the window takes, in twips.
constexpr double kMinOuterTwips = 300;
constexpr double kMaxOuterTwips = 100000;

}  // namespace

double WindowLook::outerWidth() const {
    return twipsX(window_, window_.frameGeometry().width());
}

double WindowLook::outerHeight() const {
    return twipsY(window_, window_.frameGeometry().height());
}

bool WindowLook::setOuterWidth(double twips) {
    return setOuterSize(twips, std::nullopt);
}

bool WindowLook::setOuterHeight(double twips) {
    return setOuterSize(std::nullopt, twips);
}

bool WindowLook::setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips) {
    const auto acceptable = [](double twips) {
        return std::isfinite(twips) && twips >= kMinOuterTwips && twips <= kMaxOuterTwips;
    };
    if ((widthTwips && !acceptable(*widthTwips)) || (heightTwips && !acceptable(*heightTwips)))
        return false;

    // The frame (title bar, borders) is the window manager's; its size is
    // known only once the window is shown and framed.
    const QSize frame = window_.frameGeometry().size() - window_.size();
    QSize inner = window_.size();
    if (widthTwips) inner.setWidth(std::max(1, pixelsX(window_, *widthTwips) - frame.width()));
    if (heightTwips) inner.setHeight(std::max(1, pixelsY(window_, *heightTwips) - frame.height()));
    window_.resize(inner);
    if (!window_.isVisible()) {
        if (widthTwips) pendingOuterWidth_ = widthTwips;
        if (heightTwips) pendingOuterHeight_ = heightTwips;
    }
    return true;
}

void WindowLook::applyPendingOuterSize() {
    if (!pendingOuterWidth_ && !pendingOuterHeight_) return;
    if (!window_.isVisible() || window_.frameGeometry().size() == window_.size())
        return;  // not framed yet
    const std::optional<double> width = std::exchange(pendingOuterWidth_, std::nullopt);
    const std::optional<double> height = std::exchange(pendingOuterHeight_, std::nullopt);
    if (window_.isMaximized() || window_.isFullScreen() || window_.isMinimized()) return;
    setOuterSize(width, height);
}

QString WindowLook::fontName() const {
    return text_.font().family();
}

double WindowLook::fontSize() const {
    return text_.font().pointSizeF();
}

bool WindowLook::setFontName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > 255) return false;
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; }))
        return false;
    QFont font = text_.font();
    font.setFamily(name);
    text_.setFont(font);
    return true;
}

bool WindowLook::setFontSize(double points) {
    if (!std::isfinite(points) || points > FontDialog::kMaxSize) return false;
    // Sizes are kept to four decimals.
    const double kept = std::round(points * 10000) / 10000;
    if (kept <= 0) return false;
    QFont font = text_.font();
    font.setPointSizeF(kept);
    text_.setFont(font);
    return true;
}

bool WindowLook::setTextColour(std::int32_t colourCode) {
    const std::optional<QColor> colour = colourOfCode(colourCode);
    if (!colour) return false;
    QPalette palette = text_.palette();
    palette.setColor(QPalette::Active, QPalette::Text, *colour);
    palette.setColor(QPalette::Inactive, QPalette::Text, *colour);
    text_.setPalette(palette);
    textColour_ = colourCode;
    return true;
}

bool WindowLook::option(int index) const {
    if (index < 0 || index >= kOptionCount) return false;
    return items_[std::size_t(index)]->isChecked();
}

void WindowLook::setOption(int index, bool checked) {
    if (index < 0 || index >= kOptionCount) return;
    // Only the mark: the item's own action is the user's.
    const QSignalBlocker quiet(items_[std::size_t(index)]);
    items_[std::size_t(index)]->setChecked(checked);
}

void WindowLook::keepOnTop(bool onTop) {
    setOnTopMode(&window_, onTop ? 1 : 0);
}

}  // namespace sorimba

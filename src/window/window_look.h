#pragma once
// What the stored settings apply to in the window: its outer size, the text
// area's font and colour, the option marks and the on-top state.

#include <array>
#include <optional>

#include "port/window_settings.h"

class QAction;
class QMainWindow;

namespace sorimba {

class TextArea;

class WindowLook : public WindowSettings {
public:
    WindowLook(QMainWindow& window, TextArea& text, const std::array<QAction*, kOptionCount>& items)
        : window_(window), text_(text), items_(items) {}

    double outerWidth() const override;
    double outerHeight() const override;
    bool setOuterWidth(double twips) override;
    bool setOuterHeight(double twips) override;
    QString fontName() const override;
    double fontSize() const override;
    std::int32_t textColour() const override { return textColour_; }
    bool setFontName(const QString& name) override;
    bool setFontSize(double points) override;
    bool setTextColour(std::int32_t colourCode) override;
    bool option(int index) const override;
    void setOption(int index, bool checked) override;
    void keepOnTop(bool onTop) override;

    // An outer size asked for before the window manager framed the window,
    // applied again once the frame is known so the frame gets that size.
    void applyPendingOuterSize();

private:
    bool setOuterSize(std::optional<double> widthTwips, std::optional<double> heightTwips);

    QMainWindow& window_;
    TextArea& text_;
    const std::array<QAction*, kOptionCount>& items_;
    std::int32_t textColour_ = kWindowTextColour;
    std::optional<double> pendingOuterWidth_;
    std::optional<double> pendingOuterHeight_;
};

}  // namespace sorimba

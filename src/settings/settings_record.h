#pragma once
// The window's stored settings as plain values: what data.dat would apply
// to a window that takes every value. `sorimba-clip settings` reads a file
// into one; tests use it in place of the window.

#include <array>

#include "port/window_settings.h"
#include "settings/first_start.h"

namespace sorimba::settings {

class SettingsRecord : public WindowSettings {
public:
    // The values a first start has, before any data.dat.
    double width = kFirstWidth;
    double height = kFirstHeight;
    QString font = kFirstFont;
    double size = kFirstFontSize;
    std::int32_t colour = kWindowTextColour;
    std::array<bool, kOptionCount> options = kOptionDefaults;
    bool onTop = false;

    double outerWidth() const override { return width; }
    double outerHeight() const override { return height; }
    bool setOuterWidth(double twips) override {
        width = twips;
        return true;
    }
    bool setOuterHeight(double twips) override {
        height = twips;
        return true;
    }
    QString fontName() const override { return font; }
    double fontSize() const override { return size; }
    std::int32_t textColour() const override { return colour; }
    bool setFontName(const QString& name) override {
        font = name;
        return true;
    }
    bool setFontSize(double points) override {
        size = points;
        return true;
    }
    bool setTextColour(std::int32_t code) override {
        colour = code;
        return true;
    }
    bool option(int index) const override {
        return index >= 0 && index < kOptionCount && options[std::size_t(index)];
    }
    void setOption(int index, bool checked) override {
        if (index >= 0 && index < kOptionCount) options[std::size_t(index)] = checked;
    }
    void keepOnTop(bool on) override { onTop = on; }
};

}  // namespace sorimba::settings

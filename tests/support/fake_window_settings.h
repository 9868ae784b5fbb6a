#pragma once
// A window for the settings tests: takes every value within the limits of a
// real window (a size up to kMaxTwips, a font size up to 1638 points) and
// records each on-top call.

#include <vector>

#include "settings/settings.h"
#include "settings/settings_record.h"

namespace sorimba::testing {

class FakeWindowSettings : public settings::SettingsRecord {
public:
    static constexpr double kMaxTwips = 1e6;
    std::vector<bool> onTopCalls;
    // Where the window's settings files are, and the save path it closes
    // with: what the window itself keeps beside its settings.
    settings::SettingsFiles files;
    QString savePath;

    bool setOuterWidth(double twips) override {
        return twips >= 0 && twips <= kMaxTwips && SettingsRecord::setOuterWidth(twips);
    }
    bool setOuterHeight(double twips) override {
        return twips >= 0 && twips <= kMaxTwips && SettingsRecord::setOuterHeight(twips);
    }
    bool setFontSize(double points) override {
        return points > 0 && points <= 1638 && SettingsRecord::setFontSize(points);
    }
    void keepOnTop(bool on) override {
        onTopCalls.push_back(on);
        SettingsRecord::keepOnTop(on);
    }
};

}  // namespace sorimba::testing

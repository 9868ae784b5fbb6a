#pragma once
// Settings: data.dat (window size, font, colour, option marks) and data2.dat
// (the save path), read at start-up and written at shut-down. The byte
// layout of the files is in settings/dat_format.h.

#include <QString>

#include "port/window_settings.h"

namespace sorimba::settings {

// Where the two settings files are.
struct SettingsFiles {
    QString data;   // data.dat
    QString data2;  // data2.dat

    // The two files in a folder.
    static SettingsFiles in(const QString& folder);
};

// Start-up: applies data.dat to the window as far as it can be read, puts
// the window on top or not as the options say, and returns the save path
// kept in data2.dat (empty when there is none).
QString loadSettings(WindowSettings& window, const SettingsFiles& files);

// Shut-down: stores the window's settings, and the save path when there is
// one. Never throws and asks nothing: the window closes whatever happens.
void storeSettings(const WindowSettings& window, const SettingsFiles& files,
                   const QString& savePath);

}  // namespace sorimba::settings

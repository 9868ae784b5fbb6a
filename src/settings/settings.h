#pragma once
// Settings: data.dat (window size, font, colour, option marks) and data2.dat
// (the save path), read at start-up and written at shut-down. The byte
// layout of the files is in settings/dat_format.h.

#include <QString>

#include "files/failure.h"
#include "port/window_settings.h"

namespace sorimba::settings {

// Where the two settings files are.
struct SettingsFiles {
    QString data;   // data.dat
    QString data2;  // data2.dat

    // The two files in a folder.
    static SettingsFiles in(const QString& folder);
};

// Settings files that exist but could not be read at start-up (no
// permission, a read error, a folder in their place): closing leaves them
// as they are, so what they hold is never replaced by defaults.
struct Unreadable {
    bool data = false;   // data.dat
    bool data2 = false;  // data2.dat
    bool any() const { return data || data2; }
};

struct Loaded {
    QString savePath;  // kept in data2.dat; empty when there is none
    Unreadable unreadable;
};

// Start-up: applies data.dat to the window as far as it can be read, puts
// the window on top or not as the options say, and returns the save path
// kept in data2.dat with the files that could not be read.
Loaded loadSettings(WindowSettings& window, const SettingsFiles& files);

// Why the settings could not be stored; the first failure only.
struct StoreResult {
    enum class Failure {
        None,
        Folder,  // the settings folder could not be made (a file in its place?)
        File,    // a settings file could not be written (full disk, read-only...)
    };
    Failure failure = Failure::None;
    QString path;  // the folder or file
    Fault cause;   // what the system said, when it said anything
    bool ok() const { return failure == Failure::None; }
    explicit operator bool() const { return ok(); }
};

// Shut-down: stores the window's settings, and the save path when there is
// one, except in the files to `keep`. Never throws and asks nothing: the
// caller tells the user about a failure.
StoreResult storeSettings(const WindowSettings& window, const SettingsFiles& files,
                          const QString& savePath, const Unreadable& keep = {});

}  // namespace sorimba::settings

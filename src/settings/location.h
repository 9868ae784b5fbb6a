#pragma once
// Where data.dat and data2.dat live. A portable copy of the program keeps
// them beside itself; any other copy, such as an installed one, keeps them in
// the user's configuration folder, because the program's own folder
// (/usr/bin) is not writable there, and writing there as root would mix the
// settings of every user.

#include <QString>

namespace sorimba::settings {

// The file that makes a copy portable when it stands beside the program.
// The build writes one beside the programs it builds.
inline constexpr char kPortableMarker[] = "sorimba-portable";

// The parts of the environment the rule reads.
struct Environment {
    QString xdgConfigHome;  // $XDG_CONFIG_HOME
    QString home;           // $HOME, else the home folder of the user
};
Environment processEnvironment();

// A copy is portable when the marker or a data.dat (a folder carried over
// from before the rule) stands beside the program.
bool isPortable(const QString& programFolder);

// The folder of data.dat and data2.dat for the program in `programFolder`:
// that folder for a portable copy, else $XDG_CONFIG_HOME/sorimba, where a
// relative or empty $XDG_CONFIG_HOME counts as unset and means
// ~/.config/sorimba. Empty when not even a home folder is known.
QString settingsFolder(const QString& programFolder, const Environment& environment);

// Creates `folder` and any missing parent, each readable by its user only,
// and flushes each new entry into its parent. True when it exists afterwards
// as a folder.
bool makeSettingsFolder(const QString& folder);

}  // namespace sorimba::settings

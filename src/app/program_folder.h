#pragma once

#include <QString>
#include <QStringList>

namespace veltro {

// The folder that holds the INI file and files/users.dat: `--home DIR` on the command line, else the
// environment variable VELTRO_HOME, else the folder of the executable, or for an installed program the
// user's $XDG_CONFIG_HOME/veltro (ChooseProgramHome), created when missing.
QString ProgramFolder(const QStringList& arguments);

// "<program folder>/<executable name>.ini".
QString IniFilePath(const QString& programFolder, const QString& executableName);

} // namespace veltro

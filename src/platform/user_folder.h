#pragma once

#include <QString>

/// The user's own folder for the program's files ($XDG_CONFIG_HOME/Rivect, or %APPDATA%\Rivect
/// on Windows); not created here.
QString userConfigFolder();

/// Whether dir is a folder an installer put the program into, which the program never writes,
/// whoever runs it.
bool isInstalledProgramFolder(const QString& dir);

/// Whether this process may make folder (and its missing parents): not when root would leave
/// a folder of its own inside another user's (a program started with sudo -E keeps HOME).
bool mayCreateFolder(const QString& folder);

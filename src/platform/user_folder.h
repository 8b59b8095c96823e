#pragma once

#include <QString>

/// The user's own folder for the program's files ($XDG_CONFIG_HOME/Rivect, or %APPDATA%\Rivect
/// on Windows); not created here.
QString userConfigFolder();

/// Whether dir is a folder an installer put the program into, which the program never writes,
/// whoever runs it.
bool isInstalledProgramFolder(const QString& dir);

#pragma once

#include <QString>

class QCoreApplication;

/// What the command line adds to the client; without options every field keeps its default
/// and the program runs exactly as it always has.
struct AppOptions {
    bool fill = false;     ///< --fill: the client window fills the screen
    QString lapLogFolder;  ///< --lap-log DIR: every run's laps are kept there; empty for none
};

/// Reads the program's own options from app's arguments (Qt's own are already taken out).
/// --help, --version and a mistake print their text and end the process here, before any
/// window exists.
AppOptions parseAppOptions(const QCoreApplication& app);

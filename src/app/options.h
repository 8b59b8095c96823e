#pragma once

#include <QString>

#include <optional>

class QCoreApplication;

/// What the command line adds to the client; without options every field keeps its default
/// and the program runs exactly as it always has.
struct AppOptions {
    bool fill = false;     ///< --fill: the client window fills the screen
    QString lapLogFolder;  ///< --lap-log DIR: every run's laps are kept there; empty for none
    bool stints = false;   ///< --stints [FILE]: the pit panel keeps the stints and pit stops
    QString stintsFile;    ///< the stints file named after --stints, absolute; empty for the default
};

/// Answers --help, --version and --check-setup on the terminal, before any display is opened,
/// and gives the exit status; nothing when the command line asks for the window.
std::optional<int> answerOnTerminal(int& argc, char** argv);

/// Reads the program's own options from app's arguments (Qt's own are already taken out).
/// A mistake prints its text and ends the process here, before any window exists.
AppOptions parseAppOptions(const QCoreApplication& app);

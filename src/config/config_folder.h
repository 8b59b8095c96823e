#pragma once

#include <QString>
#include <QStringList>

/// Where Rivect.ini and OutMess.txt live, as chooseConfigFolder decided it.
struct ConfigFolder {
    QString path;            ///< folder of both files, no trailing separator
    QStringList unwritable;  ///< every folder tried, when none of them could be written; else empty

    /// True when the files can be written in path.
    bool writable() const { return unwritable.isEmpty(); }
};

/// The one rule for the folder of the program's files: the program folder when a file can be
/// created in it; else <configHome>/Rivect, created when missing, where configHome is
/// xdgConfigHome when that is an absolute path and <home>/.config otherwise. When neither can be
/// written, the user's folder if it exists (files put there are still read), else the program folder.
ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& xdgConfigHome, const QString& home);

/// The rule for this process: XDG_CONFIG_HOME and the home folder from the environment.
ConfigFolder chooseConfigFolder(const QString& programFolder);

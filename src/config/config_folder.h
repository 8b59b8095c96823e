#pragma once

#include <QString>
#include <QStringList>

/// Where Rivect.ini and OutMess.txt live, as chooseConfigFolder decided it.
struct ConfigFolder {
    QString path;            ///< folder where both files are saved (and read first), no trailing separator
    QString prepared;        ///< folder read when a file is missing from path (the program's); empty when path is the one place
    QStringList unwritable;  ///< every folder tried, when none of them could be written; else empty

    /// True when the files can be written in path.
    bool writable() const { return unwritable.isEmpty(); }
    /// The file name in path: where it is saved.
    QString filePath(const QString& name) const;
    /// The file name beside the program, read while filePath(name) does not exist; empty when none.
    QString preparedPath(const QString& name) const;
};

/// The one rule for the folder of the program's files. The program folder is the one place
/// when a file can be created in it and it is not an installed one. Otherwise the files are
/// saved in userFolder (created when missing) and read from the program folder while the user's
/// folder has no copy. When neither can be written, the user's folder if it exists (its files
/// are still read first), else the program folder alone.
ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& userFolder, bool programInstalled);

/// The rule for this process: the user's folder and the installed test of the platform.
ConfigFolder chooseConfigFolder(const QString& programFolder);

/// The file to read of one that is saved at savePath: savePath when it exists (or nothing is
/// prepared), else preparedPath when that exists, else savePath.
QString configFileToRead(const QString& savePath, const QString& preparedPath);

/// Before a file at savePath is changed in place: when it is missing and a prepared copy exists,
/// the prepared copy is put there first, so that the change keeps everything else it holds.
/// False when that copy could not be made.
bool adoptPreparedFile(const QString& savePath, const QString& preparedPath);

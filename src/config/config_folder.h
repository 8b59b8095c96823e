#pragma once

#include <QString>
#include <QStringList>

/// Where Rivect.ini and OutMess.txt live, as chooseConfigFolder decided it.
struct ConfigFolder {
    QString path;            ///< folder where both files are saved and read first, no trailing separator
    QString prepared;        ///< the program's folder when path is the user's: its copy of a file is read while path has none; empty when none
    QStringList unwritable;  ///< every folder tried, when none of them could be written; else empty
    QString apart{};         ///< the user's folder when path is a portable program folder: its copies are never read nor written, only compared (differingCopiesNotice); empty when none

    /// True when the files can be written in path.
    bool writable() const { return unwritable.isEmpty(); }
    /// The file name in path: where it is saved.
    QString filePath(const QString& name) const;
    /// The file name in the prepared folder, read while filePath(name) does not exist; empty when none.
    QString preparedPath(const QString& name) const;
};

/// How chooseConfigFolder finds out what can be written.
enum class FolderLook {
    Prepare,   ///< for a start: the user's folder is made, and a file is created and removed to test
    /// for a check: the OS is asked, and nothing is left behind (on Windows a probe file is made
    /// in the folder, gone when its handle closes)
    LookOnly,
};

/// The one rule for the folder of the program's files. The files are read from and saved in
/// the program folder, and nowhere else, when a file can be created in it and it is not an
/// installed one; otherwise they are saved in userFolder (made when missing, unless root would
/// leave it in another user's home), and a file the user has no copy of yet is read from the
/// program folder. When neither can be written: the user's folder if it exists or the program
/// is installed (whose folder is never written), else the program folder.
ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& userFolder, bool programInstalled,
                                FolderLook look = FolderLook::Prepare);

/// The rule for this process: the user's folder and the installed test of the platform.
ConfigFolder chooseConfigFolder(const QString& programFolder, FolderLook look = FolderLook::Prepare);

/// The file to read of one that is saved at savePath: savePath while it exists, else
/// preparedPath when that exists; savePath when neither does.
QString configFileToRead(const QString& savePath, const QString& preparedPath);

/// Before a file at savePath is changed in place: when the copy to read is preparedPath, it is
/// put at savePath first, so that the change keeps everything else it holds.
/// False when that copy could not be made.
bool adoptPreparedFile(const QString& savePath, const QString& preparedPath);

/// The message box text for a start that keeps its files in a portable program folder while
/// the user's folder (shared by every copy of the program of that user) holds a copy of one of
/// them with other content: which file is used and where the other is, for each such file.
/// Empty when there is none, or when a copy cannot be read to compare.
QString differingCopiesNotice(const ConfigFolder& files);

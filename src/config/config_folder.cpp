#include "config/config_folder.h"

#include "platform/file_access.h"
#include "platform/user_folder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

// Permission bits do not tell: root ignores them, and a read-only mount or an access list
// overrules them. Creating a file, the way the settings are saved, is the only sure test.
bool canCreateFileIn(const QString& folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".rivect-probe-XXXXXX")));
    return probe.open();
}

// Whether the files could be saved in folder. Looking only, nothing is created: the OS is
// asked about the folder, or about the nearest one that exists when it would have to be made.
bool canSaveIn(const QString& folder, FolderLook look)
{
    if (look == FolderLook::Prepare)
        return canCreateFileIn(folder);
    if (folder.isEmpty())
        return false;
    return (QFileInfo(folder).isDir() || mayCreateFolder(folder)) && FileAccess::folderCouldTakeFile(folder);
}

} // namespace

QString ConfigFolder::filePath(const QString& name) const
{
    return path + QLatin1Char('/') + name;
}

QString ConfigFolder::preparedPath(const QString& name) const
{
    return prepared.isEmpty() ? QString() : prepared + QLatin1Char('/') + name;
}

ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& userFolder, bool programInstalled,
                                FolderLook look)
{
    // An installed program's folder belongs to the package: root could write it, but the
    // package would not own the files and an ordinary start would never read them.
    if (!programInstalled && QFileInfo(programFolder).isDir() && canSaveIn(programFolder, look))
        return ConfigFolder{programFolder, userFolder, {}};

    if (!userFolder.isEmpty()) {
        if (look == FolderLook::Prepare && !QFileInfo(userFolder).isDir() && mayCreateFolder(userFolder))
            QDir().mkpath(userFolder);
        if (canSaveIn(userFolder, look))
            return ConfigFolder{userFolder, programFolder, {}};
    }

    QStringList tried{programFolder};
    if (!userFolder.isEmpty())
        tried << userFolder;
    // Where nothing can be saved, an installed program's folder is still only read: the user's
    // folder stays the place to save, even one that does not exist, so that every save fails
    // and is told rather than landing among the package's files.
    if (!userFolder.isEmpty() && (programInstalled || QFileInfo(userFolder).isDir()))
        return ConfigFolder{userFolder, programFolder, tried};
    return ConfigFolder{programFolder, userFolder, tried};
}

ConfigFolder chooseConfigFolder(const QString& programFolder, FolderLook look)
{
    return chooseConfigFolder(programFolder, userConfigFolder(), isInstalledProgramFolder(programFolder), look);
}

QString configFileToRead(const QString& savePath, const QString& preparedPath)
{
    if (preparedPath.isEmpty() || !QFileInfo::exists(preparedPath))
        return savePath;
    if (!QFileInfo::exists(savePath))
        return preparedPath;
    // Both copies exist when one folder could not be written at one start and could at the
    // next (a portable copy on a stick write-protected for a while), or when an administrator
    // changed the one beside the program: the copy saved last holds the latest edit.
    const QDateTime saved = QFileInfo(savePath).fileTime(QFileDevice::FileModificationTime);
    const QDateTime other = QFileInfo(preparedPath).fileTime(QFileDevice::FileModificationTime);
    return other > saved ? preparedPath : savePath;
}

bool adoptPreparedFile(const QString& savePath, const QString& preparedPath)
{
    if (configFileToRead(savePath, preparedPath) == savePath)
        return true;
    QByteArray bytes;
    if (FileAccess::readRegularFile(preparedPath, bytes) != FileAccess::ReadResult::Ok)
        return false;
    return FileAccess::writeAtomically(savePath, bytes);
}

#include "config/config_folder.h"

#include "platform/file_access.h"
#include "platform/user_folder.h"

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

} // namespace

QString ConfigFolder::filePath(const QString& name) const
{
    return path + QLatin1Char('/') + name;
}

QString ConfigFolder::preparedPath(const QString& name) const
{
    return prepared.isEmpty() ? QString() : prepared + QLatin1Char('/') + name;
}

ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& userFolder, bool programInstalled)
{
    // An installed program's folder belongs to the package: root could write it, but the
    // package would not own the files and an ordinary start would never read them.
    if (!programInstalled && canCreateFileIn(programFolder))
        return ConfigFolder{programFolder, {}, {}};

    if (!userFolder.isEmpty()) {
        QDir().mkpath(userFolder);
        if (canCreateFileIn(userFolder))
            return ConfigFolder{userFolder, programFolder, {}};
    }

    QStringList tried{programFolder};
    if (!userFolder.isEmpty())
        tried << userFolder;
    if (!userFolder.isEmpty() && QFileInfo(userFolder).isDir())
        return ConfigFolder{userFolder, programFolder, tried};
    return ConfigFolder{programFolder, {}, tried};
}

ConfigFolder chooseConfigFolder(const QString& programFolder)
{
    return chooseConfigFolder(programFolder, userConfigFolder(), isInstalledProgramFolder(programFolder));
}

QString configFileToRead(const QString& savePath, const QString& preparedPath)
{
    if (preparedPath.isEmpty() || QFileInfo::exists(savePath) || !QFileInfo::exists(preparedPath))
        return savePath;
    return preparedPath;
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

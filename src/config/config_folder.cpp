#include "config/config_folder.h"

#include "config/messages.h"
#include "config/settings.h"
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
    // A portable copy keeps its files to itself. The user's folder is shared by every copy of
    // the program that user runs (the installed one, other sticks): reading or adopting a file
    // from there would put another installation's settings over this one's.
    if (!programInstalled && QFileInfo(programFolder).isDir() && canSaveIn(programFolder, look))
        return ConfigFolder{programFolder, {}, {}, userFolder};

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
    return ConfigFolder{programFolder, {}, tried, userFolder};
}

ConfigFolder chooseConfigFolder(const QString& programFolder, FolderLook look)
{
    return chooseConfigFolder(programFolder, userConfigFolder(), isInstalledProgramFolder(programFolder), look);
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

QString differingCopiesNotice(const ConfigFolder& files)
{
    if (files.apart.isEmpty())
        return {};
    // Content decides, never the files' times: the PC's clock is set from the host, a copy
    // made without keeping its date is new, and FAT keeps local time.
    QStringList pairs;
    for (const QString& name : {Settings::kFileName, Messages::kFileName}) {
        const QString used = files.filePath(name);
        const QString other = files.apart + QLatin1Char('/') + name;
        QByteArray usedBytes;
        QByteArray otherBytes;
        if (FileAccess::readRegularFile(used, usedBytes) != FileAccess::ReadResult::Ok
            || FileAccess::readRegularFile(other, otherBytes) != FileAccess::ReadResult::Ok)
            continue;
        if (usedBytes != otherBytes)
            pairs << QStringLiteral("使用中：%1\r使用しない：%2").arg(used, other);
    }
    if (pairs.isEmpty())
        return {};
    return QStringLiteral("プログラムのフォルダにある設定ファイルを使用します。\r"
                          "ユーザーのフォルダにも内容の異なる同じ名前のファイルがありますが、"
                          "読み込みも書き換えもしません。そちらの設定を使う場合は、"
                          "内容をプログラムのフォルダのファイルに写してください。\r")
        + pairs.join(QLatin1Char('\r'));
}

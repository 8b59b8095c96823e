#include "platform/user_folder.h"

#include <QDir>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

QString userConfigFolder()
{
    QString appData;
    wchar_t* path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        appData = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    if (appData.isEmpty())
        appData = qEnvironmentVariable("APPDATA");
    if (appData.isEmpty())
        return {};
    return QDir::cleanPath(QDir::fromNativeSeparators(appData) + QStringLiteral("/Rivect"));
}

bool isInstalledProgramFolder(const QString&)
{
    // The installer puts the program into the user's own folder (under %LOCALAPPDATA%), which
    // that user may write: the files beside the program are the ones to use, as on a PC where
    // the program was simply copied. A folder that cannot be written (Program Files for a
    // standard user) is told apart by trying to write it, not by its name.
    return false;
}

bool mayCreateFolder(const QString&)
{
    // A folder made under %APPDATA% inherits the access list of the user's profile: that user
    // can write it, whoever made it.
    return true;
}

#include "config/config_folder.h"

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

ConfigFolder chooseConfigFolder(const QString& programFolder, const QString& xdgConfigHome, const QString& home)
{
    if (canCreateFileIn(programFolder))
        return ConfigFolder{programFolder, {}};

    // A relative XDG_CONFIG_HOME is invalid and ignored, as every desktop program does.
    const QString configHome = QDir::isAbsolutePath(xdgConfigHome)
        ? xdgConfigHome
        : (home.isEmpty() ? QString() : QDir(home).filePath(QStringLiteral(".config")));
    const QString userFolder =
        configHome.isEmpty() ? QString() : QDir::cleanPath(QDir(configHome).filePath(QStringLiteral("Rivect")));
    if (!userFolder.isEmpty()) {
        QDir().mkpath(userFolder);
        if (canCreateFileIn(userFolder))
            return ConfigFolder{userFolder, {}};
    }

    QStringList tried{programFolder};
    if (!userFolder.isEmpty())
        tried << userFolder;
    const bool userFolderExists = !userFolder.isEmpty() && QFileInfo(userFolder).isDir();
    return ConfigFolder{userFolderExists ? userFolder : programFolder, tried};
}

ConfigFolder chooseConfigFolder(const QString& programFolder)
{
    return chooseConfigFolder(programFolder, qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

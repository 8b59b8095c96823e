#include "platform/user_folder.h"

#include "platform/file_access.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

QString userConfigFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as every desktop program does.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    QString configHome = QDir::isAbsolutePath(xdg) ? xdg : QString();
    if (configHome.isEmpty())
        configHome = QDir(QDir::homePath()).filePath(QStringLiteral(".config"));
    return QDir::cleanPath(QDir(configHome).filePath(QStringLiteral("Rivect")));
}

bool isInstalledProgramFolder(const QString& dir)
{
    // Judged after symlinks are resolved: /bin is a link to /usr/bin on a merged-/usr system,
    // and a link from elsewhere into /usr still points into the package's files.
    QString resolved = QFileInfo(dir).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = QDir::cleanPath(QDir(dir).absolutePath());
    return resolved == QLatin1String("/usr") || resolved.startsWith(QLatin1String("/usr/"));
}

bool mayCreateFolder(const QString& folder)
{
    if (::geteuid() != 0)
        return true;
    const QString existing = FileAccess::nearestExistingFolder(folder);
    struct stat info {};
    // A folder root made in a user's home would stay root's: the user's own start could then
    // never save there.
    return !existing.isEmpty() && ::stat(QFile::encodeName(existing).constData(), &info) == 0 && info.st_uid == 0;
}

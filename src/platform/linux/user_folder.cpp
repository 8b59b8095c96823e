#include "platform/user_folder.h"

#include <QDir>
#include <QFileInfo>

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

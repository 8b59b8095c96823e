#include "platform/file_access.h"

#include "platform/user_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

// Reading, and asking whether a folder could take a file, are the OS's business: linux/ and
// windows/ each have their own.
namespace FileAccess {

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    // Whoever chose the path, the package's files are not ours to add to: root could, and
    // the next upgrade or removal would neither know nor keep them.
    if (isInstalledProgramFolder(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() does not see a write that failed only when the buffer went out (a full disk):
    // it would replace the file with an empty one. The flush is checked here for that.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString nearestExistingFolder(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    QString at = QDir::cleanPath(QDir(folder).absolutePath());
    for (;;) {
        const QFileInfo info(at);
        if (info.exists())
            return info.isDir() ? at : QString();
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            return {};
        at = parent;
    }
}

} // namespace FileAccess

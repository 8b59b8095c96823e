#include "platform/file_access.h"

#include <QSaveFile>

// Reading asks the OS what counts as a regular file: linux/ and windows/ each have their own.
namespace FileAccess {

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
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

} // namespace FileAccess

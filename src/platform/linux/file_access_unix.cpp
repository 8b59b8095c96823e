#include "platform/file_access.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAccess {

namespace {

QString notRegularReason(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return qt_error_string(EISDIR);
    return QStringLiteral("通常のファイルではありません");
}

} // namespace

ReadResult readRegularFile(const QString& path, QByteArray& bytes, QString* reason)
{
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    QString why;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        why = qt_error_string(errno);
    else if (!S_ISREG(info.st_mode))
        why = notRegularReason(info);
    else if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        why = file.errorString();
    if (!why.isEmpty()) {
        if (fd >= 0 && !file.isOpen())
            ::close(fd);
        if (reason)
            *reason = why;
        return ReadResult::Failed;
    }
    bytes = file.readAll();
    if (file.error() == QFileDevice::NoError)
        return ReadResult::Ok;
    if (reason)
        *reason = file.errorString();
    return ReadResult::Failed;
}

bool folderCouldTakeFile(const QString& folder)
{
    // access() answers for root too: it grants root every permission bit, but still says no
    // for a read-only mount, and it applies access lists.
    const QString existing = nearestExistingFolder(folder);
    return !existing.isEmpty() && ::access(QFile::encodeName(existing).constData(), W_OK | X_OK) == 0;
}

} // namespace FileAccess

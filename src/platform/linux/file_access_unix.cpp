#include "platform/file_access.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAccess {

ReadResult readRegularFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return ReadResult::Failed;
    }
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError ? ReadResult::Ok : ReadResult::Failed;
}

} // namespace FileAccess

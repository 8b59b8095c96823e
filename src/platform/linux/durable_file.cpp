#include "platform/durable_file.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

Written append(QFileDevice& file, const QByteArray& bytes)
{
    if (!file.flush() || file.handle() < 0)
        return Written::Failed;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(file.handle(), data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == ENOSPC || errno == EDQUOT ? Written::NoRoom : Written::Failed;
        // A short write is followed by one that tells why the rest did not fit.
        data += n;
        left -= n;
    }
    return Written::All;
}

bool cutTo(QFileDevice& file, qint64 size)
{
    if (file.handle() < 0)
        return false;
    int rc = 0;
    do {
        rc = ::ftruncate(file.handle(), off_t(size));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool syncData(QFileDevice& file)
{
    if (!file.flush() || file.handle() < 0)
        return false;
    int rc = 0;
    do {
        rc = ::fdatasync(file.handle());
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder at all (EINVAL): their names are as safe as they get.
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
}

bool isStillAt(const QFileDevice& file, const QString& path)
{
    struct stat open {};
    struct stat named {};
    // A removed file keeps taking writes through its open descriptor; only its link count
    // and the name's own identity tell that nobody will ever read them.
    return file.handle() >= 0 && ::fstat(file.handle(), &open) == 0 && open.st_nlink > 0
        && ::stat(QFile::encodeName(path).constData(), &named) == 0 && open.st_dev == named.st_dev
        && open.st_ino == named.st_ino;
}

} // namespace DurableFile

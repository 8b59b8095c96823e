#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

/// A small tmpfs of the sandbox's own mount namespace that a test can fill to the last block;
/// available() is false where none can be mounted (outside the sandbox, or not root).
class SmallDisk {
public:
    /// Mounts a disk of 64 KiB on path, an existing empty folder.
    explicit SmallDisk(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (geteuid() == 0 && qgetenv("RIVECT_SANDBOX") == "isolated")
            m_ok = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (m_ok)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return m_ok; }

    /// Takes every free block with a file of its own; false when nothing could be taken.
    bool fill()
    {
        const QByteArray filler = m_path + "/filler";
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'f');
        qint64 taken = 0;
        ssize_t n = 0;
        while ((n = ::write(fd, block.constData(), size_t(block.size()))) > 0)
            taken += n;
        ::close(fd);
        return taken > 0;
    }

private:
    QByteArray m_path;
    bool m_ok = false;
};

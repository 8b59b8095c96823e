#pragma once

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

/// An existing file this thread cannot read while the object lives, as one of mode 0600 that
/// another user owns: its mode is 000, and root, whom no mode stops, reads and writes files as
/// an ordinary user meanwhile (the file-system identity is per thread, so only this one is
/// affected). The folders the test writes must then be open to everyone.
class UnreadableFile {
public:
    /// Takes every permission from the file at path.
    explicit UnreadableFile(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (::chmod(m_path.constData(), 0) != 0)
            return;
        if (::geteuid() == 0) {
            ::setfsuid(kNobody);
            m_fsuid = true;
        }
        const int fd = ::open(m_path.constData(), O_RDONLY);
        m_ok = fd < 0 && errno == EACCES;
        if (fd >= 0)
            ::close(fd);
    }
    ~UnreadableFile()
    {
        if (m_fsuid)
            ::setfsuid(0);
        ::chmod(m_path.constData(), 0644);
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    /// False when the file could still be read.
    bool available() const { return m_ok; }
    /// The reason the OS gives for the failed read.
    static QString reason() { return qt_error_string(EACCES); }
    /// Makes a folder the test writes while the file is unreadable open to everyone.
    static bool openToAll(const QString& folder) { return ::chmod(QFile::encodeName(folder).constData(), 0777) == 0; }

private:
    static constexpr uid_t kNobody = 65534;
    QByteArray m_path;
    bool m_fsuid = false;
    bool m_ok = false;
};

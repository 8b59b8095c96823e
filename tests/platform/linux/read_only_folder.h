#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

/// A folder, filled first, in which nothing can be created or replaced afterwards, even by
/// root: permissions for an ordinary user, a read-only tmpfs in the sandbox's own mount
/// namespace for root. available() is false where neither works.
class ReadOnlyFolder {
public:
    /// Makes path (an existing, empty folder) hold file name (none when empty) with bytes, then read-only.
    ReadOnlyFolder(const QString& path, const QString& name, const QByteArray& bytes) : m_path(path)
    {
        const QByteArray native = QFile::encodeName(path);
        if (geteuid() != 0) {
            m_ok = write(name, bytes) && ::chmod(native.constData(), 0555) == 0;
            m_chmod = m_ok;
            return;
        }
        if (qgetenv("RIVECT_SANDBOX") != "isolated")
            return;
        if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=1m") != 0)
            return;
        m_mounted = true;
        m_ok = write(name, bytes)
            && ::mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder()
    {
        const QByteArray native = QFile::encodeName(m_path);
        if (m_chmod)
            ::chmod(native.constData(), 0755);
        if (m_mounted)
            ::umount2(native.constData(), MNT_DETACH);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool available() const { return m_ok; }

private:
    bool write(const QString& name, const QByteArray& bytes)
    {
        if (name.isEmpty())
            return true;
        QFile file(QDir(m_path).filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    QString m_path;
    bool m_ok = false;
    bool m_chmod = false;
    bool m_mounted = false;
};

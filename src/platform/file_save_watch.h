#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

/// Calls a function once after each save of a file, however the editor saves it: written in
/// place, or written anew and renamed over the old file.
class FileSaveWatch : public QObject {
    Q_OBJECT
public:
    /// Watches path from now on; onSaved runs on this thread, after the writes have settled.
    FileSaveWatch(const QString& path, std::function<void()> onSaved);

    /// What identifies one saved state of a file: its inode (file index), size and time of change.
    struct Stamp {
        qint64 inode = -1;
        qint64 size = -1;
        qint64 changedNs = -1;
        bool operator==(const Stamp&) const = default;
    };

private:
    void settle();
    Stamp stamp() const;

    QString m_path;
    std::function<void()> m_onSaved;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    Stamp m_last;
};

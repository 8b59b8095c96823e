#include "platform/file_save_watch.h"

#include <QFileInfo>

namespace {
// An editor writes a file in several steps (truncate, write, rename); the file is read once
// they have been quiet for this long, never half written.
constexpr int kSettleMs = 200;
} // namespace

FileSaveWatch::FileSaveWatch(const QString& path, std::function<void()> onSaved)
    : m_path(QFileInfo(path).absoluteFilePath()), m_onSaved(std::move(onSaved))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &FileSaveWatch::settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle, qOverload<>(&QTimer::start));
    // The folder tells of a new file renamed over ours, the file itself of writes in place.
    m_watcher.addPath(QFileInfo(m_path).absolutePath());
    if (QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    m_last = stamp();
}

void FileSaveWatch::settle()
{
    // A file replaced by a rename is a new inode, which the watch on the old one does not see.
    if (!m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
    const Stamp now = stamp();
    if (now == m_last)
        return;
    m_last = now;
    if (now.inode >= 0 && m_onSaved)
        m_onSaved();
}

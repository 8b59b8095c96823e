#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

/// The pit journal's disk side: a thread of its own replaces the file or appends to it and
/// waits until the medium holds it, so the window never waits for the disk. What could not be
/// written is tried again every second with what came since. The file at the path is written
/// over only while it holds what was last known to be there (or nothing); anything else is
/// left untouched, and the journal goes on in a new file beside it.
class PitJournalWriter {
public:
    /// What the writer reports.
    enum class Notice {
        Failed,   ///< the journal cannot be written now; it is kept for the next try
        NoRoom,   ///< as Failed, because the medium is full
        Resumed,  ///< written again after a failure
        Moved,    ///< the file at the path is not ours: the journal goes to the new path told
    };
    /// Told on the writer's thread, with the file written (for Moved the new one).
    using Notify = std::function<void(Notice notice, const QString& path)>;

    /// A writer of the file at path, which held found when it was read: none when it held
    /// something else than a journal (or could not be read), empty when there was no file.
    PitJournalWriter(QString path, std::optional<QByteArray> found, Notify notify);
    /// Writes what was handed over, waiting a few seconds at most for the medium; a thread
    /// still waiting then is left to itself and tells nothing more.
    ~PitJournalWriter();
    PitJournalWriter(const PitJournalWriter&) = delete;
    PitJournalWriter& operator=(const PitJournalWriter&) = delete;

    /// The file is to hold content and nothing else.
    void replace(QByteArray content);
    /// The file is to hold bytes after what it holds.
    void append(QByteArray bytes);
    /// Blocks until everything handed over has been tried and its notices are out.
    void waitUntilIdle();
    /// The file the journal goes to.
    QString path() const;

private:
    struct Core;

    std::shared_ptr<Core> m_core;
    std::thread m_thread;
};

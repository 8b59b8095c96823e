#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/// The lap log's disk side: a thread of its own creates each run's file, appends the rows and
/// syncs them to the medium, so the caller never waits for the disk. A file that is gone from
/// its path (its folder removed, its medium pulled and put back) is opened again at that path
/// with the next row; rows that could not be written are kept and written then.
class LapLogWriter {
public:
    /// What the writer reports about a run's file.
    enum class Notice {
        Failed,   ///< rows cannot be written now; they are kept for the next try
        Resumed,  ///< the file was opened again at its path and the kept rows are written
    };
    /// Makes what was written to the file reach the medium; false when it could not.
    using Sync = std::function<bool(QFileDevice&)>;
    /// Told on the writer's thread of a notice about run, with the file's path.
    using Notify = std::function<void(uint64_t run, Notice notice, const QString& path)>;

    /// A writer creating files in folder (made when missing), reporting through notify.
    LapLogWriter(QString folder, Notify notify, Sync sync);
    /// Writes and syncs what was handed over, then ends the thread.
    ~LapLogWriter();
    LapLogWriter(const LapLogWriter&) = delete;
    LapLogWriter& operator=(const LapLogWriter&) = delete;

    /// Ends the run before, then creates a new file for run: fileName, or fileName with _2 to _99
    /// before its extension when a file of that name exists; never an existing file.
    void startRun(uint64_t run, const QString& fileName);
    /// Appends one row (line end included) to the run's file.
    void addRow(QByteArray row);
    /// Writes what is left of the run and closes its file.
    void endRun();
    /// Blocks until everything handed over has been dealt with and its notices are out.
    void waitUntilIdle();
    /// The file of the current (or last) run; empty until it has been created.
    QString currentFile() const;

private:
    struct Job {
        enum Kind { Start, Row, End } kind;
        uint64_t run = 0;
        QString fileName;  ///< for Start
        QByteArray row;    ///< for Row
    };

    void loop();
    void handle(Job& job);
    void writePending();
    bool ensureOpen();
    bool createNewFile();
    bool reopen();
    bool openWithHeader(const QString& path);
    void closeFile();
    void notify(Notice notice);
    void setPath(const QString& path);

    const QString m_folder;
    const Notify m_notify;
    const Sync m_sync;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    QString m_path;  ///< guarded by m_mutex: read by currentFile()

    // Owned by the writer's thread.
    QFile m_file;
    uint64_t m_run = 0;
    bool m_inRun = false;
    QString m_fileName;
    std::vector<QByteArray> m_pending;  ///< rows not yet known to be on the medium
    qint64 m_synced = 0;                ///< size of the file at its last good sync
    bool m_failed = false;              ///< a failure was reported and no row written since
    bool m_lost = false;                ///< the open file was found gone from its path

    std::thread m_thread;  ///< last: started once everything above exists
};

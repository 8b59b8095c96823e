#pragma once

#include "laplog/lap_log_file.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

/// The lap log's disk side: a thread of its own creates each run's file, appends the rows and
/// syncs them to the medium, so the caller never waits for the disk. A file gone from its path
/// (its folder removed, its medium pulled and put back) is opened again at that path with the
/// next row, unless what is there now is not what was written to it: then the rows go on in a
/// new file beside it. Rows that could not be written are kept and written then.
class LapLogWriter {
public:
    /// What the writer reports about a run's file.
    enum class Notice {
        Failed,   ///< rows cannot be written now; they are kept for the next try
        NoRoom,   ///< as Failed, because the medium is full
        Resumed,  ///< the file was opened again at its path and the kept rows are written
        Moved,    ///< the file at the path is not the run's any more; the rows go to a new one
    };
    /// Makes what was written to the file's handle reach the medium; false when it could not.
    using Sync = LapLogFile::Sync;
    /// Told on the writer's thread of a notice about run, with the run's file (for Moved the
    /// new one) and, for Moved, the file left untouched.
    using Notify = std::function<void(uint64_t run, Notice notice, const QString& path, const QString& left)>;
    /// How the writer ended (finish).
    struct Ending {
        int lost = 0;            ///< rows handed over that never reached the medium
        bool abandoned = false;  ///< the thread still waits for its medium and was left to itself
    };

    /// A writer creating files in folder (made when missing), reporting through notify.
    LapLogWriter(QString folder, Notify notify, Sync sync);
    /// Finishes without a bound on the wait unless finish() came first.
    ~LapLogWriter();
    LapLogWriter(const LapLogWriter&) = delete;
    LapLogWriter& operator=(const LapLogWriter&) = delete;

    /// Ends the run before, then creates a new file for run starting with start (the byte order
    /// mark and the header row): fileName, or fileName with _2 to _99 before its extension when a
    /// file of that name exists; never an existing file.
    void startRun(uint64_t run, const QString& fileName, const QByteArray& start);
    /// Appends one row (line end included) to the run's file.
    void addRow(QByteArray row);
    /// Writes what is left of the run and closes its file.
    void endRun();
    /// Blocks until everything handed over has been dealt with and its notices are out.
    void waitUntilIdle();
    /// The file of the current (or last) run; empty until it has been created.
    QString currentFile() const;
    /// Writes what was handed over, closes the file and ends the thread, waiting at most
    /// timeout for the medium. A thread still waiting then is left to itself: it tells nothing
    /// more and touches nothing but its own state. Later calls return what the first returned.
    Ending finish(std::chrono::milliseconds timeout);

private:
    struct Core;

    std::shared_ptr<Core> m_core;
    std::thread m_thread;
    std::optional<Ending> m_ending;
};

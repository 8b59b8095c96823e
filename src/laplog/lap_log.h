#pragma once

#include "client/client_window.h"
#include "laplog/lap_log_writer.h"
#include "platform/durable_file.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

/// Keeps every lap of every timing run: each run from Start to Stop writes a CSV file of its
/// own into one folder, a row per lap report taken, on the medium within moments. It only
/// watches the window, and the window never waits for the disk: a writer thread does the
/// writing. That the file cannot be written is told to the operator once until writing
/// resumes, and that it resumed after each such failure (a file only found gone from its path:
/// once a run); that the rows go on in a new file, each time. The run goes on as if nothing
/// had happened.
class LapLog {
public:
    /// A log writing into folder, which is created when missing; sync makes a file's rows
    /// reach the medium (tests hand in their own).
    explicit LapLog(QString folder, LapLogWriter::Sync sync = DurableFile::syncData);

    /// Columns another observer of the run adds after the log's own.
    struct ExtraColumns {
        QStringList names;                         ///< their header fields
        std::function<QStringList()> fieldsOfLap;  ///< their fields for the lap just taken
    };

    /// Adds columns to the files of the runs started from now on; fieldsOfLap is asked once
    /// for each lap, when the window has taken it.
    void addColumns(ExtraColumns columns) { m_extra = std::move(columns); }
    /// The window's run observer: pass it as ClientServices::runObserver.
    void onRunEvent(const ClientWindow& window, RunEvent event);
    /// The file of the current (or last) run; empty before the first Start, and until the
    /// writer has created it.
    QString currentFile() const { return m_writer.currentFile(); }
    /// Blocks until the writer has dealt with every row handed over; the notices it gave are
    /// then waiting in the event loop.
    void waitForWriter() { m_writer.waitUntilIdle(); }
    /// Ends the log as the program ends: writes what is queued, waiting at most timeout for the
    /// medium, tells nothing more in the window, and says on standard error how many rows were
    /// lost, if any. See LapLogWriter::finish.
    LapLogWriter::Ending finish(std::chrono::milliseconds timeout);
    /// Tells the operator in a box how many rows ending lost, when it lost any.
    void showLost(const LapLogWriter::Ending& ending);

private:
    void lap(const ClientWindow& window);
    void onNotice(uint64_t run, LapLogWriter::Notice notice, const QString& path, const QString& left);
    QString shownFile() const;

    const QString m_folder;
    ExtraColumns m_extra;
    qsizetype m_runColumns = 0;  ///< added columns in the current run's header

    IDialogs* m_dialogs = nullptr;
    uint64_t m_run = 0;      ///< number of the current (or last) run
    bool m_running = false;
    bool m_finished = false;      ///< finish() was called: nothing more is told in the window
    bool m_failing = false;       ///< a failure was told and writing has not resumed since
    bool m_toldReopened = false;  ///< a reopening that followed no failure was told in this run
    QObject m_context;            ///< receives the writer's notices; ends pending ones with the log
    LapLogWriter m_writer;        ///< last: its thread ends before the rest goes
};

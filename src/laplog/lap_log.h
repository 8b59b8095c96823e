#pragma once

#include "client/client_window.h"
#include "laplog/lap_log_writer.h"
#include "platform/durable_file.h"

#include <QObject>
#include <QString>

/// Keeps every lap of every timing run: each run from Start to Stop writes a CSV file of its
/// own into one folder, a row per lap report taken, on the medium within moments. It only
/// watches the window, and the window never waits for the disk: a writer thread does the
/// writing. That the file cannot be written, and that writing has resumed, are each told to
/// the operator once per run; the run goes on as if nothing had happened.
class LapLog {
public:
    /// A log writing into folder, which is created when missing; sync makes a file's rows
    /// reach the medium (tests hand in their own).
    explicit LapLog(QString folder, LapLogWriter::Sync sync = DurableFile::syncData);

    /// The window's run observer: pass it as ClientServices::runObserver.
    void onRunEvent(const ClientWindow& window, RunEvent event);
    /// The file of the current (or last) run; empty before the first Start, and until the
    /// writer has created it.
    QString currentFile() const { return m_writer.currentFile(); }
    /// Blocks until the writer has dealt with every row handed over; the notices it gave are
    /// then waiting in the event loop.
    void waitForWriter() { m_writer.waitUntilIdle(); }

private:
    void lap(const ClientWindow& window);
    void onNotice(uint64_t run, LapLogWriter::Notice notice, const QString& path);

    IDialogs* m_dialogs = nullptr;
    uint64_t m_run = 0;      ///< number of the current (or last) run
    bool m_running = false;
    bool m_toldFailure = false;   ///< the operator was told of a failure in this run
    bool m_toldRecovery = false;  ///< the operator was told that writing resumed in this run
    QObject m_context;            ///< receives the writer's notices; ends pending ones with the log
    LapLogWriter m_writer;        ///< last: its thread ends before the rest goes
};

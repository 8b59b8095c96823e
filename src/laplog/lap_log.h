#pragma once

#include "client/client_window.h"

#include <QFile>
#include <QObject>
#include <QString>

/// Keeps every lap of every timing run: each run from Start to Stop writes a CSV file of its
/// own into one folder, a row per lap report taken, flushed at once. It only watches the
/// window; a file that cannot be written is reported to the operator once per run and the
/// run goes on as if nothing had happened.
class LapLog {
public:
    /// A log writing into folder, which is created when missing.
    explicit LapLog(QString folder);

    /// The window's run observer: pass it as ClientServices::runObserver.
    void onRunEvent(const ClientWindow& window, RunEvent event);
    /// The file of the current (or last) run; empty before the first Start.
    QString currentFile() const { return m_path; }

private:
    void start(const ClientWindow& window);
    void lap(const ClientWindow& window);
    /// Opens the run's file for appending, starting it with the header when it is new.
    bool open();
    void write(const QByteArray& bytes, const ClientWindow& window);
    void tellOnce(const ClientWindow& window);

    QString m_folder;
    QString m_path;
    QFile m_file;
    bool m_running = false;
    bool m_told = false;   ///< the operator was told of a failure in this run
    QObject m_context;     ///< ends a pending notice with the log
};

#pragma once

#include <QString>

#include <atomic>
#include <functional>

/// Tells the journal of the first refused setting in each run: one line on standard error,
/// then nothing until the next run begins. The window shows nothing of it. Any thread may
/// report a refusal while another begins a run.
class RefusalNotice {
public:
    /// Takes one line, without its line end.
    using Writer = std::function<void(const QString& line)>;

    /// what says what was not done ("the clock was not set"); write defaults to standard error.
    explicit RefusalNotice(QString what, Writer write = {});

    /// A run begins: its first refusal is told again.
    void beginRun();
    /// A setting was refused for reason; told only if it is the first since the run began.
    void refused(const QString& reason);

    /// The default writer: the line and its end in one write.
    static void writeToStandardError(const QString& line);

private:
    const QString m_what;
    const Writer m_write;
    std::atomic<bool> m_told{false};
};

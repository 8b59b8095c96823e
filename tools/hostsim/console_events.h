#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

/// What reaches the simulator from its console, delivered on the thread that made this
/// object: a request to end the run (Ctrl+C, Ctrl+Break, the console being closed) and the bytes
/// typed on standard input. Each OS has its own way of catching them. One at a time in a process.
class ConsoleEvents : public QObject {
    Q_OBJECT
public:
    /// How long a closing console holds the process for the run's end to be written: Windows
    /// ends it once the handler returns, or after 5 seconds whatever the handler does.
    static constexpr int kEndWaitMs = 4000;

    ConsoleEvents();
    ~ConsoleEvents() override;

    /// Starts catching requests to end; false when the handlers could not be installed.
    bool watchEndRequests();
    /// Starts reading standard input, until its end (a closed pipe, an empty file).
    void readInput();
    /// The run's end (its summary) has been written: a request that holds the process until
    /// then lets it go. Callable from any thread.
    void endWritten();

Q_SIGNALS:
    /// The run is to end.
    void endRequested();
    /// Bytes read from standard input, as they came.
    void input(const QByteArray& bytes);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

/// What reaches the simulator from its console, delivered on the thread that made this
/// object: a request to end the run (Ctrl+C, a termination signal) and the bytes typed on
/// standard input. Each OS has its own way of catching them.
class ConsoleEvents : public QObject {
    Q_OBJECT
public:
    ConsoleEvents();
    ~ConsoleEvents() override;

    /// Starts catching requests to end; false when the handlers could not be installed.
    bool watchEndRequests();
    /// Starts reading standard input, until its end (a closed pipe, an empty file).
    void readInput();

Q_SIGNALS:
    /// The run is to end.
    void endRequested();
    /// Bytes read from standard input, as they came.
    void input(const QByteArray& bytes);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

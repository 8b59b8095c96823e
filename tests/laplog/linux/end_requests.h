#pragma once

#include <QList>

#include <csignal>
#include <functional>
#include <unistd.h>

/// A way the system asks this process to end, made by the test.
struct EndRequest {
    const char* name;
    bool savesAtOnce;           ///< the process is ended once the system has been answered
    std::function<bool()> ask;  ///< makes the request; false when it could not
};

/// Linux: a termination signal (logging off, shutting down) and a hang-up (its terminal
/// closed), sent to this process; the process may finish its work after either.
inline QList<EndRequest> endRequests()
{
    return {{"SIGTERM", false, [] { return ::kill(::getpid(), SIGTERM) == 0; }},
            {"SIGHUP", false, [] { return ::kill(::getpid(), SIGHUP) == 0; }}};
}

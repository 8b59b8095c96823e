#pragma once

#include <functional>
#include <memory>

/// Requests from outside to end the program: a termination signal or a hang-up on Linux
/// (SIGTERM, SIGHUP: logging off, shutting down, a closed terminal), the end of the user's
/// session on Windows (WM_QUERYENDSESSION, WM_ENDSESSION). Made on the window thread, whose
/// event loop delivers them. One at a time in a process.
class SessionEnd {
public:
    /// end is called on the window thread for each request and ends the program through its
    /// one exit path. Where the system ends the process as soon as it has been told (the end of
    /// a Windows session), saveNow is called right after end, before the system is answered: it
    /// writes what must not be lost, waiting a few seconds at most.
    SessionEnd(std::function<void()> end, std::function<void()> saveNow);
    /// Stops catching the requests: they act as before.
    ~SessionEnd();
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

    /// Whether the requests are caught; false when that could not be set up.
    bool watching() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

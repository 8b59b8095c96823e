#pragma once

#include <QList>

#include <functional>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/// A way the system asks this process to end, made by the test.
struct EndRequest {
    const char* name;
    bool savesAtOnce;           ///< the process is ended once the system has been answered
    std::function<bool()> ask;  ///< makes the request; false when it could not
};

/// Ends the session as Windows does for each top-level window of this thread: asks with
/// WM_QUERYENDSESSION and, when every window agreed, tells with WM_ENDSESSION; false when a
/// window refused or none was there.
inline bool endSession(LPARAM reason)
{
    std::vector<HWND> windows;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    bool agreed = !windows.empty();
    for (const HWND window : windows)
        agreed = SendMessageW(window, WM_QUERYENDSESSION, 0, reason) != 0 && agreed;
    for (const HWND window : windows)
        SendMessageW(window, WM_ENDSESSION, agreed, reason);
    return agreed;
}

/// Windows: logging off and shutting down, after which Windows ends the process as soon as it
/// has answered WM_ENDSESSION.
inline QList<EndRequest> endRequests()
{
    return {{"logging off", true, [] { return endSession(ENDSESSION_LOGOFF); }},
            {"shutting down", true, [] { return endSession(0); }}};
}

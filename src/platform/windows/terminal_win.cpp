#include "platform/terminal.h"

#include <QByteArray>

#include <cstdio>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

bool hasHandle(DWORD which)
{
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

} // namespace

void attachToTerminal()
{
    // Qt would show help and errors in a message box where it sees no console, and a command
    // run from a script would wait for someone to close it.
    qputenv("QT_COMMAND_LINE_PARSER_NO_GUI_MESSAGE_BOXES", QByteArrayLiteral("1"));
    // Output redirected to a file or a pipe already has its handles.
    if (hasHandle(STD_OUTPUT_HANDLE) && hasHandle(STD_ERROR_HANDLE))
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!hasHandle(STD_OUTPUT_HANDLE))
        std::freopen("CONOUT$", "w", stdout);
    if (!hasHandle(STD_ERROR_HANDLE))
        std::freopen("CONOUT$", "w", stderr);
}

#include "platform/terminal.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

/// Where a standard handle led before the console was borrowed.
enum class Led { Nowhere, Elsewhere, Character };

/// A file or a pipe is where the user sent the output (cmd's `> x.txt`, `| findstr`, a program
/// that captures us); a character device may be NUL or a console, told apart once attached.
Led ledTo(HANDLE h)
{
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return Led::Nowhere;
    switch (GetFileType(h)) {
    case FILE_TYPE_DISK:
    case FILE_TYPE_PIPE:
        return Led::Elsewhere;
    case FILE_TYPE_CHAR:
        return Led::Character;
    default:
        return Led::Nowhere;
    }
}

/// Whether output through h should stay where it was sent rather than go to the console.
bool keepsItsWay(HANDLE h, Led led)
{
    DWORD mode = 0;
    return led == Led::Elsewhere || (led == Led::Character && !GetConsoleMode(h, &mode));
}

/// The console handle behind stream, or nullptr when stream leads to a file, a pipe or nowhere.
HANDLE consoleOf(FILE* stream)
{
    const int fd = _fileno(stream);
    if (fd < 0)
        return nullptr;
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) ? h : nullptr;
}

} // namespace

void attachToTerminal()
{
    // Decided from the handles as they were before attaching: once AttachConsole succeeds
    // Windows fills every empty standard handle with the console's, yet the C runtime's streams
    // of a window program stay bound to nothing, so a handle seen afterwards says nothing about
    // where printf goes.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    const Led outLed = ledTo(out);
    const Led errLed = ledTo(err);
    if (outLed == Led::Elsewhere && errLed == Led::Elsewhere)
        return;
    // Refused as already attached when the console came with the process (some starters give a
    // window program its parent's console): the streams are bound all the same.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED)
        return;
    // Opened for reading too: GetConsoleMode, which tells writeToTerminal that it writes to a
    // console, needs read access on the handle.
    if (!keepsItsWay(out, outLed))
        std::freopen("CONOUT$", "r+", stdout);
    if (!keepsItsWay(err, errLed))
        std::freopen("CONOUT$", "r+", stderr);
}

void writeToTerminal(FILE* stream, const QString& text)
{
    std::fflush(stream);
    if (const HANDLE console = consoleOf(stream)) {
        // In pieces: older consoles refuse one large write. A piece never ends between the two
        // halves of a surrogate pair.
        constexpr qsizetype kPiece = 8192;
        const auto* data = reinterpret_cast<const wchar_t*>(text.utf16());
        qsizetype at = 0;
        while (at < text.size()) {
            qsizetype n = std::min(kPiece, text.size() - at);
            if (at + n < text.size() && text.at(at + n - 1).isHighSurrogate())
                --n;
            DWORD written = 0;
            if (!WriteConsoleW(console, data + at, static_cast<DWORD>(n), &written, nullptr) || written == 0)
                return;
            at += written;
        }
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

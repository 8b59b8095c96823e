#include "platform/durable_file.h"

#include <QDir>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <string>

namespace {

/// The Windows handle behind a file's C runtime descriptor, or INVALID_HANDLE_VALUE.
HANDLE osHandle(const QFileDevice& file)
{
    if (file.handle() < 0)
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
}

bool identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info)
{
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
}

} // namespace

namespace DurableFile {

Written append(QFileDevice& file, const QByteArray& bytes)
{
    const HANDLE handle = file.flush() ? osHandle(file) : INVALID_HANDLE_VALUE;
    // Qt moves to the end once, when it opens for appending; a cut since may have moved the end.
    LARGE_INTEGER none{};
    if (handle == INVALID_HANDLE_VALUE || !SetFilePointerEx(handle, none, nullptr, FILE_END))
        return Written::Failed;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, 1 << 20));
        if (!WriteFile(handle, data, chunk, &n, nullptr)) {
            const DWORD error = GetLastError();
            return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? Written::NoRoom : Written::Failed;
        }
        if (n == 0)
            return Written::Failed;
        data += n;
        left -= qsizetype(n);
    }
    return Written::All;
}

bool cutTo(QFileDevice& file, qint64 size)
{
    const HANDLE handle = osHandle(file);
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, at, nullptr, FILE_BEGIN)
        && SetEndOfFile(handle);
}

bool syncData(QFileDevice& file)
{
    if (!file.flush())
        return false;
    const HANDLE handle = osHandle(file);
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool syncFolder(const QString& folder)
{
    // Windows offers no flush of a folder to a program without administrator rights. A
    // journalled file system (NTFS, ReFS) writes a folder's names through its log, so a file
    // just created is found after a power cut; FAT32 and exFAT, the usual sticks, keep no log,
    // and nothing makes sure of their names.
    const std::wstring native = QDir::toNativeSeparators(folder).toStdWString();
    const HANDLE handle = CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // Asked of the folder's own handle: a folder may be a volume mounted into another one.
    wchar_t fileSystem[MAX_PATH + 1] = {};
    const bool known = GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                                     MAX_PATH + 1) != 0;
    CloseHandle(handle);
    const std::wstring name(fileSystem);
    return known && (name == L"NTFS" || name == L"ReFS");
}

bool isStillAt(const QFileDevice& file, const QString& path)
{
    BY_HANDLE_FILE_INFORMATION open{};
    if (!identity(osHandle(file), open) || open.nNumberOfLinks == 0)
        return false;
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE named = CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION atPath{};
    const bool same = identity(named, atPath) && atPath.dwVolumeSerialNumber == open.dwVolumeSerialNumber
        && atPath.nFileIndexHigh == open.nFileIndexHigh && atPath.nFileIndexLow == open.nFileIndexLow;
    CloseHandle(named);
    return same;
}

} // namespace DurableFile

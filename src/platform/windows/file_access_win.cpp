#include "platform/file_access.h"

#include <QDir>
#include <QFileInfo>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace FileAccess {

namespace {

const QString kNotAFile = QStringLiteral("通常のファイルではありません");

std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool onReadOnlyVolume(const std::wstring& dir)
{
    wchar_t volume[MAX_PATH + 1] = {};
    DWORD flags = 0;
    return GetVolumePathNameW(dir.c_str(), volume, MAX_PATH)
        && GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        && (flags & FILE_READ_ONLY_VOLUME);
}

// Whether this process's token may add a file to the folder, as its access list says.
bool tokenMayAddFile(const std::wstring& dir)
{
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION
        | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(dir.c_str(), what, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::vector<BYTE> descriptor(needed);
    if (!GetFileSecurityW(dir.c_str(), what, descriptor.data(), needed, &needed))
        return false;
    HANDLE token = nullptr;
    HANDLE impersonation = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return false;
    const bool duplicated = DuplicateToken(token, SecurityImpersonation, &impersonation);
    CloseHandle(token);
    if (!duplicated)
        return false;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD desired = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
    MapGenericMask(&desired, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    const BOOL asked = AccessCheck(descriptor.data(), impersonation, desired, &mapping, &privileges,
                                   &privilegesSize, &granted, &allowed);
    CloseHandle(impersonation);
    return asked && allowed;
}

} // namespace

ReadResult readRegularFile(const QString& path, QByteArray& bytes, QString* reason)
{
    if (!QFileInfo::exists(path))
        return ReadResult::Missing;
    // Any sharing is allowed, so that a file held open by an editor is still read. A device
    // name (CON, NUL, COM1) or a pipe opens as well: only a file on disk that is no folder is
    // read, never waited for. A file another program holds without sharing fails here.
    const HANDLE file = CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (reason)
            *reason = qt_error_string(int(GetLastError()));
        return ReadResult::Failed;
    }
    ReadResult result = ReadResult::Failed;
    QString why = kNotAFile;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info)
        && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && GetFileSizeEx(file, &size)
        && size.QuadPart < (qint64(1) << 30)) {
        QByteArray data(qsizetype(size.QuadPart), Qt::Uninitialized);
        qsizetype done = 0;
        DWORD read = 0;
        // Read until the end, whatever the size said: the file may have changed meanwhile.
        for (;;) {
            if (done == data.size())
                data.resize(done + 4096);
            if (!ReadFile(file, data.data() + done, DWORD(data.size() - done), &read, nullptr)) {
                why = qt_error_string(int(GetLastError()));
                break;
            }
            if (read == 0) {
                data.truncate(done);
                bytes = data;
                result = ReadResult::Ok;
                break;
            }
            done += read;
        }
    }
    CloseHandle(file);
    if (result == ReadResult::Failed && reason)
        *reason = why;
    return result;
}

bool folderCouldTakeFile(const QString& folder)
{
    // The read-only attribute of a folder does not stop adding files to it; its access list and
    // a read-only medium do.
    const QString existing = nearestExistingFolder(folder);
    if (existing.isEmpty())
        return false;
    const std::wstring dir = nativePath(existing);
    return !onReadOnlyVolume(dir) && tokenMayAddFile(dir);
}

} // namespace FileAccess

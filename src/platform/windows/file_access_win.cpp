#include "platform/file_access.h"

#include <QDir>
#include <QFileInfo>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace FileAccess {

namespace {

const QString kNotAFile = QStringLiteral("通常のファイルではありません");

std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
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
    // Only a file really created tells: the folder's read-only attribute does not stop adding
    // files, while its access list, a mandatory integrity label, a read-only medium or
    // Controlled folder access do, and none of them is fully seen by asking about permissions.
    // The probe leaves nothing behind: it is opened with delete-on-close, so the file goes when
    // its one handle closes, here or, should the process die in between, when the system closes
    // the handle for it; a create refused for any reason creates nothing. Only the folder's
    // modification time moves, as it does when any program puts a temporary file there.
    const QString existing = nearestExistingFolder(folder);
    if (existing.isEmpty())
        return false;
    static LONG counter = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = QStringLiteral(".rivect-probe-%1-%2-%3.tmp")
                                 .arg(GetCurrentProcessId())
                                 .arg(InterlockedIncrement(&counter))
                                 .arg(GetTickCount64());
        const HANDLE probe = CreateFileW(nativePath(QDir(existing).filePath(name)).c_str(), GENERIC_WRITE, 0,
                                         nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                         nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            return true;
        }
        // Another file of that name, ours or not: try another name; anything else is the answer.
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

} // namespace FileAccess

#include "platform/file_access.h"

#include <QDir>
#include <QFileInfo>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace FileAccess {

ReadResult readRegularFile(const QString& path, QByteArray& bytes)
{
    if (!QFileInfo::exists(path))
        return ReadResult::Missing;
    // Any sharing is allowed, so that a file held open by an editor is still read. A device
    // name (CON, NUL, COM1) or a pipe opens as well: only a file on disk that is no folder is
    // read, never waited for.
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return ReadResult::Failed;
    ReadResult result = ReadResult::Failed;
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
            if (!ReadFile(file, data.data() + done, DWORD(data.size() - done), &read, nullptr))
                break;
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
    return result;
}

} // namespace FileAccess

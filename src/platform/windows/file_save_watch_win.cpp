#include "platform/file_save_watch.h"

#include <QDir>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

FileSaveWatch::Stamp FileSaveWatch::stamp() const
{
    // Opened for its attributes only, sharing everything: the editor must never find it held.
    const std::wstring native = QDir::toNativeSeparators(m_path).toStdWString();
    const HANDLE file = CreateFileW(native.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    Stamp result;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info)) {
        // The file index names the file as an inode does: a file renamed over ours has another.
        result.inode = qint64((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
        result.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        const quint64 written = (quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
        // Kept in the file time's own 100 ns units: the stamp is only compared, and nanoseconds
        // since 1601 would not fit.
        result.changedNs = qint64(written);
    }
    CloseHandle(file);
    return result;
}

#pragma once

#include <QDir>
#include <QString>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

/// An existing file that cannot be read while the object lives: it is held open without any
/// sharing, as another program (a virus scanner, a sync client) holds a file for a moment.
class UnreadableFile {
public:
    /// Opens the file at path for reading, sharing nothing.
    explicit UnreadableFile(const QString& path)
    {
        const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
        m_handle = CreateFileW(native.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~UnreadableFile()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    /// False when the file could not be held.
    bool available() const { return m_handle != INVALID_HANDLE_VALUE; }
    /// The reason the OS gives for the failed read.
    static QString reason() { return qt_error_string(ERROR_SHARING_VIOLATION); }
    /// Nothing to open: the folders stay as they are.
    static bool openToAll(const QString&) { return true; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

#pragma once

#include <QString>
#include <cstdint>

/// Private-profile (INI) file access with the Windows semantics the client relies on,
/// the file being held in code page 932, or in UTF-8 when an editor saved it so.
namespace ProfileFile {

/// Reads the value of key in section of the file at path into buffer (at most size - 1
/// characters). Section and key match regardless of ASCII case; surrounding blanks and one
/// pair of surrounding quotes are removed. A missing file, section or key gives defaultValue,
/// and so does a file that cannot be read, whose reason then goes to readError when given.
/// Returns the number of characters copied into buffer.
int32_t GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, QString& buffer,
                                int32_t size, const QString& path, QString* readError = nullptr);

/// Writes value under key in section of the file at path, creating what is missing and
/// keeping every other line of the file byte for byte; what is added is in the file's own
/// encoding. The file is replaced atomically; one that cannot be read is left alone.
/// Returns nonzero on success and 0 on failure.
int32_t WritePrivateProfileString(const QString& section, const QString& key,
                                  const QString& value, const QString& path);

} // namespace ProfileFile

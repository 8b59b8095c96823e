#pragma once

#include <QString>
#include <cstdint>

/// Private-profile (INI) file access with the Windows semantics the client relies on,
/// the file being held in code page 932.
namespace ProfileFile {

/// Reads the value of key in section of the file at path into buffer (at most size - 1
/// characters). Section and key match regardless of ASCII case; surrounding blanks and one
/// pair of surrounding quotes are removed. A missing file, section or key gives defaultValue.
/// Returns the number of characters copied into buffer.
int32_t GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, QString& buffer,
                                int32_t size, const QString& path);

/// Writes value under key in section of the file at path, creating what is missing and
/// keeping every other line of the file byte for byte. The file is replaced atomically.
/// Returns nonzero on success and 0 on failure.
int32_t WritePrivateProfileString(const QString& section, const QString& key,
                                  const QString& value, const QString& path);

} // namespace ProfileFile

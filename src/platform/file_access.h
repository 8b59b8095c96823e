#pragma once

#include <QByteArray>
#include <QString>

/// Whole-file reading and writing for the program's own small files.
namespace FileAccess {

/// Outcome of a read.
enum class ReadResult { Ok, Missing, Failed };

/// Reads the whole file at path into bytes. Only a regular file is read, and it is opened
/// without blocking: a pipe or device in its place counts as Failed instead of holding the
/// window for ever.
ReadResult readRegularFile(const QString& path, QByteArray& bytes);

/// Replaces the file at path with bytes through a temporary file: on any failure (a folder
/// without write permission, a full disk) the old file stays whole and false is returned.
bool writeAtomically(const QString& path, const QByteArray& bytes);

} // namespace FileAccess

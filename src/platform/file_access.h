#pragma once

#include <QByteArray>
#include <QString>

/// Whole-file reading and writing for the program's own small files.
namespace FileAccess {

/// Outcome of a read.
enum class ReadResult { Ok, Missing, Failed };

/// Reads the whole file at path into bytes. Only a regular file is read, and it is opened
/// without blocking: a pipe or device in its place counts as Failed instead of holding the
/// window for ever. On Failed, reason (when given) says why, in the system's words.
ReadResult readRegularFile(const QString& path, QByteArray& bytes, QString* reason = nullptr);

/// Replaces the file at path with bytes through a temporary file: on any failure (a folder
/// without write permission, a full disk) the old file stays whole and false is returned.
/// A file in an installed program's folder is never written, whoever runs the program.
bool writeAtomically(const QString& path, const QByteArray& bytes);

/// The folder itself when it exists, else its nearest existing ancestor; empty when that is
/// not a folder (a file stands where a folder would have to be made).
QString nearestExistingFolder(const QString& folder);

/// Whether a file could be created in folder, or folder be made and a file created in it. Nothing
/// is left behind: Linux is asked, Windows is shown by a hidden temporary file that is gone when
/// the answer is.
bool folderCouldTakeFile(const QString& folder);

} // namespace FileAccess

#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

/// What it takes for a file the program appends to (the lap log) to survive a power cut or a
/// pulled medium. Each OS has its own: write, ftruncate, fdatasync and fstat on Linux;
/// WriteFile, SetEndOfFile, FlushFileBuffers and the file's identity on Windows.
namespace DurableFile {

/// How a write to a file ended.
enum class Written {
    All,      ///< every byte was handed to the system
    NoRoom,   ///< the medium is full (or the user's quota used up); part may have been written
    Failed,   ///< any other failure; part may have been written
};

/// Appends bytes at the end of file through its handle, with no buffer of Qt's in between, so a
/// failure is known at once and leaves nothing behind to be written later.
Written append(QFileDevice& file, const QByteArray& bytes);

/// Cuts the open file to size through its handle; unlike QFileDevice::resize it writes nothing
/// first, so it works on a full medium. The next append goes to the new end.
bool cutTo(QFileDevice& file, qint64 size);

/// Writes out what file buffers and waits until the medium holds its data; false when the
/// medium refused (gone, full, failing). May take long on a slow stick: never on the window thread.
bool syncData(QFileDevice& file);

/// Waits until the medium holds folder's list of names, so a file just created in it is found
/// after a power cut; false when it could not be made sure.
bool syncFolder(const QString& folder);

/// Whether the open file is still the one named path: false once it (or its folder) was removed
/// or replaced, or its medium was pulled.
bool isStillAt(const QFileDevice& file, const QString& path);

} // namespace DurableFile

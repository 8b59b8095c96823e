#pragma once

#include <QFileDevice>
#include <QString>

/// What it takes for a file the program appends to (the lap log) to survive a power cut or a
/// pulled medium. Each OS has its own: fdatasync and fstat on Linux, FlushFileBuffers and the
/// file's identity on Windows.
namespace DurableFile {

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

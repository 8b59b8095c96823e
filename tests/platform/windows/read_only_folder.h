#pragma once

#include <QByteArray>
#include <QString>

/// A folder in which nothing could be created afterwards. The Windows tests run under Wine as
/// the machine's root, whom no permission stops, so such a folder cannot be made there:
/// available() is false and the cases that need one skip.
class ReadOnlyFolder {
public:
    /// Leaves path as it is.
    ReadOnlyFolder(const QString&, const QString&, const QByteArray&) {}

    bool available() const { return false; }
};

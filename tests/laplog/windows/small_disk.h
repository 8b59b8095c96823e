#pragma once

#include <QString>

/// A disk of a few blocks that a test could fill. The Windows tests run under Wine as the
/// machine's root without a mount namespace of their own, and no small volume can be made
/// there: available() is false and the cases that need one skip.
class SmallDisk {
public:
    /// Leaves path as it is.
    explicit SmallDisk(const QString&) {}

    bool available() const { return false; }
    bool fill() { return false; }
};

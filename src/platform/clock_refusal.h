#pragma once

#include <QString>

/// Tells of the first refusal to set the PC's clock in this process: one line on stderr with
/// reason. Every later refusal is dropped without a word; the program goes on either way.
void reportClockRefusal(const QString& reason);

#pragma once

#include <QString>

/// The right to set the PC's clock (SeSystemtimePrivilege) in this process's access token.
namespace SystemTimeRight {

/// Whether the token holds the right at all, enabled or not. A standard user's does not.
bool held();

/// Enables the right for the process when the token holds it; false when it does not.
bool enable();

/// The system's text for a Windows error code, on one line.
QString errorText(unsigned long code);

} // namespace SystemTimeRight

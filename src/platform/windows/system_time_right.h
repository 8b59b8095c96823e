#pragma once

#include <QString>

/// The right to set the PC's clock (SeSystemtimePrivilege) in this process's access token.
namespace SystemTimeRight {

/// Whether the token holds the right at all, enabled or not. A standard user's does not.
bool held();

/// Whether the right is enabled in the token now.
bool enabled();

/// Enables the right for as long as it lives, where the token holds it, and leaves it as it
/// found it: the right is enabled only around the call that needs it, never for the whole run.
class Enabled {
public:
    Enabled();
    ~Enabled();
    Enabled(const Enabled&) = delete;
    Enabled& operator=(const Enabled&) = delete;

    /// Whether the right is enabled now; false when the token lacks it.
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
    bool m_wasEnabled = false;
};

/// The system's text for a Windows error code, on one line.
QString errorText(unsigned long code);

} // namespace SystemTimeRight

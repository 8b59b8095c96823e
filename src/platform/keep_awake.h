#pragma once

/// Keeps the system and the display awake while a run lasts: no idle sleep, no blanking. Neither
/// call waits for the OS; what the OS was asked is given back by release(), or by the OS itself
/// when the process ends.
class IKeepAwake {
public:
    virtual ~IKeepAwake() = default;
    /// Asks the OS to keep the PC awake until release(); a hold while held changes nothing.
    virtual void hold() = 0;
    /// Lets the PC sleep again, also when the OS has not answered the hold yet; harmless when
    /// nothing is held.
    virtual void release() = 0;
};

#include "pit/alert_chime.h"

AlertTone alertTone(AlertKind kind)
{
    // The warnings that leave time are soft, the limits urgent, the release of the car bright;
    // the pits' opening and closing go up and down; the watchdog's lap silence is low and the
    // unreachable host a buzz. A default, not a full switch: a kind added later is heard
    // at once, before it is given its own tone here.
    switch (kind) {
    case AlertKind::StintEnding:
        return AlertTone::Notice;
    case AlertKind::StintMax:
        return AlertTone::Urgent;
    case AlertKind::StopDone:
        return AlertTone::Go;
    case AlertKind::PitsOpen:
        return AlertTone::Rising;
    case AlertKind::PitsClosing:
        return AlertTone::Falling;
    case AlertKind::DriverMax:
        return AlertTone::Pair;
    case AlertKind::LapSilence:
        return AlertTone::Low;
    case AlertKind::HostUnreachable:
        return AlertTone::Buzz;
    default:
        return AlertTone::Notice;
    }
}

PitObserver::Chime alertChime(IAlertSound& sound)
{
    return [&sound](const StintAlert& alert) { sound.play(alertTone(alert.kind)); };
}

#pragma once

#include <QList>
#include <QString>

/// One line of the set-up checklist.
struct SetupItem {
    QString label;   ///< what must hold, as the checklist names it
    bool holds = false;
    QString found;   ///< what was found, when it does not hold
    QString remedy;  ///< the one command that mends it, when it does not hold
};

/// The items that only the OS can tell (the right to set the clock, time synchronisation,
/// priority limits). Asks without changing anything and without waiting for a person.
QList<SetupItem> probeOsSetup();

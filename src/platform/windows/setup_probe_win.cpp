#include "platform/setup_probe.h"

#include "platform/windows/system_time_right.h"

QList<SetupItem> probeOsSetup()
{
    // On Windows only the right to set the clock is the OS's business; Windows keeps no limits
    // on thread priority within the normal class, and its own time synchronisation does not
    // refuse a program that sets the clock.
    SetupItem clock;
    clock.label = QStringLiteral("the right to set the clock");
    clock.holds = SystemTimeRight::held();
    if (!clock.holds) {
        clock.found = QStringLiteral("this user's token lacks SeSystemtimePrivilege (\"Change the system time\")");
        // Administrators hold the right by default, but UAC strips it from their everyday token and
        // keeps it in the elevated one; secpol.msc, the way to give it to another user, is missing
        // from Home editions.
        clock.remedy = QStringLiteral("start Rivect as an administrator: right-click rivect.exe or its shortcut > "
                                      "\"Run as administrator\" (any edition, Home included); or, on Pro and "
                                      "above, secpol.msc > Local Policies > User Rights Assignment > Change the "
                                      "system time: add this user, then sign in again");
    }
    // SetThreadExecutionState needs no right: any user's run keeps the PC awake.
    const SetupItem awake{QStringLiteral("a run can keep this PC awake (SetThreadExecutionState)"), true, {}, {}};
    return {clock, awake};
}

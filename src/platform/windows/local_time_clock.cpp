#include "platform/windows/local_time_clock.h"

#include "platform/windows/system_time_right.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

bool setLocalTime(qint64 msecUtc, QString& reason)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecUtc, Qt::UTC).toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    SYSTEMTIME st{};
    st.wYear = WORD(date.year());
    st.wMonth = WORD(date.month());
    st.wDay = WORD(date.day());
    st.wHour = WORD(time.hour());
    st.wMinute = WORD(time.minute());
    st.wSecond = WORD(time.second());
    st.wMilliseconds = WORD(time.msec());
    if (!SetLocalTime(&st)) {
        const DWORD error = GetLastError();
        reason = error == ERROR_PRIVILEGE_NOT_HELD
            ? QStringLiteral("this user lacks the right to change the system time (SeSystemtimePrivilege)")
            : SystemTimeRight::errorText(error);
        return false;
    }
    // SetLocalTime converts with the daylight-saving rule in force before the change; a second
    // call converts with the rule of the new date, which differs only across a change of rule.
    SetLocalTime(&st);
    return true;
}

} // namespace

LocalTimeClock::LocalTimeClock() : WorkerClock(setLocalTime)
{
    SystemTimeRight::enable();
}

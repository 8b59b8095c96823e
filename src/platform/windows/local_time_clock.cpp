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

LocalTimeClock::LocalTimeClock() : m_worker(setLocalTime)
{
    SystemTimeRight::enable();
}

QDateTime LocalTimeClock::now() const
{
    // A setting on its way is taken as done, so that what a caller reads right after asking
    // (the date just set, say) is what the clock is about to show.
    const std::optional<qint64> pending = m_worker.pendingMsecUtc();
    return pending ? QDateTime::fromMSecsSinceEpoch(*pending) : QDateTime::currentDateTime();
}

bool LocalTimeClock::setDate(const QDate& date)
{
    if (!date.isValid())
        return false;
    return request(QDateTime(date, now().time()));
}

bool LocalTimeClock::setTime(const QDateTime& dateTime)
{
    return request(dateTime);
}

bool LocalTimeClock::request(const QDateTime& target)
{
    if (!target.isValid())
        return false;
    m_worker.post(target.toMSecsSinceEpoch());
    return true;
}

void LocalTimeClock::beginRun()
{
    m_worker.beginRun();
}

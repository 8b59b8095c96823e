#include "platform/windows/local_time_clock.h"

#include "platform/refusal_notice.h"
#include "platform/windows/system_time_right.h"

#include <QDateTime>

#include <string>

namespace LocalTimeSetting {

bool setUtc(qint64 msecUtc, QString& reason, const std::function<BOOL(const SYSTEMTIME*)>& set)
{
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(msecUtc, Qt::UTC);
    const QDate date = utc.date();
    const QTime time = utc.time();
    SYSTEMTIME st{};
    st.wYear = WORD(date.year());
    st.wMonth = WORD(date.month());
    st.wDay = WORD(date.day());
    st.wHour = WORD(time.hour());
    st.wMinute = WORD(time.minute());
    st.wSecond = WORD(time.second());
    st.wMilliseconds = WORD(time.msec());
    DWORD error = ERROR_SUCCESS;
    {
        const SystemTimeRight::Enabled right;
        if (!set(&st))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS)
        return true;
    reason = error == ERROR_PRIVILEGE_NOT_HELD
        ? QStringLiteral("this user lacks the right to change the system time (SeSystemtimePrivilege)")
        : SystemTimeRight::errorText(error);
    return false;
}

void tellRefusal(const QString& line)
{
    RefusalNotice::writeToStandardError(line);
    // No source of ours is registered (that takes an administrator); the event is still kept,
    // with the line as its text.
    const HANDLE source = RegisterEventSourceW(nullptr, L"Rivect");
    if (!source)
        return;
    const std::wstring text = line.toStdWString();
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

} // namespace LocalTimeSetting

LocalTimeClock::LocalTimeClock()
    : WorkerClock([](qint64 msecUtc, QString& reason) { return LocalTimeSetting::setUtc(msecUtc, reason); },
                  LocalTimeSetting::tellRefusal)
{
}

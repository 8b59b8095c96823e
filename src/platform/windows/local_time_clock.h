#pragma once

#include "platform/worker_clock.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>

/// The PC's clock, read locally and set with SetSystemTime on a worker thread, so that setting
/// never waits. Setting needs the right to change the system time; without it every request
/// is refused, the first refusal of each run is told on standard error and in the Application
/// event log, and the clock stays as it is.
class LocalTimeClock : public WorkerClock {
public:
    LocalTimeClock();
};

namespace LocalTimeSetting {

/// Sets the system time to msecUtc in one call of set (SetSystemTime: UTC, so the same instant
/// whatever daylight-saving rule the new date has), with the right to set the clock enabled
/// around that call only; false when refused, with reason telling why.
bool setUtc(qint64 msecUtc, QString& reason,
            const std::function<BOOL(const SYSTEMTIME*)>& set = [](const SYSTEMTIME* st) { return SetSystemTime(st); });

/// Writes a refusal's line to standard error and to the Application event log, where a program
/// started from the Start menu, which has no standard error, still leaves it.
void tellRefusal(const QString& line);

} // namespace LocalTimeSetting

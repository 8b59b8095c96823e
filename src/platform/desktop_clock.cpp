#include "platform/desktop_clock.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariant>

#include <time.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");

// Long enough for the service to be started on demand, short enough that a hung bus cannot
// freeze the window for long (the call blocks the window thread).
constexpr int kCallTimeoutMs = 2000;

enum class BusResult { Done, Refused, Unavailable };

BusResult setOverBus(qint64 usecUtc)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return BusResult::Unavailable;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("SetTime"));
    // Absolute time (relative = false), and never ask the user for authorisation.
    call << QVariant::fromValue(usecUtc) << false << false;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return BusResult::Done;
    const QDBusError::ErrorType error = QDBusError(reply).type();
    // Only a missing service falls through to the direct setting; a refusal by the service
    // (no permission, automatic time synchronisation on) is the system's answer and stands.
    if (error == QDBusError::ServiceUnknown || error == QDBusError::NoServer || error == QDBusError::Disconnected
        || error == QDBusError::UnknownObject || error == QDBusError::UnknownInterface
        || error == QDBusError::UnknownMethod)
        return BusResult::Unavailable;
    return BusResult::Refused;
}

bool setDirectly(qint64 msecUtc)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(msecUtc / 1000);
    ts.tv_nsec = static_cast<long>((msecUtc % 1000) * 1'000'000);
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1'000'000'000L;
    }
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

} // namespace

QDateTime DesktopClock::now() const
{
    return QDateTime::currentDateTime();
}

bool DesktopClock::setDate(const QDate& date)
{
    if (!date.isValid())
        return false;
    return setClock(QDateTime(date, QTime::currentTime()));
}

bool DesktopClock::setTime(const QDateTime& dateTime)
{
    return setClock(dateTime);
}

bool DesktopClock::setClock(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return false;
    const qint64 msecUtc = dateTime.toMSecsSinceEpoch();
    switch (setOverBus(msecUtc * 1000)) {
    case BusResult::Done:
        return true;
    case BusResult::Refused:
        return false;
    case BusResult::Unavailable:
        break;
    }
    return setDirectly(msecUtc);
}

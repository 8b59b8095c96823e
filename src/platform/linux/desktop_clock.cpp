#include "platform/linux/desktop_clock.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariant>

#include <optional>

#include <cerrno>
#include <time.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");

// Long enough for the service to be started on demand. Only the worker waits for it, but the
// program's end waits for the worker, so it stays short.
constexpr int kCallTimeoutMs = 2000;

enum class BusResult { Done, Refused, Unavailable };

/// How a call over the bus ended, and the bus's error when it did not succeed.
struct BusAnswer {
    BusResult result;
    QString why;
};

BusAnswer setOverBus(const QDBusConnection& bus, qint64 usecUtc)
{
    if (!bus.isConnected())
        return {BusResult::Unavailable, bus.lastError().message()};
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("SetTime"));
    // Absolute time (relative = false), and never ask the user for authorisation.
    call << QVariant::fromValue(usecUtc) << false << false;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return {BusResult::Done, {}};
    const QDBusError error(reply);
    const QString why = error.name() + QStringLiteral(": ") + error.message();
    // Only a missing service falls through to the direct setting; a refusal by the service
    // (no permission, automatic time synchronisation on) is the system's answer and stands,
    // and so does no answer at all.
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod: return {BusResult::Unavailable, why};
    default: return {BusResult::Refused, why};
    }
}

int setWithClockSettime(qint64 msecUtc)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(msecUtc / 1000);
    ts.tv_nsec = static_cast<long>((msecUtc % 1000) * 1'000'000);
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1'000'000'000L;
    }
    return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno;
}

QString connectionNameFor(const void* clock)
{
    return QStringLiteral("rivect-clock-%1").arg(quintptr(clock), 0, 16);
}

/// The setting as the worker thread carries it out: over the bus, connected there on first use
/// (connecting to a hung bus must not hold the window), else directly where the bus has no
/// time service.
class BusSetter {
public:
    BusSetter(QString busAddress, DesktopClock::DirectSetter setDirectly, QString connectionName)
        : m_busAddress(std::move(busAddress)), m_setDirectly(std::move(setDirectly)),
          m_connectionName(std::move(connectionName))
    {
    }

    bool operator()(qint64 msecUtc, QString& reason)
    {
        if (!m_bus)
            m_bus = m_busAddress.isEmpty() ? QDBusConnection::systemBus()
                                           : QDBusConnection::connectToBus(m_busAddress, m_connectionName);
        const BusAnswer answer = setOverBus(*m_bus, msecUtc * 1000);
        if (answer.result != BusResult::Unavailable) {
            reason = answer.why;
            return answer.result == BusResult::Done;
        }
        if (!m_setDirectly) {
            reason = QStringLiteral("no time service on the bus (%1)").arg(answer.why);
            return false;
        }
        const int error = m_setDirectly(msecUtc);
        reason = error == 0 ? QString() : QStringLiteral("clock_settime: ") + qt_error_string(error);
        return error == 0;
    }

private:
    QString m_busAddress;
    DesktopClock::DirectSetter m_setDirectly;
    QString m_connectionName;
    std::optional<QDBusConnection> m_bus;
};

} // namespace

DesktopClock::DesktopClock() : DesktopClock(Access{QString(), setWithClockSettime, {}}) {}

DesktopClock::DesktopClock(Access access)
    : WorkerClock(BusSetter(access.busAddress, std::move(access.setDirectly), connectionNameFor(this)),
                  std::move(access.journal), std::move(access.readMsecUtc)),
      m_busAddress(std::move(access.busAddress))
{
}

DesktopClock::~DesktopClock()
{
    // The worker's copy of the connection goes with the worker; then the private bus is closed.
    stopWorker();
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(connectionNameFor(this));
}

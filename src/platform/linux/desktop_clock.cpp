#include "platform/linux/desktop_clock.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QVariant>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

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

} // namespace

/// The thread that sets the clock, one request at a time. A request that comes while another
/// is being answered waits; a newer one replaces it, since each names the whole date and time.
class DesktopClock::Worker {
public:
    Worker(QString busAddress, DirectSetter setDirectly, RefusalNotice::Writer journal)
        : m_busAddress(std::move(busAddress)), m_setDirectly(std::move(setDirectly)),
          m_notice(QStringLiteral("the PC's clock was not set from the host"), std::move(journal)),
          m_thread([this] { run(); })
    {
    }
    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void post(qint64 msecUtc)
    {
        {
            std::lock_guard lock(m_mutex);
            m_next = Request{msecUtc, Clock::now()};
            m_newest = m_next;
        }
        m_changed.notify_all();
    }

    /// The time the newest request will leave on the clock, while one is unanswered.
    std::optional<qint64> pendingMsecUtc() const
    {
        std::lock_guard lock(m_mutex);
        if (!m_newest || m_lastRefused)
            return std::nullopt;
        // Counted from the request alone: the clock may already show an older request's
        // setting, and a shift measured against the clock would then count twice.
        return m_newest->msecUtc + sinceAsked(*m_newest);
    }

    bool waitUntilSettled(int ms) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_newest; });
    }

    bool lastRefused() const
    {
        std::lock_guard lock(m_mutex);
        return m_lastRefused;
    }

    void beginRun() { m_notice.beginRun(); }

private:
    using Clock = std::chrono::steady_clock;
    struct Request {
        qint64 msecUtc;
        Clock::time_point asked;
    };
    static qint64 sinceAsked(const Request& r)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - r.asked).count();
    }

    QDBusConnection connect() const
    {
        if (m_busAddress.isEmpty())
            return QDBusConnection::systemBus();
        return QDBusConnection::connectToBus(m_busAddress, connectionName());
    }
    QString connectionName() const
    {
        return QStringLiteral("rivect-clock-%1").arg(quintptr(this), 0, 16);
    }

    /// Sets the clock to target; empty when done, else why not.
    QString apply(const QDBusConnection& bus, qint64 target) const
    {
        const BusAnswer answer = setOverBus(bus, target * 1000);
        if (answer.result != BusResult::Unavailable)
            return answer.result == BusResult::Done ? QString() : answer.why;
        if (!m_setDirectly)
            return QStringLiteral("no time service on the bus (%1)").arg(answer.why);
        const int error = m_setDirectly(target);
        return error == 0 ? QString() : QStringLiteral("clock_settime: ") + qt_error_string(error);
    }

    void run()
    {
        // Connected on first use, here: connecting to a hung bus must not hold the window.
        std::optional<QDBusConnection> bus;
        for (;;) {
            Request request;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stop || m_next; });
                if (m_stop)
                    break;
                request = *m_next;
                m_next.reset();
            }
            if (!bus)
                bus = connect();
            // The time asked for is that much later now that its turn has come.
            const QString refusal = apply(*bus, request.msecUtc + sinceAsked(request));
            if (!refusal.isEmpty())
                m_notice.refused(refusal);
            {
                std::lock_guard lock(m_mutex);
                m_lastRefused = !refusal.isEmpty();
                if (!m_next)
                    m_newest.reset();
            }
            m_changed.notify_all();
        }
        bus.reset();
        if (!m_busAddress.isEmpty())
            QDBusConnection::disconnectFromBus(connectionName());
    }

    const QString m_busAddress;
    const DirectSetter m_setDirectly;
    RefusalNotice m_notice;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::optional<Request> m_next;    ///< waiting for its turn
    std::optional<Request> m_newest;  ///< the last asked for, until every request is answered
    bool m_lastRefused = false;
    bool m_stop = false;
    std::thread m_thread;  // last: it starts with every other member in place
};

DesktopClock::DesktopClock() : DesktopClock(Access{QString(), setWithClockSettime, {}}) {}

DesktopClock::DesktopClock(Access access)
    : m_readMsecUtc(access.readMsecUtc ? std::move(access.readMsecUtc) : &QDateTime::currentMSecsSinceEpoch),
      m_worker(std::make_unique<Worker>(std::move(access.busAddress), std::move(access.setDirectly),
                                        std::move(access.journal)))
{
}

DesktopClock::~DesktopClock() = default;

QDateTime DesktopClock::now() const
{
    // A setting on its way is taken as done, so that what a caller reads right after asking
    // (the date just set, say) is what the clock is about to show.
    const std::optional<qint64> pending = m_worker->pendingMsecUtc();
    return QDateTime::fromMSecsSinceEpoch(pending ? *pending : m_readMsecUtc());
}

bool DesktopClock::setDate(const QDate& date)
{
    if (!date.isValid())
        return false;
    return request(QDateTime(date, now().time()));
}

bool DesktopClock::setTime(const QDateTime& dateTime)
{
    return request(dateTime);
}

bool DesktopClock::request(const QDateTime& target)
{
    if (!target.isValid())
        return false;
    m_worker->post(target.toMSecsSinceEpoch());
    return true;
}

void DesktopClock::beginRun()
{
    m_worker->beginRun();
}

bool DesktopClock::waitUntilSettled(int ms) const
{
    return m_worker->waitUntilSettled(ms);
}

bool DesktopClock::lastRefused() const
{
    return m_worker->lastRefused();
}

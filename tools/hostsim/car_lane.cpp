#include "car_lane.h"

#include "address_guard.h"
#include "client/datagram.h"
#include "platform/cp932.h"

#include <QDateTime>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <algorithm>

namespace {
constexpr int kRepeatIntervalMs = 100;
}

CarLane::CarLane(int car, const SimOptions& options, Reporter& reporter, QRandomGenerator& random,
                 QObject* parent)
    : QObject(parent), m_car(car), m_options(options), m_reporter(reporter), m_random(random),
      m_texts(options.texts)
{
    m_lapTimer.setSingleShot(true);
    m_lapTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lapTimer, &QTimer::timeout, this, [this] { completeLap(m_nextLapMs); });
    m_repeatTimer.setInterval(kRepeatIntervalMs);
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, [this] {
        sendBytes(m_repeatBytes);
        if (--m_repeatsLeft <= 0)
            m_repeatTimer.stop();
    });
    connect(&m_socket, &QUdpSocket::readyRead, this, &CarLane::readPending);
}

bool CarLane::start(QString* error)
{
    const quint16 port = Datagram::hostPort(m_car);
    if (!AddressGuard::permits(m_options.bindAddress, m_options.allowLan)) {
        *error = QStringLiteral("refused to bind %1").arg(m_options.bindAddress.toString());
        return false;
    }
    if (!m_socket.bind(m_options.bindAddress, port, QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(m_options.bindAddress.toString()).arg(port).arg(m_socket.errorString());
        return false;
    }
    m_clock.start();
    m_sinceLap.start();
    if (m_options.runMinutes > 0)
        m_runEnd = QDateTime::currentDateTime().addSecs(qint64(m_options.runMinutes) * 60);
    scheduleNextLap();
    return true;
}

void CarLane::scheduleNextLap()
{
    if (m_options.lapMs <= 0)
        return;
    const int spread = m_options.spreadMs;
    m_nextLapMs = m_options.lapMs + (spread > 0 ? m_random.bounded(-spread, spread + 1) : 0);
    m_lapTimer.start(m_nextLapMs);
}

void CarLane::completeLap(int lapMs)
{
    const qint64 measured = m_sinceLap.restart();
    m_book.addLap(lapMs > 0 ? lapMs : int(std::clamp<qint64>(measured, 1, 3599999)));
    sendReport(false);
    // A lap on command starts the next periodic lap afresh, so laps never come closer than --lap.
    scheduleNextLap();
}

void CarLane::sendCReport()
{
    sendReport(true);
}

QString CarLane::currentText() const
{
    if (m_texts.isEmpty())
        return QString();
    const qint64 lap = m_book.lapsCompleted();
    return m_texts.at(int((lap > 0 ? lap - 1 : 0) % m_texts.size()));
}

QString CarLane::reportText(bool forced) const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime clock = QTime(now.time().hour(), now.time().minute(), now.time().second());
    // Without a run length the end time equals the clock time, which tells the client that
    // there is no end time to count down to.
    QTime end = clock;
    if (m_runEnd.isValid()) {
        const QTime runEnd = m_runEnd.time();
        end = QTime(runEnd.hour(), runEnd.minute(), runEnd.second());
    }
    return Datagram::lapReportText(forced, m_book.reportedLapNo(), m_book.lastLap(), m_book.bestLap(),
                                   m_book.aveLap(), now.date(), clock, end, currentText());
}

void CarLane::sendReport(bool forced)
{
    const QString text = reportText(forced);
    // Only the first copy of a "C" report carries the mark: the repeats must not make the client
    // take the same lap again and again.
    m_repeatBytes = Cp932::encode(forced ? reportText(false) : text);
    m_repeatsLeft = m_options.repeat - 1;
    m_repeatTimer.stop();
    sendBytes(Cp932::encode(text));
    if (m_repeatsLeft > 0)
        m_repeatTimer.start();

    const Datagram::LapReportFields f = Datagram::splitLapReport(text);
    m_reporter.event(QStringLiteral("lap"), m_car,
                     {{QStringLiteral("kind"), forced ? QStringLiteral("C") : QStringLiteral(" ")},
                      {QStringLiteral("lap"), m_book.reportedLapNo()},
                      {QStringLiteral("last_ms"), m_book.lastLap()},
                      {QStringLiteral("best_ms"), m_book.bestLap()},
                      {QStringLiteral("ave_ms"), m_book.aveLap()},
                      {QStringLiteral("date"), f.date},
                      {QStringLiteral("clock"), f.clock},
                      {QStringLiteral("end"), f.endTime},
                      {QStringLiteral("text"), f.hostText},
                      {QStringLiteral("copies"), m_options.repeat},
                      {QStringLiteral("report"), text}},
                     QStringLiteral("%1lap report %2: last %3 ms, best %4 ms, average %5 ms, %6 %7 end %8%9 (x%10)")
                         .arg(forced ? QStringLiteral("\"C\" ") : QString())
                         .arg(m_book.reportedLapNo(), 3, 10, QChar(u'0'))
                         .arg(m_book.lastLap()).arg(m_book.bestLap()).arg(m_book.aveLap())
                         .arg(f.date, f.clock, f.endTime)
                         .arg(f.hostText.isEmpty() ? QString() : QStringLiteral(" text \"%1\"").arg(f.hostText))
                         .arg(m_options.repeat));
}

void CarLane::sendBytes(const QByteArray& bytes)
{
    QString error;
    if (!AddressGuard::send(m_socket, bytes, m_options.clientAddress, Datagram::clientPort(m_car),
                            m_options.allowLan, &error))
        m_reporter.event(QStringLiteral("error"), m_car, {{QStringLiteral("message"), error}}, error);
}

QJsonObject CarLane::statusFields()
{
    const qint64 now = m_clock.elapsed();
    return {{QStringLiteral("lap"), m_stats.lapNo()},
            {QStringLiteral("message"), m_stats.message()},
            {QStringLiteral("rate"), m_stats.rate(now)},
            {QStringLiteral("gap_ms"), qint64(m_stats.largestGapMs())},
            {QStringLiteral("silence_ms"), qint64(m_stats.silenceMs(now))},
            {QStringLiteral("count"), qint64(m_stats.count())},
            {QStringLiteral("sent_lap"), m_book.reportedLapNo()}};
}

void CarLane::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QString text = Cp932::decode(datagram.data());
        if (!m_stats.record(text, m_clock.elapsed()))
            continue;
        QJsonObject fields = statusFields();
        fields.insert(QStringLiteral("text"), text);
        m_reporter.event(QStringLiteral("status"), m_car, fields,
                         QStringLiteral("status \"%1\": lap %2, message \"%3\", %4/s, largest gap %5 ms")
                             .arg(text).arg(m_stats.lapNo()).arg(m_stats.message())
                             .arg(m_stats.rate(m_clock.elapsed())).arg(m_stats.largestGapMs()));
    }
}

void CarLane::reportPeriodic()
{
    const QJsonObject f = statusFields();
    const QString sent = QStringLiteral("%1").arg(m_book.reportedLapNo(), 3, 10, QChar(u'0'));
    if (m_stats.count() == 0) {
        m_reporter.periodic(m_car, f, QStringLiteral("no status datagram yet (lap sent %1)").arg(sent));
        return;
    }
    const qint64 silence = f.value(QStringLiteral("silence_ms")).toInteger();
    m_reporter.periodic(m_car, f,
                        QStringLiteral("lap %1 (sent %2)  %3/s  largest gap %4 ms%5  message \"%6\"")
                            .arg(m_stats.lapNo() < 0 ? QStringLiteral("???")
                                                     : QStringLiteral("%1").arg(m_stats.lapNo(), 3, 10, QChar(u'0')))
                            .arg(sent).arg(m_stats.rate(m_clock.elapsed())).arg(m_stats.largestGapMs())
                            .arg(silence > 1000 ? QStringLiteral("  silent for %1 s").arg(silence / 1000.0, 0, 'f', 1)
                                                : QString())
                            .arg(m_stats.message()));
}

#include "car_lane.h"

#include "address_guard.h"
#include "lap_plan.h"

#include <QDateTime>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <algorithm>

namespace {
constexpr int kRepeatIntervalMs = 100;
}

CarLane::CarLane(int car, const SimOptions& options, Reporter& reporter, Judge& judge,
                 QRandomGenerator& random, QObject* parent)
    : QObject(parent), m_car(car), m_options(options), m_reporter(reporter), m_judge(judge), m_random(random),
      m_texts(options.texts)
{
    m_lapTimer.setSingleShot(true);
    m_lapTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lapTimer, &QTimer::timeout, this, [this] { finishLap(m_nextLapMs, m_nextStopS); });
    m_repeatTimer.setInterval(kRepeatIntervalMs);
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, [this] {
        sendBytes(m_repeatBytes);
        if (--m_repeatsLeft <= 0)
            m_repeatTimer.stop();
    });
    connect(&m_socket, &QUdpSocket::readyRead, this, &CarLane::readPending);
    m_arrivalClock.start();
}

bool CarLane::start(QString* error)
{
    const quint16 port = SimProtocol::carHostPort(m_car);
    if (!AddressGuard::permits(m_options.bindAddress, m_options.allowLan)) {
        *error = QStringLiteral("refused to bind %1").arg(m_options.bindAddress.toString());
        return false;
    }
    if (!m_socket.bind(m_options.bindAddress, port, QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(m_options.bindAddress.toString()).arg(port).arg(m_socket.errorString());
        return false;
    }
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
    const int64_t lapNo = m_book.lapsCompleted() + 1;
    m_nextLapMs = plannedLapMs(m_options, lapNo, m_random);
    m_nextStopS = isPitLap(m_options, lapNo) ? m_options.pitS : 0;
    m_lapTimer.start(m_nextLapMs);
}

void CarLane::completeLap(int lapMs)
{
    // Only the periodic laps stop in the pits: a lap on command keeps the time it was given.
    finishLap(lapMs, 0);
}

void CarLane::finishLap(int lapMs, int stopS)
{
    const qint64 measured = m_sinceLap.restart();
    m_book.addLap(lapMs > 0 ? lapMs : int(std::clamp<qint64>(measured, 1, 3599999)));
    sendReport(false, stopS);
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

SimProtocol::LapReport CarLane::report(bool forced) const
{
    const QDateTime now = QDateTime::currentDateTime();
    SimProtocol::LapReport r;
    r.forced = forced;
    r.lapNo = m_book.reportedLapNo();
    r.lastMs = m_book.lastLap();
    r.bestMs = m_book.bestLap();
    r.aveMs = m_book.aveLap();
    r.date = now.date();
    r.clock = QTime(now.time().hour(), now.time().minute(), now.time().second());
    // Without a run length the end time equals the clock time, which tells the client that
    // there is no end time to count down to.
    r.end = r.clock;
    if (m_runEnd.isValid()) {
        const QTime runEnd = m_runEnd.time();
        r.end = QTime(runEnd.hour(), runEnd.minute(), runEnd.second());
    }
    r.text = currentText();
    return r;
}

void CarLane::sendReport(bool forced, int stopS)
{
    SimProtocol::LapReport r = report(forced);
    const QString text = r.toText();
    const QByteArray bytes = r.encode();
    // Only the first copy of a "C" report carries the mark: the repeats must not make the client
    // take the same lap again and again.
    r.forced = false;
    m_repeatBytes = r.encode();
    m_repeatsLeft = m_options.repeat - 1;
    m_repeatTimer.stop();
    sendBytes(bytes);
    m_check.lapReportSent(m_judge.clock().nowMs(), r.lapNo);
    if (m_repeatsLeft > 0)
        m_repeatTimer.start();

    QJsonObject fields{{QStringLiteral("kind"), forced ? QStringLiteral("C") : QStringLiteral(" ")},
                       {QStringLiteral("lap"), r.lapNo},
                       {QStringLiteral("last_ms"), r.lastMs},
                       {QStringLiteral("best_ms"), r.bestMs},
                       {QStringLiteral("ave_ms"), r.aveMs},
                       {QStringLiteral("date"), r.dateText()},
                       {QStringLiteral("clock"), r.clockText()},
                       {QStringLiteral("end"), r.endText()},
                       {QStringLiteral("text"), r.text},
                       {QStringLiteral("copies"), m_options.repeat},
                       {QStringLiteral("report"), text}};
    if (stopS > 0)
        fields.insert(QStringLiteral("pit_s"), stopS);
    m_reporter.event(QStringLiteral("lap"), m_car, fields,
                     QStringLiteral("%1lap report %2: last %3 ms, best %4 ms, average %5 ms, %6 %7 end %8%9 (x%10)")
                         .arg(forced ? QStringLiteral("\"C\" ") : QString())
                         .arg(r.lapNo, 3, 10, QChar(u'0'))
                         .arg(r.lastMs).arg(r.bestMs).arg(r.aveMs)
                         .arg(r.dateText(), r.clockText(), r.endText())
                         .arg(r.text.isEmpty() ? QString() : QStringLiteral(" text \"%1\"").arg(r.text))
                         .arg(m_options.repeat)
                         + (stopS > 0 ? QStringLiteral(", pit stop of %1 s").arg(stopS) : QString()));
}

void CarLane::sendBytes(const QByteArray& bytes)
{
    QString error;
    if (!AddressGuard::send(m_socket, bytes, m_options.clientAddress, SimProtocol::carClientPort(m_car),
                            m_options.allowLan, &error))
        m_reporter.event(QStringLiteral("error"), m_car, {{QStringLiteral("message"), error}}, error);
}

QJsonObject CarLane::statusFields()
{
    const qint64 now = m_judge.clock().nowMs();
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
        const QByteArray bytes = datagram.data();
        const SimProtocol::StatusReading status = SimProtocol::readStatus(bytes);
        QList<Finding> findings;
        const quint16 expectedPort = SimProtocol::carClientPort(m_car);
        if (datagram.senderPort() != expectedPort)
            findings.append({Rule::StatusPort, QStringLiteral("sent from port %1, not %2")
                                                   .arg(datagram.senderPort()).arg(expectedPort)});
        if (status.lapNo < 0)
            findings.append({Rule::StatusHead, QStringLiteral("head \"%1\" is not a three-digit lap number")
                                                   .arg(status.text.left(3))});
        if (!status.validCp932)
            findings.append({Rule::StatusCp932, QStringLiteral("bytes that are no code page 932 character")});
        const int64_t now = m_judge.clock().nowMs();
        m_intervals.record(m_arrivalClock.nsecsElapsed() / 1000);
        const bool changed = m_stats.record(status.text, now);
        m_check.status(now, status.lapNo, m_stats.rate(now), &findings);
        m_judge.datagramChecked();
        for (const Finding& f : findings)
            m_judge.judge(f, m_car, bytes);
        if (!changed)
            continue;
        QJsonObject fields = statusFields();
        fields.insert(QStringLiteral("text"), status.text);
        m_reporter.event(QStringLiteral("status"), m_car, fields,
                         QStringLiteral("status \"%1\": lap %2, message \"%3\", %4/s, largest gap %5 ms")
                             .arg(status.text).arg(m_stats.lapNo()).arg(m_stats.message())
                             .arg(m_stats.rate(now)).arg(m_stats.largestGapMs()));
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
                            .arg(sent).arg(m_stats.rate(m_judge.clock().nowMs())).arg(m_stats.largestGapMs())
                            .arg(silence > 1000 ? QStringLiteral("  silent for %1 s").arg(silence / 1000.0, 0, 'f', 1)
                                                : QString())
                            .arg(m_stats.message()));
}

void CarLane::reportIntervals()
{
    const IntervalLog::Spread s = m_intervals.take();
    m_reporter.event(QStringLiteral("intervals"), m_car,
                     {{QStringLiteral("count"), qint64(s.count)},
                      {QStringLiteral("min_ms"), s.minMs},
                      {QStringLiteral("median_ms"), s.medianMs},
                      {QStringLiteral("p90_ms"), s.p90Ms},
                      {QStringLiteral("p99_ms"), s.p99Ms},
                      {QStringLiteral("max_ms"), s.maxMs},
                      {QStringLiteral("over_150ms"), qint64(s.over150)}},
                     QStringLiteral("%1 status intervals: min %2 / median %3 / p90 %4 / p99 %5 / max %6 ms, %7 over 150 ms")
                         .arg(s.count).arg(s.minMs, 0, 'f', 2).arg(s.medianMs, 0, 'f', 2).arg(s.p90Ms, 0, 'f', 2)
                         .arg(s.p99Ms, 0, 'f', 2).arg(s.maxMs, 0, 'f', 2).arg(s.over150));
}

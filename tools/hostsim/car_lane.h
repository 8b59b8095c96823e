#pragma once

#include "interval_log.h"
#include "judge.h"
#include "lap_book.h"
#include "reporter.h"
#include "sim_protocol.h"
#include "sim_options.h"
#include "status_stats.h"
#include "stream_check.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>

/// Everything the host does for one car: it times the laps, sends each lap report with its
/// repeats to the car's client port, and listens to the client's status datagrams, checking each.
class CarLane : public QObject {
    Q_OBJECT
public:
    /// The lane of car (1..5), with the settings of options; random draws the lap spread and
    /// judge takes what the checks of the status datagrams find.
    CarLane(int car, const SimOptions& options, Reporter& reporter, Judge& judge, QRandomGenerator& random,
            QObject* parent = nullptr);

    /// Binds the car's host port and starts the periodic laps; false with error if it cannot bind.
    bool start(QString* error);

    /// The car completes a lap of lapMs milliseconds (0: the time since its previous lap).
    void completeLap(int lapMs);
    /// Sends the current report again with kind "C"; its repeats go out as normal reports.
    void sendCReport();
    /// Host texts of the following reports, one per lap in turn.
    void setTexts(const QStringList& texts) { m_texts = texts; }
    /// A datagram not composed by the lane went to the car's client port.
    void rawSent() { m_check.forgetEcho(); }
    /// Writes the once-a-second summary of what the client has sent.
    void reportPeriodic();
    /// Writes how the intervals between status datagrams were spread since the last such report,
    /// and starts the next window.
    void reportIntervals();

    /// The car's lap book.
    const LapBook& book() const { return m_book; }
    /// The car's number.
    int car() const { return m_car; }

private:
    QString currentText() const;
    SimProtocol::LapReport report(bool forced) const;
    void finishLap(int lapMs, int stopS);
    void sendReport(bool forced, int stopS = 0);
    void sendBytes(const QByteArray& bytes);
    void scheduleNextLap();
    void readPending();
    QJsonObject statusFields();

    const int m_car;
    const SimOptions& m_options;
    Reporter& m_reporter;
    Judge& m_judge;
    QRandomGenerator& m_random;
    QStringList m_texts;
    LapBook m_book;
    QUdpSocket m_socket;
    QTimer m_lapTimer;
    QTimer m_repeatTimer;
    QElapsedTimer m_sinceLap;
    QDateTime m_runEnd;
    int m_nextLapMs = 0;
    int m_nextStopS = 0;
    QByteArray m_repeatBytes;
    int m_repeatsLeft = 0;
    StatusStats m_stats;
    StreamCheck m_check;
    IntervalLog m_intervals;
    QElapsedTimer m_arrivalClock;
};

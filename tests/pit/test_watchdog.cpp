// The watchdog beside a client window with fake sockets: the lap silence against the run's
// average lap and its three-minute floor, the host's refusals of the status datagrams, each told
// once and cleared by the next lap report.
#include "pit_rig.h"

#include <QTest>

namespace {

QString kindName(AlertKind kind)
{
    switch (kind) {
    case AlertKind::LapSilence:
        return QStringLiteral("silence");
    case AlertKind::HostUnreachable:
        return QStringLiteral("refused");
    default:
        return QStringLiteral("stint");
    }
}

// Plays "start; stop; at MS; lap N MS; send-refused; take-refused; poll; shown" on rig. A lap report
// comes MS after the one before, with MS as the host's lap time; a refusal is told to the status
// send or to the take of an arriving datagram. What each poll tells goes to the result as
// "kind@due", what the panel would show as "shown:kind" (or "shown:-").
QStringList play(PitRig& rig, const QString& script)
{
    QStringList result;
    QList<StintAlert> told;
    const QMetaObject::Connection listening = QObject::connect(
        rig.pit.get(), &PitObserver::alerted, [&told](const QList<StintAlert>& a) { told += a; });
    for (const QString& command : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = command.split(u' ', Qt::SkipEmptyParts);
        if (f[0] == QStringLiteral("start")) {
            rig.start();
        } else if (f[0] == QStringLiteral("stop")) {
            rig.stop();
        } else if (f[0] == QStringLiteral("at")) {
            rig.steadyMs = f[1].toLongLong();
        } else if (f[0] == QStringLiteral("lap")) {
            rig.lap(f[1].toInt(), f[2].toInt());
        } else if (f[0] == QStringLiteral("send-refused")) {
            rig.sock.sendErrors = {SocketError::ConnectionReset};
            rig.w->Time_SendData_Timer();
        } else if (f[0] == QStringLiteral("take-refused")) {
            rig.sock.takeErrors = {SocketError::ConnectionReset};
            rig.sock.deliver(QStringLiteral("x"));
        } else if (f[0] == QStringLiteral("poll")) {
            told.clear();
            rig.pit->collectAlerts();
            for (const StintAlert& a : std::as_const(told))
                result.append(QStringLiteral("%1@%2").arg(kindName(a.kind)).arg(a.dueMs));
        } else if (f[0] == QStringLiteral("shown")) {
            const std::optional<StintAlert> latest = rig.pit->latestAlert();
            result.append(QStringLiteral("shown:") + (latest ? kindName(latest->kind) : QStringLiteral("-")));
        } else {
            qFatal("unknown step %s", qPrintable(command));
        }
    }
    QObject::disconnect(listening);
    return result;
}

} // namespace

class TestWatchdog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void alertsOfTheRun_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("told");
        // Lap silence.
        QTest::newRow("three minutes before the first lap, told once")
            << "start; at 179999; poll; at 180000; poll; at 900000; poll; shown" << "silence@180000 shown:silence";
        QTest::newRow("three average laps when longer than three minutes")
            << "start; lap 1 100000; lap 2 80000; lap 3 120000; at 599999; poll; at 600000; poll"
            << "silence@600000";
        QTest::newRow("three minutes when three average laps are shorter")
            << "start; lap 1 30000; lap 2 50000; at 259999; poll; at 260000; poll" << "silence@260000";
        QTest::newRow("a report clears the silence and the next one is told again")
            << "start; at 200000; poll; lap 1 10000; shown; at 389999; poll; at 390000; poll; shown"
            << "silence@180000 shown:- silence@390000 shown:silence";
        // Refusals.
        QTest::newRow("three seconds of refusals, from the send or the take, told once")
            << "start; at 1000; send-refused; at 2000; take-refused; at 3000; send-refused; at 3999; send-refused; "
               "poll; at 4000; take-refused; poll; at 5000; send-refused; poll; shown"
            << "refused@4000 shown:refused";
        QTest::newRow("a single refusal, or refusals far apart, are not")
            << "start; at 1000; send-refused; at 3500; send-refused; at 5501; send-refused; at 7502; "
               "send-refused; at 9503; send-refused; at 60000; poll"
            << "";
        QTest::newRow("a report among the refusals counts them again, and clears the alert")
            << "start; at 1000; send-refused; at 2000; send-refused; lap 1 1000; send-refused; at 5000; "
               "send-refused; at 5999; send-refused; poll; at 6000; send-refused; poll; shown; lap 2 1000; shown"
            << "refused@6000 shown:refused shown:-";
        QTest::newRow("stopped: nothing is watched")
            << "start; at 1000; send-refused; stop; at 2000; send-refused; at 5000; send-refused; at 900000; poll"
            << "";
    }
    void alertsOfTheRun()
    {
        QFETCH(QString, script);
        QFETCH(QString, told);
        PitRig rig;
        QList<StintAlert> chimed;
        rig.pit->setChime([&chimed](const StintAlert& a) { chimed.append(a); });
        QCOMPARE(play(rig, script).join(u' '), told);
        // The sound comes with each alert told, once.
        QCOMPARE(chimed.size(), int(told.count(u'@')));
    }
};

QTEST_GUILESS_MAIN(TestWatchdog)
#include "test_watchdog.moc"

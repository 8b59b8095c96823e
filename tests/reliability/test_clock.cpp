// Setting the PC's clock from lap reports never holds the window. The time service is a peer on
// a D-Bus daemon of the test's own that never answers, and the direct setting a recording
// stand-in: nothing here can touch this machine's clock, inside the test sandbox or outside it.
#include "loopback_peer.h"

#include "platform/cp932.h"
#include "platform/linux/desktop_clock.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QProcess>
#include <QTest>

#include <algorithm>

using namespace live;

/// Owns the time service's name on a bus and takes every SetTime without ever answering.
class SilentTimeService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
public:
    QList<QDateTime> asked;  ///< the local date and time of each SetTime taken, oldest first
public Q_SLOTS:
    void SetTime(qlonglong usecUtc, bool, bool)
    {
        asked.append(QDateTime::fromMSecsSinceEpoch(usecUtc / 1000));
        setDelayedReply(true);  // and the reply never comes
    }
};

class ClockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void silentServiceNeverHoldsTheWindow();
};

void ClockTest::silentServiceNeverHoldsTheWindow()
{
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("<busconfig><type>session</type><listen>unix:dir=" + dir.path().toUtf8()
                 + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {"--nofork", "--print-address=1", "--config-file=" + config.fileName()});
    QVERIFY(daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    SilentTimeService service;
    QDBusConnection peer = QDBusConnection::connectToBus(address, QStringLiteral("peer"));
    QVERIFY(peer.registerObject(QStringLiteral("/org/freedesktop/timedate1"), &service, QDBusConnection::ExportAllSlots));
    QVERIFY(peer.registerService(QStringLiteral("org.freedesktop.timedate1")));

    QList<qint64> direct;  // these two only ever touched on the clock's thread before it is joined
    QStringList journal;
    {
        DesktopClock clock({address, [&direct](qint64 msecUtc) { direct.append(msecUtc); return 0; }, {},
                            [&journal](const QString& line) { journal.append(line); }});
        LiveWindow lw(nullptr, &clock);
        HostPeer host(7012);
        QVERIFY(host.ok());
        RawSocket sender;
        std::vector<qint64> handlingUs;
        std::vector<std::pair<qint64, qint64>> handled;  // nowMs() before and after each report
        QDate firstEndDate;
        const std::function<void()> handler = lw.winsock1.dataArrival;
        lw.winsock1.dataArrival = [&] {
            QElapsedTimer t;
            t.start();
            const qint64 began = nowMs();
            handler();
            handlingUs.push_back(t.nsecsElapsed() / 1000);
            handled.push_back({began, nowMs()});
            if (!firstEndDate.isValid())
                firstEndDate = lw.pub.Pub_EndTime.date();
        };
        QVERIFY(lw.start(1));
        const qint64 from = nowMs();
        // Reports whose end time differs from their clock time: each asks for date and time.
        constexpr int kReports = 12;
        for (int lap = 1; lap <= kReports; ++lap) {
            QTimer::singleShot(lap * 200, Qt::PreciseTimer, [&sender, lap] {
                sender.sendTo(7011, Cp932::encode(Datagram::lapReportText(false, lap, 83456, 80000, 81000,
                                                                          QDate(2026, 5, 3), QTime(10, 0, 0),
                                                                          QTime(11, 0, 0), QString())));
            });
        }
        // Until every report is taken and the service has been asked again, after its 2 s.
        QTRY_COMPARE_WITH_TIMEOUT(int(handlingUs.size()), kReports, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(service.asked.size(), qsizetype(2), 30000);
        const qint64 to = nowMs();
        lw.w().Btn_Start_Click();

        QCOMPARE(int(handlingUs.size()), kReports);
        const qint64 longest = *std::max_element(handlingUs.begin(), handlingUs.end());
        // A handler that waited for the service would have taken its 2 s; none came near.
        QVERIFY2(longest < 1'900'000, qPrintable(QString::number(longest)));
        // The date asked for is read back at once, though the service has not answered.
        QCOMPARE(firstEndDate, QDate(2026, 5, 3));

        // The status went on meanwhile, with no pause near the service's 2 s.
        std::vector<qint64> sent = lw.winsock1.sendTimes;
        std::erase_if(sent, [&](qint64 t) { return t < from || t >= to; });
        qint64 longestGap = 0;
        for (size_t i = 1; i < sent.size(); ++i)
            longestGap = std::max(longestGap, sent[i] - sent[i - 1]);
        QVERIFY2(!sent.empty() && longestGap < 1900,
                 qPrintable(QStringLiteral("%1 in %2 ms, gap %3").arg(sent.size()).arg(to - from).arg(longestGap)));
        QVERIFY(host.count() > 0);

        // The first date went out at once; after the 2 s the service took not to answer, only
        // the newest time asked for meanwhile, a moment later for its wait.
        QCOMPARE(service.asked.size(), 2);
        QVERIFY(service.asked[0].date() == QDate(2026, 5, 3) && service.asked[1].date() == QDate(2026, 5, 3));
        // The second went out 2 s or more after the first report was taken, so every report
        // taken by then was older than it; it counts from the newest of those, at the latest
        // until it was seen here.
        qint64 newestBefore = handled.front().first;
        for (const auto& [began, ended] : handled) {
            if (ended <= handled.front().first + 2000)
                newestBefore = std::max(newestBefore, began);
        }
        const int late = QTime(10, 0, 0).msecsTo(service.asked[1].time());
        QVERIFY2(late >= 0 && late <= to - newestBefore + 1,
                 qPrintable(QStringLiteral("%1 ms late, at most %2").arg(late).arg(to - newestBefore + 1)));
    }
    // No answer is no cue to set the clock directly; it is told, once, with the bus's reason.
    QVERIFY(direct.isEmpty());
    QCOMPARE(journal.size(), 1);
    QVERIFY2(journal[0].contains(QStringLiteral("org.freedesktop.DBus.Error.NoReply")), qPrintable(journal[0]));
    QDBusConnection::disconnectFromBus(QStringLiteral("peer"));
    daemon.kill();
    daemon.waitForFinished();
}

QTEST_GUILESS_MAIN(ClockTest)
#include "test_clock.moc"

#include "client/datagram.h"
#include "host_simulator.h"
#include "platform/cp932.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QOperatingSystemVersion>
#include <QTest>
#include <QUdpSocket>

namespace {

const QHostAddress kLoop(QStringLiteral("127.0.0.1"));

/// A client-side port that keeps every datagram with its arrival time.
struct Catcher {
    QUdpSocket socket;
    QElapsedTimer clock;
    QList<QByteArray> data;
    QList<qint64> at;

    explicit Catcher(quint16 port)
    {
        clock.start();
        if (!socket.bind(kLoop, port, QAbstractSocket::DontShareAddress))
            qWarning("cannot bind %d: %s", port, qPrintable(socket.errorString()));
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
            while (socket.hasPendingDatagrams()) {
                data.append(socket.receiveDatagram().data());
                at.append(clock.elapsed());
            }
        });
    }
};

SimAction carAction(SimAction::Kind kind, int car, int lapMs = 0)
{
    SimAction a;
    a.kind = kind;
    a.car = car;
    a.lapMs = lapMs;
    return a;
}

SimOptions baseOptions()
{
    SimOptions o;
    o.readStdin = false;
    o.output = OutputMode::Json;
    o.lapMs = 0;
    return o;
}

QList<QJsonObject> jsonOfType(const QList<QList<QVariant>>& lines, const QString& type)
{
    QList<QJsonObject> out;
    for (const auto& args : lines) {
        const QJsonObject o = QJsonDocument::fromJson(args.at(0).toString().toUtf8()).object();
        if (o.value(QStringLiteral("type")).toString() == type)
            out.append(o);
    }
    return out;
}

} // namespace

class TestHostsimLoopback : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void registrationAnswersKnownAndUnknownTerminals();
    void silentAndDelayedRegistration();
    void lapReportsRepeatCountAndCarryTheFields();
    void cReportMarksOnlyTheFirstCopy();
    void periodicLapsKeepBestAverageAndEndTime();
    void listenerReportsEchoedLapMessageAndGap();
};

void TestHostsimLoopback::registrationAnswersKnownAndUnknownTerminals()
{
    SimOptions o = baseOptions();
    o.registrations = {{QStringLiteral("127.0.0.2"), QStringLiteral("３号車")},
                       {QStringLiteral("10.0.0.8"), QStringLiteral("１号車")}};
    HostSimulator sim(o);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    Catcher client(Datagram::kCheckerLocalPort);
    QUdpSocket requester;
    QVERIFY(requester.bind(kLoop, 0));

    requester.writeDatagram("10.0.0.8", kLoop, Datagram::kCheckerRemotePort);
    QTRY_COMPARE_WITH_TIMEOUT(client.data.size(), 1, 30000);
    QCOMPARE(client.data[0], QByteArray::fromHex("82508d868ed4"));  // "１号車" in code page 932

    requester.writeDatagram("127.0.0.1", kLoop, Datagram::kCheckerRemotePort);
    QTRY_COMPARE_WITH_TIMEOUT(client.data.size(), 2, 30000);
    QCOMPARE(client.data[1], QByteArray::fromHex("96a2936f985e"));  // "未登録"

    // A request naming nothing known from a known sender: the sender's address decides.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    QUdpSocket clientAt2;
    const bool boundAt2 = clientAt2.bind(QHostAddress(QStringLiteral("127.0.0.2")), Datagram::kCheckerLocalPort,
                                         QAbstractSocket::DontShareAddress);
    // Windows' exclusive use of a port covers every address while one of them holds it.
    if (!boundAt2 && QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows)
        QSKIP("a second terminal on the same port cannot be staged here");
    QVERIFY(boundAt2);
    other.writeDatagram("unknown", kLoop, Datagram::kCheckerRemotePort);
    QTRY_VERIFY_WITH_TIMEOUT(clientAt2.hasPendingDatagrams(), 30000);
    QCOMPARE(clientAt2.receiveDatagram().data(), Cp932::encode(QStringLiteral("３号車")));
    QCOMPARE(client.data.size(), 2);  // the reply went to the sender, not to 127.0.0.1
}

void TestHostsimLoopback::silentAndDelayedRegistration()
{
    Catcher client(Datagram::kCheckerLocalPort);
    QUdpSocket requester;
    {
        SimOptions o = baseOptions();
        o.silent = true;
        o.registrations = {{QStringLiteral("*"), QStringLiteral("２号車")}};
        HostSimulator sim(o);
        QSignalSpy lines(&sim.reporter(), &Reporter::line);
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        requester.writeDatagram("127.0.0.1", kLoop, Datagram::kCheckerRemotePort);
        QTRY_COMPARE_WITH_TIMEOUT(jsonOfType(lines, QStringLiteral("register")).size(), 1, 30000);
        QTest::qWait(300);
        QVERIFY(client.data.isEmpty());
        QCOMPARE(jsonOfType(lines, QStringLiteral("register")).at(0).value(QStringLiteral("silent")).toBool(), true);
    }
    {
        SimOptions o = baseOptions();
        o.replyDelayMs = 400;
        o.registrations = {{QStringLiteral("*"), QStringLiteral("２号車")}};
        HostSimulator sim(o);
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        const qint64 sentAt = client.clock.elapsed();
        requester.writeDatagram("127.0.0.1", kLoop, Datagram::kCheckerRemotePort);
        QTRY_COMPARE_WITH_TIMEOUT(client.data.size(), 1, 30000);
        QCOMPARE(client.data[0], Cp932::encode(QStringLiteral("２号車")));
        QVERIFY2(client.at[0] - sentAt >= 380, qPrintable(QString::number(client.at[0] - sentAt)));
    }
}

void TestHostsimLoopback::lapReportsRepeatCountAndCarryTheFields()
{
    SimOptions o = baseOptions();
    o.cars = {2};
    o.texts = {QStringLiteral("ピット"), QStringLiteral("BOX")};
    HostSimulator sim(o);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    Catcher client(Datagram::clientPort(2));

    const QDate before = QDate::currentDate();
    const int laps[] = {83000, 81234, 85001};
    QList<qint64> executedAt;
    for (int ms : laps) {
        executedAt.append(client.clock.elapsed());
        sim.execute(carAction(SimAction::Kind::Lap, 2, ms));
        // All three copies of one lap before the next lap begins.
        QTRY_COMPARE_WITH_TIMEOUT(client.data.size(), 3 * executedAt.size(), 30000);
    }
    const QDate after = QDate::currentDate();

    const QString best[] = {QStringLiteral("83000"), QStringLiteral("81234"), QStringLiteral("81234")};
    const QString ave[] = {QStringLiteral("83000"), QStringLiteral("82117"), QStringLiteral("83078")};
    const QString texts[] = {QStringLiteral("ピット"), QStringLiteral("BOX"), QStringLiteral("ピット")};
    for (int lap = 0; lap < 3; ++lap) {
        const int first = lap * 3;
        // The repeats are the same bytes, sent 100 ms apart on a precise timer: the k-th copy
        // cannot arrive sooner than k times 100 ms after the lap was asked for.
        for (int copy = 1; copy < 3; ++copy) {
            QCOMPARE(client.data[first + copy], client.data[first]);
            const qint64 sinceAsked = client.at[first + copy] - executedAt[lap];
            QVERIFY2(sinceAsked >= copy * 100 - 1,
                     qPrintable(QStringLiteral("copy %1 after %2 ms").arg(copy).arg(sinceAsked)));
        }
        const QString report = Cp932::decode(client.data[first]);
        QCOMPARE(report.size(), 60 + texts[lap].size());
        QVERIFY(client.data[first].endsWith(Cp932::encode(texts[lap])));
        const Datagram::LapReportFields f = Datagram::splitLapReport(report);
        QCOMPARE(f.kind, QStringLiteral(" "));
        QCOMPARE(f.lapNo, QStringLiteral("  %1").arg(lap + 1));
        QCOMPARE(f.lastLap.trimmed(), QString::number(laps[lap]));
        QCOMPARE(f.bestLap.trimmed(), best[lap]);
        QCOMPARE(f.aveLap.trimmed(), ave[lap]);
        QCOMPARE(f.lastLap.size(), 10);
        QVERIFY(f.date == before.toString(QStringLiteral("yyyy/MM/dd"))
                || f.date == after.toString(QStringLiteral("yyyy/MM/dd")));
        QVERIFY(Datagram::parseTimeText(f.clock));
        QCOMPARE(f.endTime, f.clock);  // no run length: no end time
        QCOMPARE(f.hostText, texts[lap]);
    }
    // "ピット" travels as its code page 932 bytes, not UTF-8.
    QVERIFY(client.data[0].endsWith(QByteArray::fromHex("837383628367")));
    QCOMPARE(client.data[0].size(), 66);
}

void TestHostsimLoopback::cReportMarksOnlyTheFirstCopy()
{
    SimOptions o = baseOptions();
    o.cars = {1, 4};
    o.repeat = 2;
    HostSimulator sim(o);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    Catcher car1(Datagram::clientPort(1));
    Catcher car4(Datagram::clientPort(4));

    sim.execute(carAction(SimAction::Kind::Lap, 4, 90000));
    QTRY_COMPARE_WITH_TIMEOUT(car4.data.size(), 2, 30000);
    sim.execute(carAction(SimAction::Kind::CReport, 0));
    QTRY_COMPARE_WITH_TIMEOUT(car4.data.size(), 4, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(car1.data.size(), 2, 30000);

    const auto c4 = Datagram::splitLapReport(Cp932::decode(car4.data[2]));
    const auto r4 = Datagram::splitLapReport(Cp932::decode(car4.data[3]));
    QCOMPARE(c4.kind, QStringLiteral("C"));
    QCOMPARE(r4.kind, QStringLiteral(" "));
    QCOMPARE(c4.lapNo, QStringLiteral("  1"));
    QCOMPARE(r4.lapNo, QStringLiteral("  1"));
    QCOMPARE(c4.lastLap.trimmed(), QStringLiteral("90000"));
    // Car 1 has no lap yet: its "C" report carries lap 0 and zero times.
    const auto c1 = Datagram::splitLapReport(Cp932::decode(car1.data[0]));
    QCOMPARE(c1.kind, QStringLiteral("C"));
    QCOMPARE(c1.lapNo, QStringLiteral("  0"));
    QCOMPARE(c1.bestLap.trimmed(), QStringLiteral("0"));
    QCOMPARE(c1.hostText, QString());
}

void TestHostsimLoopback::periodicLapsKeepBestAverageAndEndTime()
{
    SimOptions o = baseOptions();
    o.cars = {5};
    o.lapMs = 200;
    o.spreadMs = 60;
    o.pitEvery = 4;
    o.pitS = 1;
    o.seed = 7;
    o.repeat = 1;
    o.runMinutes = 10;
    Catcher client(Datagram::clientPort(5));
    HostSimulator sim(o);
    QString error;
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY2(sim.start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(client.data.size() >= 5, 30000);
    // Each report's clock lies between the start and now, in whole seconds.
    const int runSeconds = int((sinceStart.elapsed() + 999) / 1000);

    qint64 sum = 0;
    int best = 0;
    for (int i = 0; i < 5; ++i) {
        const auto f = Datagram::splitLapReport(Cp932::decode(client.data[i]));
        QCOMPARE(Datagram::parseLeadingNumber(f.lapNo), i + 1);
        const int last = *Datagram::parseLeadingNumber(f.lastLap);
        // The fourth lap is the pit lap: exactly --lap plus the stop, and counted like any other.
        if (i == 3)
            QCOMPARE(last, 1200);
        else
            QVERIFY2(last >= 140 && last <= 260, qPrintable(QString::number(last)));
        sum += last;
        best = i == 0 ? last : std::min(best, last);
        QCOMPARE(*Datagram::parseLeadingNumber(f.bestLap), best);
        QCOMPARE(*Datagram::parseLeadingNumber(f.aveLap), int((sum + (i + 1) / 2) / (i + 1)));
        // The run ends ten minutes after start, whatever the time of day.
        const auto clock = Datagram::parseTimeText(f.clock);
        const auto end = Datagram::parseTimeText(f.endTime);
        QVERIFY(clock && end);
        const int ahead = (clock->secsTo(*end) + 86400) % 86400;
        QVERIFY2(ahead >= 599 - runSeconds && ahead <= 600,
                 qPrintable(QStringLiteral("%1 s ahead, %2 s into the run").arg(ahead).arg(runSeconds)));
    }
}

void TestHostsimLoopback::listenerReportsEchoedLapMessageAndGap()
{
    SimOptions o = baseOptions();
    o.cars = {3};
    HostSimulator sim(o);
    QSignalSpy lines(&sim.reporter(), &Reporter::line);
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    QUdpSocket client;
    QVERIFY(client.bind(kLoop, Datagram::clientPort(3)));

    const QByteArray status = Cp932::encode(QStringLiteral("012ドライバ交代して"));
    QCOMPARE(status.mid(3), QByteArray::fromHex("836883898343836f8cf091e382b582c4"));
    // The simulator reads each datagram at some moment between its send and the moment the
    // test sees it counted; the gap it reports lies within what these moments allow.
    QElapsedTimer clock;
    clock.start();
    const qint64 sent1 = clock.elapsed();
    client.writeDatagram(status, kLoop, Datagram::hostPort(3));
    QTRY_COMPARE_WITH_TIMEOUT(jsonOfType(lines, QStringLiteral("status")).size(), 1, 30000);
    QJsonObject first = jsonOfType(lines, QStringLiteral("status")).at(0);
    QCOMPARE(first.value(QStringLiteral("car")).toInt(), 3);
    QCOMPARE(first.value(QStringLiteral("lap")).toInt(), 12);
    QCOMPARE(first.value(QStringLiteral("message")).toString(), QStringLiteral("ドライバ交代して"));
    QCOMPARE(first.value(QStringLiteral("rate")).toInt(), 1);

    // An unchanged datagram is counted but not reported again; a new lap number is.
    QTest::qWait(150);
    const qint64 sent2 = clock.elapsed();
    client.writeDatagram(status, kLoop, Datagram::hostPort(3));
    QTRY_COMPARE_WITH_TIMEOUT(sim.judge().datagramsChecked(), 2, 30000);
    const qint64 read2 = clock.elapsed();
    QTest::qWait(250);
    const qint64 sent3 = clock.elapsed();
    client.writeDatagram(Cp932::encode(QStringLiteral("013")), kLoop, Datagram::hostPort(3));
    QTRY_COMPARE_WITH_TIMEOUT(jsonOfType(lines, QStringLiteral("status")).size(), 2, 30000);
    const qint64 read3 = clock.elapsed();
    const qsizetype statsBefore = jsonOfType(lines, QStringLiteral("stats")).size();
    const QJsonObject second = jsonOfType(lines, QStringLiteral("status")).at(1);
    QCOMPARE(second.value(QStringLiteral("lap")).toInt(), 13);
    QCOMPARE(second.value(QStringLiteral("message")).toString(), QString());
    QCOMPARE(second.value(QStringLiteral("count")).toInt(), 3);
    // All three within a second of the last: three a second; later, fewer may still count.
    const int rate = second.value(QStringLiteral("rate")).toInt();
    if (read3 - sent1 < 998)
        QCOMPARE(rate, 3);
    else
        QVERIFY2(rate >= 1 && rate <= 3, qPrintable(QString::number(rate)));
    const qint64 gap = second.value(QStringLiteral("gap_ms")).toInt();
    const qint64 gapLow = sent3 - read2 - 2;
    const qint64 gapHigh = std::max(read2 - sent1, read3 - sent2) + 2;
    QVERIFY2(gap >= gapLow && gap <= gapHigh,
             qPrintable(QStringLiteral("largest gap %1 ms, expected %2..%3").arg(gap).arg(gapLow).arg(gapHigh)));

    // The once-a-second summary carries the same figures.
    QTRY_VERIFY_WITH_TIMEOUT(jsonOfType(lines, QStringLiteral("stats")).size() > statsBefore, 30000);
    const QJsonObject stats = jsonOfType(lines, QStringLiteral("stats")).last();
    QCOMPARE(stats.value(QStringLiteral("car")).toInt(), 3);
    QCOMPARE(stats.value(QStringLiteral("lap")).toInt(), 13);
}

QTEST_GUILESS_MAIN(TestHostsimLoopback)
#include "test_hostsim_loopback.moc"

#include "client/datagram.h"
#include "platform/cp932.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

namespace {

const QHostAddress kLoop(QStringLiteral("127.0.0.1"));

/// The simulator as a child process; whatever happens, it is ended by its pid.
struct Simulator {
    QProcess process;

    explicit Simulator(const QStringList& args)
    {
        process.setProgram(QStringLiteral(HOSTSIM_EXE));
        process.setArguments(args);
        process.start();
    }
    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    /// Everything written to standard output so far.
    QByteArray output()
    {
        m_out += process.readAllStandardOutput();
        return m_out;
    }
    QList<QJsonObject> json(const QString& type)
    {
        QList<QJsonObject> out;
        for (const QByteArray& line : output().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("type")).toString() == type)
                out.append(o);
        }
        return out;
    }

private:
    QByteArray m_out;
};

} // namespace

class TestHostsimCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void badOptionsExitTwo_data();
    void badOptionsExitTwo();
    void helpExplainsTheScriptFormat();
    void jsonOutputReportsDecodedStatus();
    void sendHexAndSendRaw();
    void scriptRunsStepsAndQuits();
    void terminationSignalEndsCleanly();
    void strictExitsThreeAfterAViolation();
};

void TestHostsimCli::badOptionsExitTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown") << QStringList{QStringLiteral("--lapz"), QStringLiteral("3")} << QStringLiteral("lapz");
    QTest::newRow("car 9") << QStringList{QStringLiteral("--car"), QStringLiteral("9")} << QStringLiteral("--car");
    // A documentation-only address, refused before any socket exists.
    QTest::newRow("client off loopback")
        << QStringList{QStringLiteral("--client"), QStringLiteral("192.0.2.1"), QStringLiteral("--car"), QStringLiteral("1"),
                       QStringLiteral("--lap"), QStringLiteral("100")}
        << QStringLiteral("192.0.2.1");
    QTest::newRow("send off loopback")
        << QStringList{QStringLiteral("--client"), QStringLiteral("192.0.2.1"), QStringLiteral("--send-raw"),
                       QStringLiteral("x"), QStringLiteral("--to-port"), QStringLiteral("7011")}
        << QStringLiteral("--allow-lan");
    QTest::newRow("bind off loopback") << QStringList{QStringLiteral("--bind"), QStringLiteral("192.0.2.1")}
                                       << QStringLiteral("--allow-lan");
}

void TestHostsimCli::badOptionsExitTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    Simulator sim(args);
    QVERIFY(sim.process.waitForFinished(30000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 2);
    const QString err = QString::fromUtf8(sim.process.readAllStandardError());
    QVERIFY2(err.contains(mentions), qPrintable(err));
    QVERIFY(sim.process.readAllStandardOutput().isEmpty());
}

void TestHostsimCli::helpExplainsTheScriptFormat()
{
    Simulator sim({QStringLiteral("--help")});
    QVERIFY(sim.process.waitForFinished(30000));
    QCOMPARE(sim.process.exitCode(), 0);
    const QString out = QString::fromUtf8(sim.process.readAllStandardOutput());
    for (const char* word : {"at MS COMMAND", "register-reply", "--send-hex", "--allow-lan", "--json", "未登録",
                             "--strict", "request-form", "status-gap", "echo", "EXCUSED", "summary"})
        QVERIFY2(out.contains(QString::fromUtf8(word)), word);
}

void TestHostsimCli::jsonOutputReportsDecodedStatus()
{
    Simulator sim({QStringLiteral("--car"), QStringLiteral("1"), QStringLiteral("--lap"), QStringLiteral("0"),
                   QStringLiteral("--json"), QStringLiteral("--no-stdin")});
    QVERIFY(sim.process.waitForStarted(30000));
    QTRY_COMPARE_WITH_TIMEOUT(sim.json(QStringLiteral("start")).size(), 1, 30000);

    QUdpSocket client;
    QVERIFY(client.bind(kLoop, Datagram::clientPort(1)));
    client.writeDatagram(Cp932::encode(QStringLiteral("012ドライバ交代して")), kLoop, Datagram::hostPort(1));
    QTRY_COMPARE_WITH_TIMEOUT(sim.json(QStringLiteral("status")).size(), 1, 30000);
    const QJsonObject status = sim.json(QStringLiteral("status")).at(0);
    QCOMPARE(status.value(QStringLiteral("car")).toInt(), 1);
    QCOMPARE(status.value(QStringLiteral("lap")).toInt(), 12);
    QCOMPARE(status.value(QStringLiteral("message")).toString(), QStringLiteral("ドライバ交代して"));
    QVERIFY(status.contains(QStringLiteral("rate")));
    QVERIFY(status.contains(QStringLiteral("gap_ms")));
}

void TestHostsimCli::sendHexAndSendRaw()
{
    QUdpSocket client;
    QVERIFY(client.bind(kLoop, Datagram::clientPort(2)));
    {
        Simulator sim({QStringLiteral("--send-hex"), QStringLiteral("43 20 20 35"), QStringLiteral("--to-port"),
                       QStringLiteral("7021")});
        QVERIFY(sim.process.waitForFinished(30000));
        QCOMPARE(sim.process.exitCode(), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(client.hasPendingDatagrams(), 30000);
    QCOMPARE(client.receiveDatagram().data(), QByteArray("C  5"));
    {
        Simulator sim({QStringLiteral("--send-raw"), QStringLiteral("012ピット"), QStringLiteral("--to-port"),
                       QStringLiteral("7021")});
        QVERIFY(sim.process.waitForFinished(30000));
        QCOMPARE(sim.process.exitCode(), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(client.hasPendingDatagrams(), 30000);
    QCOMPARE(client.receiveDatagram().data(), QByteArray("012") + QByteArray::fromHex("837383628367"));
}

void TestHostsimCli::scriptRunsStepsAndQuits()
{
    QTemporaryFile script;
    QVERIFY(script.open());
    script.write("# two laps, a forced report, a raw datagram and a late registration reply\n"
                 "at 100 lap 3 75000\n"
                 "at 300 text 給油\n"
                 "at 350 lap 3 74000\n"
                 "at 500 c\n"
                 "at 600 raw-to 7031 hello\n"
                 "at 700 register-reply ３号車\n"
                 "at 800 quit\n");
    script.close();
    QUdpSocket car3;
    QVERIFY(car3.bind(kLoop, Datagram::clientPort(3)));
    QUdpSocket checker;
    QVERIFY(checker.bind(kLoop, Datagram::kCheckerLocalPort));

    Simulator sim({QStringLiteral("--car"), QStringLiteral("3"), QStringLiteral("--lap"), QStringLiteral("0"),
                   QStringLiteral("--repeat"), QStringLiteral("1"), QStringLiteral("--events"),
                   QStringLiteral("--no-stdin"), QStringLiteral("--script"), script.fileName(),
                   QStringLiteral("--duration"), QStringLiteral("10")});
    QVERIFY(sim.process.waitForFinished(30000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);

    QList<QByteArray> got;
    while (car3.hasPendingDatagrams())
        got.append(car3.receiveDatagram().data());
    QCOMPARE(got.size(), 4);
    const auto lap1 = Datagram::splitLapReport(Cp932::decode(got[0]));
    const auto lap2 = Datagram::splitLapReport(Cp932::decode(got[1]));
    const auto forced = Datagram::splitLapReport(Cp932::decode(got[2]));
    QCOMPARE(lap1.lapNo, QStringLiteral("  1"));
    QCOMPARE(lap2.lapNo, QStringLiteral("  2"));
    QCOMPARE(lap2.bestLap.trimmed(), QStringLiteral("74000"));
    QCOMPARE(lap2.aveLap.trimmed(), QStringLiteral("74500"));
    QCOMPARE(lap1.hostText, QString());
    QCOMPARE(lap2.hostText, QStringLiteral("給油"));
    QCOMPARE(forced.kind, QStringLiteral("C"));
    QCOMPARE(forced.lapNo, QStringLiteral("  2"));
    QCOMPARE(got[3], QByteArray("hello"));
    QVERIFY(checker.hasPendingDatagrams());
    QCOMPARE(checker.receiveDatagram().data(), QByteArray::fromHex("82528d868ed4"));
}

void TestHostsimCli::terminationSignalEndsCleanly()
{
    Simulator sim({QStringLiteral("--car"), QStringLiteral("1"), QStringLiteral("--events"),
                   QStringLiteral("--no-stdin")});
    QVERIFY(sim.process.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains("listening"), 30000);
    QVERIFY(::kill(pid_t(sim.process.processId()), SIGTERM) == 0);
    QVERIFY(sim.process.waitForFinished(30000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(sim.output().contains("signal received"));
}

void TestHostsimCli::strictExitsThreeAfterAViolation()
{
    // The same request twice: from the client's registration port, then from another port.
    // The run is ended once the request has been judged, as an operator would end it.
    for (const bool wrongPort : {false, true}) {
        Simulator sim({QStringLiteral("--strict"), QStringLiteral("--json"), QStringLiteral("--no-stdin")});
        QTRY_COMPARE_WITH_TIMEOUT(sim.json(QStringLiteral("start")).size(), 1, 30000);
        QUdpSocket terminal;
        QVERIFY(terminal.bind(kLoop, wrongPort ? 0 : Datagram::kCheckerLocalPort));
        terminal.writeDatagram("127.0.0.1", kLoop, Datagram::kCheckerRemotePort);
        QTRY_COMPARE_WITH_TIMEOUT(sim.json(QStringLiteral("register")).size(), 1, 30000);
        QVERIFY(::kill(pid_t(sim.process.processId()), SIGTERM) == 0);
        QVERIFY(sim.process.waitForFinished(30000));
        QCOMPARE(sim.process.exitCode(), wrongPort ? 3 : 0);
        QCOMPARE(sim.json(QStringLiteral("register")).size(), 1);
        QCOMPARE(sim.json(QStringLiteral("violation")).size(), wrongPort ? 1 : 0);
        const QList<QJsonObject> summary = sim.json(QStringLiteral("summary"));
        QCOMPARE(summary.size(), 1);
        const QJsonObject counts = summary[0].value(QStringLiteral("counts")).toObject();
        QCOMPARE(counts.value(QStringLiteral("request-port")).toInt(), wrongPort ? 1 : 0);
        QCOMPARE(summary[0].value(QStringLiteral("violations")).toInt(), wrongPort ? 1 : 0);
    }
}

QTEST_GUILESS_MAIN(TestHostsimCli)
#include "test_hostsim_cli.moc"

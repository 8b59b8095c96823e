// A wrong peer against the simulator's checks: each row sends datagrams over loopback on a
// clock the test moves by hand, and expects exactly the violations the row deserves.
#include "host_simulator.h"
#include "sim_clock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUdpSocket>

#include <map>
#include <memory>

namespace {

const QHostAddress kLoop(QStringLiteral("127.0.0.1"));

/// Time as the test sets it, and a hold-up of the simulator over [holdFrom, holdTo] if set.
struct HandClock : SimClock {
    int64_t now = 0;
    int64_t holdFrom = -1;
    int64_t holdTo = -1;
    int64_t nowMs() const override { return now; }
    bool heldUp(int64_t from, int64_t to) const override { return holdFrom >= 0 && holdFrom < to && holdTo > from; }
};

/// A datagram from port to port at a time on the hand clock, or (to == 0) the host completing
/// a lap of car 1.
struct Step {
    int64_t atMs = 0;
    quint16 from = 0;
    quint16 to = 0;
    QByteArray bytes;
};
using Steps = QList<Step>;
using Hold = std::pair<qint64, qint64>;

Step request(const QByteArray& bytes, quint16 from = 7001) { return {0, from, 7002, bytes}; }
Step status(int64_t at, const QByteArray& bytes, quint16 from = 7011) { return {at, from, 7012, bytes}; }
Step hostLap(int64_t at) { return {at, 0, 0, {}}; }

/// Car 1's status "head" from the client's port, every stepMs from first to last.
Steps stream(int64_t first, int64_t last, int64_t stepMs, const QByteArray& head = "000")
{
    Steps steps;
    for (int64_t t = first; t <= last; t += stepMs)
        steps.append(status(t, head));
    return steps;
}

void row(const char* name, const Steps& steps, const QString& rule = {}, Hold hold = {-1, -1})
{
    QTest::newRow(name) << steps << (rule.isEmpty() ? QStringList() : QStringList{rule}) << hold;
}

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(Hold)

class TestHostsimRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachRuleGetsExactlyItsViolation_data();
    void eachRuleGetsExactlyItsViolation();
};

void TestHostsimRules::eachRuleGetsExactlyItsViolation_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<Hold>("holdUp");  // excuses the timing findings that span it

    row("request as it should be", {request("127.0.0.1")});
    const QByteArray badRequests[] = {"127.0.0.1\r\n", QByteArray("127.0.0.1\0", 10), " 10.0.0.8", "",
                                      "10.0.0.256", "10.0.0.08"};
    for (const QByteArray& bad : badRequests)
        row(QByteArray("request " + bad.toPercentEncoding()).constData(), {request(bad)}, "request-form");
    row("request from another port", {request("127.0.0.1", 7011)}, "request-port");

    row("status from car 2's port", {status(0, "000", 7021)}, "status-port");
    row("status head of two digits", {status(0, "12")}, "status-head");
    row("status head not digits", {status(0, " 12abc")}, "status-head");
    row("status not code page 932", {status(0, "000\x81\x20")}, "status-cp932");

    row("steady stream", stream(0, 3000, 100));
    row("gap of 200 ms", stream(0, 1200, 100) + Steps{status(1400, "000")}, "status-gap");
    row("gap in the first second", Steps{status(0, "000")} + stream(400, 1500, 100));
    row("silence of a Stop, then Start", stream(0, 1200, 100) + stream(2300, 3500, 100));
    row("twelve in a second", stream(0, 880, 80), "status-rate");
    row("eleven in a second", stream(0, 900, 90));
    row("lap not echoed in 300 ms", stream(0, 1000, 100) + Steps{hostLap(1050)} + stream(1100, 1400, 100), "echo");
    row("lap echoed", stream(0, 1000, 100) + Steps{hostLap(1050)} + stream(1100, 1400, 100, "001"));
    row("lap sent before the stream", Steps{hostLap(0)} + stream(100, 1500, 100));
    row("gap while the host was held up", stream(0, 1200, 100) + Steps{status(1400, "000")}, {}, {1250, 1390});
}

void TestHostsimRules::eachRuleGetsExactlyItsViolation()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, rules);
    QFETCH(Hold, holdUp);

    HandClock clock;
    std::tie(clock.holdFrom, clock.holdTo) = holdUp;
    SimOptions o;
    o.readStdin = false;
    o.output = OutputMode::Json;
    o.lapMs = 0;
    o.repeat = 1;
    o.cars = {1};
    o.strict = true;
    HostSimulator sim(o, &clock);
    QList<QJsonObject> found;
    connect(&sim.reporter(), &Reporter::line, this, [&found](const QString& line) {
        const QJsonObject e = QJsonDocument::fromJson(line.toUtf8()).object();
        if (e.value(QStringLiteral("type")) == QLatin1String("violation"))
            found.append(e);
    });
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));

    std::map<quint16, std::unique_ptr<QUdpSocket>> peers;
    int sent = 0;
    for (const Step& step : steps) {
        clock.now = step.atMs;
        if (step.to == 0) {
            sim.executeLine(QStringLiteral("lap 1 60000"));
            continue;
        }
        auto& peer = peers[step.from];
        if (!peer) {
            peer = std::make_unique<QUdpSocket>();
            QVERIFY(peer->bind(kLoop, step.from, QAbstractSocket::DontShareAddress));
        }
        QCOMPARE(peer->writeDatagram(step.bytes, kLoop, step.to), qint64(step.bytes.size()));
        ++sent;
        // Each datagram is judged at the time set for it.
        QTRY_COMPARE_WITH_TIMEOUT(sim.judge().datagramsChecked(), sent, 30000);
    }

    QStringList got;
    for (const QJsonObject& v : found)
        got << v.value(QStringLiteral("rule")).toString();
    QCOMPARE(got, rules);
    QCOMPARE(sim.judge().excused(), holdUp.first >= 0 ? 1 : 0);
    if (!found.isEmpty()) {
        // The datagram that broke the rule is the row's last, named by its bytes.
        QCOMPARE(found.last().value(QStringLiteral("hex")).toString(), QString::fromLatin1(steps.last().bytes.toHex(' ')));
        QCOMPARE(found.last().contains(QStringLiteral("car")), steps.last().to != 7002);
    }
    QCOMPARE(sim.finish(0), rules.isEmpty() ? 0 : 3);
}

QTEST_GUILESS_MAIN(TestHostsimRules)
#include "test_hostsim_rules.moc"

// Setting the PC's clock from lap reports never holds the window. The time service is a peer on
// a bus of the test's own and the direct setting a recording stand-in: nothing here can touch
// this machine's clock, inside the test sandbox or outside it.
#include "loopback_peer.h"
#include "private_bus.h"

#include "platform/cp932.h"
#include "platform/desktop_clock.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <mutex>

using namespace live;

namespace {

/// Stands in for clock_settime: notes each time asked for and says it worked.
class RecordingSetter {
public:
    DesktopClock::DirectSetter setter()
    {
        return [this](qint64 msecUtc) {
            std::lock_guard lock(m_mutex);
            m_asked.append(msecUtc);
            return true;
        };
    }
    QList<qint64> asked() const
    {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    mutable std::mutex m_mutex;
    QList<qint64> m_asked;
};

qint64 elapsedUs(const std::function<void()>& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1000;
}

} // namespace

Q_DECLARE_METATYPE(TimeServicePeer::Mode)

class ClockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY2(!m_bus.address().isEmpty(), "dbus-daemon did not start"); }
    void answersInOrder_data();
    void answersInOrder();
    void silentServiceNeverHoldsTheWindow();

private:
    PrivateBus m_bus;
};

void ClockTest::answersInOrder_data()
{
    QTest::addColumn<bool>("service");
    QTest::addColumn<TimeServicePeer::Mode>("mode");
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<int>("queuedMs");
    using M = TimeServicePeer::Mode;
    QTest::newRow("no time service: set directly") << false << M::Answer << true << false << 0;
    QTest::newRow("service sets it") << true << M::Answer << false << false << 0;
    QTest::newRow("service refuses") << true << M::Refuse << false << true << 0;
    QTest::newRow("service never answers") << true << M::Silent << false << true << 1500;
}

void ClockTest::answersInOrder()
{
    QFETCH(bool, service);
    QFETCH(TimeServicePeer::Mode, mode);
    QFETCH(bool, direct);
    QFETCH(bool, refused);
    QFETCH(int, queuedMs);
    std::unique_ptr<TimeServicePeer> peer;
    if (service) {
        peer = std::make_unique<TimeServicePeer>(m_bus.address(), mode);
        QVERIFY(peer->ok());
    }
    RecordingSetter setter;
    DesktopClock clock(m_bus.address(), setter.setter());
    const auto received = [&] { return peer ? peer->asked : setter.asked(); };

    const QDate day(2001, 2, 3);
    QDateTime dateAsked;
    const qint64 dateUs = elapsedUs([&] {
        QVERIFY(clock.setDate(day));
        dateAsked = QDateTime(day, QTime::currentTime());
    });
    // Read right after asking, the clock shows what it is about to be: the date just set.
    QCOMPARE(clock.now().date(), day);
    QTRY_COMPARE(received().size(), 1);

    const QDateTime timeAsked(day, QTime(4, 5, 6));
    const qint64 timeUs = elapsedUs([&] { QVERIFY(clock.setTime(timeAsked)); });
    QVERIFY2(dateUs < 2000 && timeUs < 2000, qPrintable(QStringLiteral("%1 %2 us").arg(dateUs).arg(timeUs)));
    QTRY_VERIFY_WITH_TIMEOUT(clock.waitUntilSettled(0), 8000);

    // The date first, then the time; a request that waited for its turn is that much later.
    const QList<qint64> got = received();
    QCOMPARE(got.size(), 2);
    QVERIFY(qAbs(got[0] - dateAsked.toMSecsSinceEpoch()) < 1000);
    const qint64 late = got[1] - timeAsked.toMSecsSinceEpoch();
    QVERIFY2(late >= queuedMs && late < queuedMs + 2000, qPrintable(QString::number(late)));
    QCOMPARE(setter.asked().size(), direct ? 2 : 0);
    QCOMPARE(clock.lastRefused(), refused);
    // Settled, the clock reads the machine's own time again: nothing here changed it.
    QVERIFY(qAbs(clock.now().msecsTo(QDateTime::currentDateTime())) < 1000);
}

void ClockTest::silentServiceNeverHoldsTheWindow()
{
    TimeServicePeer peer(m_bus.address(), TimeServicePeer::Mode::Silent);
    QVERIFY(peer.ok());
    RecordingSetter setter;
    DesktopClock clock(m_bus.address(), setter.setter());
    LiveWindow lw(nullptr, &clock);
    HostPeer host(7012);
    QVERIFY(host.ok());
    RawSocket sender;
    std::vector<qint64> handlingUs;
    const std::function<void()> handler = lw.winsock1.dataArrival;
    lw.winsock1.dataArrival = [&] { handlingUs.push_back(elapsedUs(handler)); };

    QVERIFY(lw.start(1));
    const qint64 from = nowMs();
    // Reports whose end time differs from their clock time: each asks for date and time.
    constexpr int kReports = 12;
    for (int lap = 1; lap <= kReports; ++lap) {
        QTimer::singleShot(lap * 200, [&sender, lap] {
            sender.sendTo(7011, Cp932::encode(Datagram::lapReportText(false, lap, 83456, 80000, 81000,
                                                                      QDate(2026, 5, 3), QTime(10, 0, 0),
                                                                      QTime(11, 0, 0), QString())));
        });
    }
    serveEvents(kReports * 200 + 400);
    const qint64 to = nowMs();
    lw.w().Btn_Start_Click();

    QCOMPARE(int(handlingUs.size()), kReports);
    QCOMPARE(lw.w().Lbl_Lap.caption(), QStringLiteral("13周目"));
    std::sort(handlingUs.begin(), handlingUs.end());
    const qint64 median = handlingUs[handlingUs.size() / 2];
    qInfo("lap report handled in %lld us (median), %lld us (longest)", median, handlingUs.back());
    QVERIFY2(handlingUs.back() < 2000, qPrintable(QString::number(handlingUs.back())));

    QList<qint64> sent = host.times();
    sent.removeIf([&](qint64 t) { return t < from || t >= to; });
    qint64 longestGap = 0;
    for (qsizetype i = 1; i < sent.size(); ++i)
        longestGap = std::max(longestGap, sent[i] - sent[i - 1]);
    qInfo("%lld status datagrams in %lld ms, longest gap %lld ms", qint64(sent.size()), to - from, longestGap);
    QVERIFY2(sent.size() >= (to - from) / 100 - 2, qPrintable(QString::number(sent.size())));
    QVERIFY2(longestGap < 200, qPrintable(QString::number(longestGap)));
    // The service was asked and never answered; nothing fell back to setting the clock directly.
    QVERIFY(!peer.asked.isEmpty());
    QVERIFY(setter.asked().isEmpty());
}

QTEST_GUILESS_MAIN(ClockTest)
#include "test_clock.moc"

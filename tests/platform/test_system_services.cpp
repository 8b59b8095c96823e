#include "platform/linux/desktop_clock.h"
#include "platform/linux/kernel_local_address.h"
#include "fakes/network_namespace.h"

#include <QHostAddress>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <cerrno>

namespace {

const QString kNoBus = QStringLiteral("unix:path=/nonexistent/rivect-no-bus");

bool isDottedIPv4(const QString& text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
        && text.count(u'.') == 3;
}

} // namespace

class TestSystemServices : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void localAddressTowardLoopback();
    void localAddressFallsBack();
    void clockReadsLocalTime();
    void clockSettersWithoutBus();
    void clockCountsAWaitingSettingOnce();
};

void TestSystemServices::localAddressTowardLoopback()
{
    KernelLocalAddress local;
    QCOMPARE(local.localIPv4(QStringLiteral("127.0.0.1")), QStringLiteral("127.0.0.1"));
    QVERIFY(isDottedIPv4(local.localIPv4(QStringLiteral("not an address"))));
}

void TestSystemServices::localAddressFallsBack()
{
    if (!onlyLoopback())
        QSKIP("not in an isolated network namespace");
    // No route and no other interface: the last resort is the loopback address.
    KernelLocalAddress local;
    QCOMPARE(local.localIPv4(QStringLiteral("192.0.2.1")), QStringLiteral("127.0.0.1"));
    QCOMPARE(local.localIPv4(QString()), QStringLiteral("127.0.0.1"));
}

void TestSystemServices::clockReadsLocalTime()
{
    DesktopClock clock;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const QDateTime now = clock.now();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(now.timeSpec(), Qt::LocalTime);
    QVERIFY(now.toMSecsSinceEpoch() >= before && now.toMSecsSinceEpoch() <= after);
}

void TestSystemServices::clockSettersWithoutBus()
{
    // No bus to reach: the settings fall back to the direct setter, here a recording stand-in,
    // so the machine's clock cannot change whatever rights this test has.
    QList<qint64> direct;
    QStringList journal;
    {
        DesktopClock clock({kNoBus,
                            [&](qint64 msecUtc) {
                                direct.append(msecUtc);
                                return EPERM;
                            },
                            {}, [&](const QString& line) { journal.append(line); }});
        QVERIFY(!clock.setDate(QDate()));
        QVERIFY(!clock.setTime(QDateTime()));
        // Two refusals in one run are told once; the next run tells its first again.
        for (int run = 0; run < 2; ++run) {
            if (run > 0)
                clock.beginRun();
            for (int i = 0; i < 2; ++i) {
                QVERIFY(clock.setTime(QDateTime(QDate(2001, 2, 3), QTime(3, 4, 5))));
                QVERIFY(clock.waitUntilSettled(5000));
            }
        }
        QVERIFY(clock.lastRefused());
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const qint64 read = clock.now().toMSecsSinceEpoch();
        QVERIFY(read >= before && read <= QDateTime::currentMSecsSinceEpoch());
    }
    QCOMPARE(direct.size(), 4);  // read after the clock's thread has been joined
    // Later by the time the setting waited for its turn, and by no more than a stall could make it.
    const qint64 late = direct[0] - QDateTime(QDate(2001, 2, 3), QTime(3, 4, 5)).toMSecsSinceEpoch();
    QVERIFY2(late >= 0 && late < 60'000, qPrintable(QString::number(late)));
    QCOMPARE(journal.size(), 2);
    QVERIFY2(journal[0].contains(qt_error_string(EPERM)) && !journal[0].contains(u'\n'), qPrintable(journal[0]));
}

void TestSystemServices::clockCountsAWaitingSettingOnce()
{
    // A stand-in system clock that the direct setter moves, and a setter that holds each
    // request until the test lets it go: the date is set while the time asked for after it is
    // still waiting, the moment when the clock shows one setting and the other is on its way.
    std::atomic<qint64> offset{0};
    QSemaphore entered, release;
    const auto read = [&] { return QDateTime::currentMSecsSinceEpoch() + offset.load(); };
    DesktopClock clock({kNoBus,
                        [&](qint64 msecUtc) {
                            entered.release();
                            release.acquire();
                            offset = msecUtc - QDateTime::currentMSecsSinceEpoch();
                            return 0;
                        },
                        read});
    const auto unblock = qScopeGuard([&] { release.release(8); });  // a failed check must not hang the join
    // The values told apart lie days or hours apart; a minute leaves room for any stall.
    const auto near = [](const QDateTime& a, const QDateTime& b) { return qAbs(a.msecsTo(b)) < 60'000; };

    QVERIFY(clock.setDate(QDate(2031, 7, 9)));
    QVERIFY(entered.tryAcquire(1, 5000));
    const QDateTime time(QDate(2031, 7, 9), QTime(21, 0, 0));
    QVERIFY(near(clock.now(), QDateTime(QDate(2031, 7, 9), QDateTime::currentDateTime().time())));
    QVERIFY(clock.setTime(time));
    release.release();  // the date is set; the time waits in the setter
    QVERIFY(entered.tryAcquire(1, 5000));
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(read()).date(), QDate(2031, 7, 9));
    QVERIFY2(near(clock.now(), time), qPrintable(clock.now().toString(Qt::ISODate)));
    release.release();
    QVERIFY(clock.waitUntilSettled(5000));
    QVERIFY(near(clock.now(), time) && near(QDateTime::fromMSecsSinceEpoch(read()), time));
}

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"

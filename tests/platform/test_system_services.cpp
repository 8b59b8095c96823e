#include "platform/desktop_clock.h"
#include "platform/kernel_local_address.h"
#include "fakes/network_namespace.h"

#include <QHostAddress>
#include <QTest>

#include <mutex>

#include <time.h>

namespace {

bool isDottedIPv4(const QString& text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
        && text.count(u'.') == 3;
}


qint64 realMinusMonotonicMs()
{
    timespec real{};
    timespec mono{};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &mono);
    return (qint64(real.tv_sec) - qint64(mono.tv_sec)) * 1000 + (real.tv_nsec - mono.tv_nsec) / 1'000'000;
}

} // namespace

class TestSystemServices : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void localAddressTowardLoopback();
    void localAddressFallsBack();
    void clockReadsLocalTime();
    void clockSettersWithoutBus();
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
    const QDateTime now = clock.now();
    QCOMPARE(now.timeSpec(), Qt::LocalTime);
    QVERIFY(qAbs(now.msecsTo(QDateTime::currentDateTime())) < 1000);
}

void TestSystemServices::clockSettersWithoutBus()
{
    // No bus to reach: the settings fall back to the direct setter, here a recording stand-in,
    // so the machine's clock cannot change whatever rights this test has.
    QList<qint64> direct;
    std::mutex mutex;
    DesktopClock clock(QStringLiteral("unix:path=/nonexistent/rivect-no-bus"), [&](qint64 msecUtc) {
        std::lock_guard lock(mutex);
        direct.append(msecUtc);
        return false;
    });
    const qint64 offsetBefore = realMinusMonotonicMs();
    QVERIFY(!clock.setDate(QDate()));
    QVERIFY(!clock.setTime(QDateTime()));
    const QDateTime asked(QDate::currentDate(), QTime(3, 4, 5));
    QVERIFY(clock.setTime(asked));
    QVERIFY(clock.waitUntilSettled(5000));
    QVERIFY(clock.lastRefused());
    std::lock_guard lock(mutex);
    QCOMPARE(direct.size(), 1);
    QVERIFY(qAbs(direct[0] - asked.toMSecsSinceEpoch()) < 1000);
    QVERIFY(qAbs(realMinusMonotonicMs() - offsetBefore) < 1000);
}

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"

#include "platform/linux/desktop_clock.h"
#include "platform/linux/kernel_local_address.h"
#include "fakes/network_namespace.h"

#include <QHostAddress>
#include <QTest>

namespace {

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
    {
        DesktopClock clock(QStringLiteral("unix:path=/nonexistent/rivect-no-bus"), [&](qint64 msecUtc) {
            direct.append(msecUtc);
            return false;
        });
        QVERIFY(!clock.setDate(QDate()));
        QVERIFY(!clock.setTime(QDateTime()));
        QVERIFY(clock.setTime(QDateTime(QDate(2001, 2, 3), QTime(3, 4, 5))));
        QVERIFY(clock.waitUntilSettled(5000));
        QVERIFY(clock.lastRefused());
        QVERIFY(qAbs(clock.now().msecsTo(QDateTime::currentDateTime())) < 1000);
    }
    QCOMPARE(direct.size(), 1);  // read after the clock's thread has been joined
    QVERIFY(qAbs(direct[0] - QDateTime(QDate(2001, 2, 3), QTime(3, 4, 5)).toMSecsSinceEpoch()) < 1000);
}

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"

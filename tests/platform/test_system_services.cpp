#include "platform/desktop_clock.h"
#include "platform/kernel_local_address.h"
#include "fakes/network_namespace.h"

#include <QDBusConnection>
#include <QFile>
#include <QHostAddress>
#include <QTest>

#include <time.h>

namespace {

bool isDottedIPv4(const QString& text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
        && text.count(u'.') == 3;
}


// CAP_SYS_TIME is bit 25 of the effective capability set.
bool hasSysTime()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("CapEff:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> 25) & 1;
    }
    return true;
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
    void clockSettersAreRefusedInSandbox();
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

void TestSystemServices::clockSettersAreRefusedInSandbox()
{
    // The setters would change this machine's clock: they are only ever called where the
    // sandbox has taken away both ways of doing so.
    if (qEnvironmentVariableIsEmpty("RIVECT_SANDBOX"))
        QSKIP("runs only inside the test sandbox");
    if (hasSysTime())
        QSKIP("CAP_SYS_TIME is still held");
    if (QDBusConnection::systemBus().isConnected())
        QSKIP("the system bus is reachable");

    DesktopClock clock;
    const qint64 offsetBefore = realMinusMonotonicMs();
    QVERIFY(!clock.setDate(QDate(2001, 2, 3)));
    QVERIFY(!clock.setTime(QDateTime(QDate::currentDate(), QTime(3, 4, 5))));
    QVERIFY(!clock.setTime(QDateTime()));
    QVERIFY(qAbs(realMinusMonotonicMs() - offsetBefore) < 1000);
}

QTEST_GUILESS_MAIN(TestSystemServices)
#include "test_system_services.moc"

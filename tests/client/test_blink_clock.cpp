#include "client_fixture.h"

#include <QTest>

namespace {
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kCyan(0x00, 0xFF, 0xFF);

// Runs the blink to its end, as 21 events of the timer.
void blinkToEnd(ClientWindow& w)
{
    for (int i = 0; i < 21 && w.Time_Blink.enabled(); ++i)
        w.Time_Blink_Timer();
}
} // namespace

class BlinkClockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void blinkTable();
    void filing_data();
    void filing();
    void blinkClearsDriverMessage();
    void reportDuringBlink();
    void blinkSurvivesStop();
    void nowTime();
    void countdown_data();
    void countdown();
    void noEndTimeNoCountdown();
};

void BlinkClockTest::blinkTable()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456));
    QVERIFY(w.Time_Blink.enabled());
    QCOMPARE(w.m_BlinkCount, 0);

    for (int event = 1; event <= 20; ++event) {
        w.Time_Blink_Timer();
        QCOMPARE(w.m_BlinkCount, event);
        QVERIFY(w.Lbl_BlkTime.visible());
        QVERIFY(!w.Lbl_Time.visible());
        QVERIFY(w.Time_Blink.enabled());
        QCOMPARE(w.Lbl_BlkTime.backColor(), event % 2 ? kYellow : kBlack);
        QCOMPARE(w.Lbl_BlkTime.foreColor(), event % 2 ? kBlack : kYellow);
        QCOMPARE(w.Lbl_OldTime1.caption(), QString());
    }
    w.Time_Blink_Timer();
    QCOMPARE(w.m_BlinkCount, 0);
    QVERIFY(!w.Time_Blink.enabled());
    QVERIFY(!w.Lbl_BlkTime.visible());
    QVERIFY(w.Lbl_Time.visible());
    QCOMPARE(w.Lbl_BlkTime.backColor(), kBlack);
    QCOMPARE(w.Lbl_BlkTime.foreColor(), kYellow);
    // The first lap of the program is compared with a lap of 0.
    QCOMPARE(w.Lbl_OldTime1.caption(), QStringLiteral("1'23\"456"));
    QCOMPARE(w.Lbl_OldTime1Sa.caption(), QStringLiteral("+1'23\"456"));
    QCOMPARE(w.Lbl_OldTime1Sa.foreColor(), kRed);
}

void BlinkClockTest::filing_data()
{
    QTest::addColumn<int>("prev");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("gap");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("slower") << 82222 << 83456 << "+0'01\"234" << kRed;
    QTest::newRow("faster") << 83456 << 82222 << "-0'01\"234" << kCyan;
    QTest::newRow("equal") << 83456 << 83456 << "-0'00\"000" << kCyan;
    QTest::newRow("gap beyond 32 bits") << -2147483647 - 1 << 2147483647 << "+35791'23\"647" << kRed;
    QTest::newRow("negative gap beyond 32 bits") << 2147483647 << -999999999 << "-35791'23\"647" << kCyan;
}

void BlinkClockTest::filing()
{
    QFETCH(int, prev);
    QFETCH(int, last);
    QFETCH(QString, gap);
    QFETCH(QColor, colour);
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_LastLap = prev;
    QString r = ClientFixture::report(1, 0);
    r.replace(4, 10, QString::number(last).rightJustified(10, QLatin1Char(' '), true));
    f.sock.deliver(r);
    QCOMPARE(f.pub.Pub_PrevLap, prev);
    QCOMPARE(f.pub.Pub_LastLap, last);
    blinkToEnd(w);
    QCOMPARE(w.Lbl_OldTime1Sa.caption(), gap);
    QCOMPARE(w.Lbl_OldTime1Sa.foreColor(), colour);
}

void BlinkClockTest::blinkClearsDriverMessage()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456));
    f.pub.Pub_MessIndex = 2;
    w.Lbl_OutMess.setCaption(QStringLiteral("ピットイン"));
    blinkToEnd(w);
    QCOMPARE(f.pub.Pub_MessIndex, int16_t(0));
    QCOMPARE(w.Lbl_OutMess.caption(), QString());
    w.Time_SendData_Timer();
    QCOMPARE(f.sock.sent.last(), QStringLiteral("001"));
}

void BlinkClockTest::reportDuringBlink()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456));
    for (int i = 0; i < 10; ++i)
        w.Time_Blink_Timer();
    f.sock.deliver(ClientFixture::report(2, 82222));
    QCOMPARE(w.m_BlinkCount, 10);
    QCOMPARE(w.Lbl_BlkTime.caption(), QStringLiteral("1'22\"222"));
    for (int i = 0; i < 10; ++i)
        w.Time_Blink_Timer();
    QVERIFY(w.Time_Blink.enabled());
    w.Time_Blink_Timer();
    QVERIFY(!w.Time_Blink.enabled());
    QCOMPARE(w.Lbl_OldTime1.caption(), QStringLiteral("1'22\"222"));
    QCOMPARE(w.Lbl_OldTime1Sa.caption(), QStringLiteral("-0'01\"234"));
}

void BlinkClockTest::blinkSurvivesStop()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456));
    for (int i = 0; i < 5; ++i)
        w.Time_Blink_Timer();
    w.Btn_Start_Click();  // Stop, answered Yes
    QVERIFY(w.Time_Blink.enabled() && w.Lbl_BlkTime.visible());
    QCOMPARE(w.m_BlinkCount, 5);
    blinkToEnd(w);
    QCOMPARE(w.Lbl_OldTime1.caption(), QStringLiteral("1'23\"456"));
    QVERIFY(w.Lbl_Time.visible());
}

void BlinkClockTest::nowTime()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    QCOMPARE(w.Lbl_NowTime.caption(), QString());
    f.clock.setTime(QDateTime(QDate(2026, 5, 3), QTime(9, 5, 3, 900)));
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_NowTime.caption(), QStringLiteral("09:05:03"));
    f.clock.advance(14 * 3600 * 1000);
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_NowTime.caption(), QStringLiteral("23:05:03"));
}

void BlinkClockTest::countdown_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("end");
    QTest::addColumn<QString>("shown");
    const QDate d(2026, 5, 3);
    QTest::newRow("before") << QDateTime(d, QTime(10, 0, 0)) << QDateTime(d, QTime(11, 2, 5)) << "1:02:05";
    QTest::newRow("10 s before") << QDateTime(d, QTime(10, 59, 50)) << QDateTime(d, QTime(11, 0, 0)) << "0:00:10";
    QTest::newRow("10 s after") << QDateTime(d, QTime(11, 0, 10)) << QDateTime(d, QTime(11, 0, 0)) << "0:00:10";
    QTest::newRow("at the end") << QDateTime(d, QTime(11, 0, 0)) << QDateTime(d, QTime(11, 0, 0)) << "0:00:00";
    QTest::newRow("whole seconds") << QDateTime(d, QTime(10, 59, 49, 900)) << QDateTime(d, QTime(11, 0, 0))
                                   << "0:00:11";
    QTest::newRow("over midnight") << QDateTime(d, QTime(23, 59, 50)) << QDateTime(d.addDays(1), QTime(0, 0, 10))
                                   << "0:00:20";
    QTest::newRow("90061 s") << QDateTime(d, QTime(10, 0, 0)) << QDateTime(d.addDays(1), QTime(11, 1, 1))
                             << "25:01:01";
    QTest::newRow("beyond 32 bits") << QDateTime(d, QTime(10, 0, 0)) << QDateTime(QDate(9999, 1, 1), QTime(0, 0))
                                    << "596523:14:07";
}

void BlinkClockTest::countdown()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, end);
    QFETCH(QString, shown);
    ClientFixture f;
    f.clock.setTime(now);
    f.pub.Pub_EndTime = end;
    f.pub.Pub_EndTimeSet = VbTrue;
    f.w->Time_Jikan_Timer();
    QCOMPARE(f.w->Lbl_EndTime.caption(), shown);
}

void BlinkClockTest::noEndTimeNoCountdown()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(Datagram::lapReportText(false, 1, 83456, 0, 0, QDate(2026, 5, 3), QTime(10, 0, 0),
                                           QTime(10, 30, 0), QString()));
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_EndTime.caption(), QStringLiteral("0:30:00"));
    f.clock.advance(1000);
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_EndTime.caption(), QStringLiteral("0:29:59"));
    // The next report without an end time empties the display at the next second.
    f.sock.deliver(ClientFixture::report(2, 83456));
    QCOMPARE(w.Lbl_EndTime.caption(), QStringLiteral("0:29:59"));
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_EndTime.caption(), QString());
}

QTEST_GUILESS_MAIN(BlinkClockTest)
#include "test_blink_clock.moc"

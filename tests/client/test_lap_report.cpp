#include "client_fixture.h"

#include <QTest>

namespace {

const QString kIdeoSpaces(5, QChar(0x3000));

// A report with the columns from `first` on replaced by text.
QString withColumns(QString report, int first, const QString& text)
{
    return report.replace(first - 1, text.size(), text);
}

QString fullReport(int lapNo, int lastLap, const QString& date, const QString& clock, const QString& end,
                   const QString& hostText = QString())
{
    QString r = ClientFixture::report(lapNo, lastLap, false, hostText);
    r = withColumns(r, 35, date.leftJustified(10, QLatin1Char(' ')));
    r = withColumns(r, 45, clock.leftJustified(8, QLatin1Char(' ')));
    return withColumns(r, 53, end.leftJustified(8, QLatin1Char(' ')));
}

} // namespace

class LapReportTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstLapZeroNeedsC();
    void takenReportUpdatesEverything();
    void repeatOnlyLightsLamp();
    void cReportIsTakenAgain();
    void smallCIsNormal();
    void hostTextColumns();
    void hostTextCutToCounter();
    void shortReport();
    void badDate();
    void badClockTime();
    void badEndTime();
    void equalClockAndEndTime();
    void overflowingFieldKeepsValue();
    void refusingClock();
    void untakeableDatagram();
};

void LapReportTest::firstLapZeroNeedsC()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.tick.fire(50);
    f.sock.deliver(ClientFixture::report(0, 83456));
    QCOMPARE(w.m_RecvFlag, VbTrue);
    QCOMPARE(w.Lbl_Lap.caption(), QString());
    QVERIFY(!w.Time_Blink.enabled());
    QCOMPARE(f.pub.Pub_LastLap, 0);
    QCOMPARE(f.pub.Pub_TickCount.load(), 50);

    f.sock.deliver(ClientFixture::report(0, 83456, true));
    QCOMPARE(w.Lbl_Lap.caption(), QStringLiteral("1周目"));
    QCOMPARE(w.m_RecvHead, QStringLiteral("C"));
    QCOMPARE(w.m_PrevLapNo, 0);
    QVERIFY(w.Time_Blink.enabled());
    QCOMPARE(f.pub.Pub_TickCount.load(), 0);
}

void LapReportTest::takenReportUpdatesEverything()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_LastLap = 82222;
    w.Lbl_InMess.setCaption(QStringLiteral("old ticker"));
    f.tick.fire(99);
    const QString r = Datagram::lapReportText(false, 4, 83456, 80000, 81000, QDate(2026, 6, 7), QTime(12, 0, 0),
                                              QTime(13, 30, 0), QStringLiteral("ABCDE"));
    f.sock.deliver(r);

    QCOMPARE(w.m_RecvData, r);
    QCOMPARE(w.m_RecvHead, QStringLiteral(" "));
    QCOMPARE(w.m_LapNo, 4);
    QCOMPARE(w.m_PrevLapNo, 4);
    QCOMPARE(f.pub.Pub_TickCount.load(), 0);
    QCOMPARE(w.Lbl_Lap.caption(), QStringLiteral("5周目"));
    QCOMPARE(f.pub.Pub_PrevLap, 82222);
    QCOMPARE(f.pub.Pub_LastLap, 83456);
    QCOMPARE(f.pub.Pub_BestLap, 80000);
    QCOMPARE(f.pub.Pub_AveLap, 81000);
    QCOMPARE(f.clock.datesSet, QList<QDate>{QDate(2026, 6, 7)});
    QCOMPARE(f.clock.timesSet, QList<QDateTime>{QDateTime(QDate(2026, 6, 7), QTime(12, 0, 0))});
    QCOMPARE(f.pub.Pub_EndTime, QDateTime(QDate(2026, 6, 7), QTime(13, 30, 0)));
    QCOMPARE(f.pub.Pub_EndTimeSet, VbTrue);
    QCOMPARE(f.pub.Pub_InMess, QStringLiteral("ABCDE") + kIdeoSpaces);
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(10));
    QCOMPARE(w.Lbl_InMess.caption(), QString());
    QCOMPARE(w.Lbl_BlkTime.caption(), QStringLiteral("1'23\"456"));
    QCOMPARE(w.Lbl_BestLap.caption(), QStringLiteral("Bst 1'20\"000"));
    QCOMPARE(w.Lbl_AveLap.caption(), QStringLiteral("Ave 1'21\"000"));
    QVERIFY(!w.Lbl_Time.visible());
    QVERIFY(w.Lbl_BlkTime.visible());
    QVERIFY(w.Time_Blink.enabled());
    QCOMPARE(f.sock.closes, 0);  // nothing failed, nothing re-bound
}

void LapReportTest::repeatOnlyLightsLamp()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    const QString r = ClientFixture::report(2, 83456);
    f.sock.deliver(r);
    // The blink has ended and the lap is running when the host repeats its report.
    w.Time_Blink.setEnabled(false);
    w.Lbl_BlkTime.setVisible(false);
    w.Lbl_Time.setVisible(true);
    w.m_RecvFlag = VbFalse;
    f.tick.fire(300);
    const int datesBefore = f.clock.datesSet.size();

    f.sock.deliver(withColumns(r, 5, QStringLiteral("     99999")));
    QCOMPARE(w.m_RecvFlag, VbTrue);
    QCOMPARE(f.pub.Pub_TickCount.load(), 300);
    QVERIFY(!w.Time_Blink.enabled());
    QVERIFY(w.Lbl_Time.visible());
    QCOMPARE(f.pub.Pub_LastLap, 83456);
    QCOMPARE(f.clock.datesSet.size(), datesBefore);
}

void LapReportTest::cReportIsTakenAgain()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(2, 83456));
    w.Time_Blink.setEnabled(false);
    f.tick.fire(300);

    f.sock.deliver(ClientFixture::report(2, 84000, true));
    QCOMPARE(f.pub.Pub_TickCount.load(), 0);
    QCOMPARE(f.pub.Pub_PrevLap, 83456);
    QCOMPARE(f.pub.Pub_LastLap, 84000);
    QCOMPARE(w.m_PrevLapNo, 2);
    QCOMPARE(w.Lbl_Lap.caption(), QStringLiteral("3周目"));
    QVERIFY(w.Time_Blink.enabled());
}

void LapReportTest::smallCIsNormal()
{
    ClientFixture f;
    f.start();
    f.sock.deliver(QLatin1Char('c') + ClientFixture::report(0, 83456).mid(1));
    QCOMPARE(f.w->Lbl_Lap.caption(), QString());
    QCOMPARE(f.w->m_PrevLapNo, 0);
}

void LapReportTest::hostTextColumns()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456, false, QStringLiteral("号")));
    QCOMPARE(f.pub.Pub_InMess, QStringLiteral("号") + kIdeoSpaces);
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(6));

    w.Lbl_InMess.setCaption(QStringLiteral("xyz"));
    const QString sixty = ClientFixture::report(2, 83456);
    QCOMPARE(sixty.size(), 60);
    f.sock.deliver(sixty);
    QCOMPARE(f.pub.Pub_InMess, QString());
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(0));
    QCOMPARE(w.Lbl_InMess.caption(), QString());
}

void LapReportTest::hostTextCutToCounter()
{
    ClientFixture f;
    f.start();
    const QString text = QString(32762, QLatin1Char('a')) + QString(100, QLatin1Char('b'));
    f.sock.deliver(ClientFixture::report(1, 83456, false, text));
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(32767));
    QCOMPARE(f.pub.Pub_InMess.size(), 32767);
    QCOMPARE(f.pub.Pub_InMess, QString(32762, QLatin1Char('a')) + kIdeoSpaces);
    QCOMPARE(f.w->Lbl_Lap.caption(), QStringLiteral("2周目"));
}

void LapReportTest::shortReport()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_LastLap = 5000;
    f.pub.Pub_EndTimeSet = VbTrue;
    f.sock.deliver(QStringLiteral(" 5"));
    QCOMPARE(w.Lbl_Lap.caption(), QStringLiteral("6周目"));
    QCOMPARE(f.pub.Pub_PrevLap, 5000);
    QCOMPARE(f.pub.Pub_LastLap, 0);
    QCOMPARE(w.Lbl_BlkTime.caption(), QStringLiteral("0'00\"000"));
    QCOMPARE(w.Lbl_BestLap.caption(), QStringLiteral("Bst 0'00\"000"));
    QCOMPARE(w.Lbl_AveLap.caption(), QStringLiteral("Ave 0'00\"000"));
    // The missing date fails its step (one re-bind); the missing times are midnight alike.
    QVERIFY(f.clock.datesSet.isEmpty());
    QVERIFY(f.clock.timesSet.isEmpty());
    QCOMPARE(f.sock.closes, 1);
    QVERIFY(f.sock.isBound());
    QCOMPARE(f.pub.Pub_EndTimeSet, VbFalse);
    QCOMPARE(f.pub.Pub_EndTime, QDateTime(f.clock.now().date(), QTime(0, 0, 0)));
    QVERIFY(w.Time_Blink.enabled());
}

void LapReportTest::badDate()
{
    ClientFixture f;
    f.start();
    f.sock.deliver(fullReport(1, 83456, QStringLiteral("2026/02/30"), QStringLiteral("12:00:00"),
                              QStringLiteral("13:00:00")));
    QVERIFY(f.clock.datesSet.isEmpty());
    QCOMPARE(f.sock.closes, 1);
    const QDate today = QDate(2026, 5, 3);  // the fake clock's own date, left alone
    QCOMPARE(f.clock.timesSet, QList<QDateTime>{QDateTime(today, QTime(12, 0, 0))});
    QCOMPARE(f.pub.Pub_EndTime, QDateTime(today, QTime(13, 0, 0)));
    QCOMPARE(f.pub.Pub_EndTimeSet, VbTrue);
    QCOMPARE(f.pub.Pub_LastLap, 83456);
}

void LapReportTest::badClockTime()
{
    ClientFixture f;
    f.start();
    f.sock.deliver(fullReport(1, 83456, QStringLiteral("2026/05/03"), QStringLiteral("12:00:00"),
                              QStringLiteral("13:00:00")));
    const QDateTime endBefore = f.pub.Pub_EndTime;
    f.sock.deliver(fullReport(2, 84000, QStringLiteral("2026/05/04"), QStringLiteral("25:00:00"),
                              QStringLiteral("14:00:00")));
    QCOMPARE(f.clock.timesSet.size(), 1);
    QCOMPARE(f.clock.datesSet.size(), 2);
    QCOMPARE(f.pub.Pub_EndTime, endBefore);
    QCOMPARE(f.pub.Pub_EndTimeSet, VbTrue);
    QCOMPARE(f.sock.closes, 1);
    QCOMPARE(f.pub.Pub_LastLap, 84000);
}

void LapReportTest::badEndTime()
{
    ClientFixture f;
    f.start();
    f.sock.deliver(fullReport(1, 83456, QStringLiteral("2026/05/03"), QStringLiteral("12:00:00"),
                              QStringLiteral("13:00:00")));
    // The end time stays the previous one; the new clock time equals it, so no end is shown.
    f.sock.deliver(fullReport(2, 84000, QStringLiteral("2026/05/03"), QStringLiteral("13:00:00"),
                              QStringLiteral("13:00:6x")));
    QCOMPARE(f.pub.Pub_EndTime, QDateTime(QDate(2026, 5, 3), QTime(13, 0, 0)));
    QCOMPARE(f.pub.Pub_EndTimeSet, VbFalse);
    QCOMPARE(f.clock.timesSet.size(), 1);
    QCOMPARE(f.sock.closes, 1);
}

void LapReportTest::equalClockAndEndTime()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    f.pub.Pub_EndTimeSet = VbTrue;
    f.sock.deliver(fullReport(1, 83456, QStringLiteral("2026/05/03"), QStringLiteral("10:20:30"),
                              QStringLiteral("10:20:30")));
    QCOMPARE(f.pub.Pub_EndTimeSet, VbFalse);
    QVERIFY(f.clock.timesSet.isEmpty());
    w.Lbl_EndTime.setCaption(QStringLiteral("0:00:10"));
    w.Time_Jikan_Timer();
    QCOMPARE(w.Lbl_EndTime.caption(), QString());
}

void LapReportTest::overflowingFieldKeepsValue()
{
    ClientFixture f;
    f.start();
    f.sock.deliver(ClientFixture::report(1, 83456));
    QString r = ClientFixture::report(2, 0);
    r = withColumns(r, 5, QStringLiteral("9999999999"));
    r = withColumns(r, 25, QStringLiteral(" 81001.5  "));
    f.sock.deliver(r);
    QCOMPARE(f.pub.Pub_PrevLap, 83456);
    QCOMPARE(f.pub.Pub_LastLap, 83456);
    QCOMPARE(f.pub.Pub_BestLap, 80000);
    QCOMPARE(f.pub.Pub_AveLap, 81002);
    QCOMPARE(f.sock.closes, 1);
    QCOMPARE(f.w->Lbl_Lap.caption(), QStringLiteral("3周目"));
    QVERIFY(f.sock.isBound());
}

void LapReportTest::refusingClock()
{
    ClientFixture f;
    f.start();
    f.clock.refuse = true;
    f.sock.deliver(fullReport(1, 83456, QStringLiteral("2026/06/07"), QStringLiteral("12:00:00"),
                              QStringLiteral("13:00:00"), QStringLiteral("ab")));
    QCOMPARE(f.clock.now(), QDateTime(QDate(2026, 5, 3), QTime(10, 0, 0)));
    QCOMPARE(f.sock.closes, 0);
    QCOMPARE(f.pub.Pub_EndTimeSet, VbTrue);
    QCOMPARE(f.pub.Pub_EndTime, QDateTime(QDate(2026, 5, 3), QTime(13, 0, 0)));
    QCOMPARE(f.pub.Pub_LastLap, 83456);
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(7));
    QVERIFY(f.w->Time_Blink.enabled());
}

void LapReportTest::untakeableDatagram()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start();
    const QString r = ClientFixture::report(1, 83456);
    f.sock.deliver(r);
    w.m_RecvFlag = VbFalse;
    f.tick.fire(20);

    f.sock.takeErrors = {SocketError::Other};
    f.sock.deliver(ClientFixture::report(2, 90000));
    QCOMPARE(w.m_RecvData, r);  // the previous text, a repeat now
    QCOMPARE(w.m_RecvFlag, VbTrue);
    QCOMPARE(f.pub.Pub_TickCount.load(), 20);
    QCOMPARE(f.sock.closes, 1);
    QVERIFY(f.sock.isBound());

    // A "C" report held over is taken again even though its datagram could not be read.
    f.sock.deliver(ClientFixture::report(1, 84000, true));
    f.sock.takeErrors = {SocketError::Other};
    f.sock.deliver(ClientFixture::report(5, 90000));
    QCOMPARE(f.pub.Pub_LastLap, 84000);
    QCOMPARE(f.pub.Pub_PrevLap, 84000);
}

QTEST_GUILESS_MAIN(LapReportTest)
#include "test_lap_report.moc"

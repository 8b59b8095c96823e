#include "client_fixture.h"

#include "client/time_format.h"

#include <QFileInfo>
#include <QTest>

#include <limits>

using namespace MsgBox;

namespace {
// Every control the run switches, as one comparable text.
QString runState(ClientWindow& w)
{
    return QStringList{w.Btn_Start.caption(),
                       QString::number(w.Btn_HostIP.enabled()), QString::number(w.Btn_End.enabled()),
                       QString::number(w.Btn_EditMess.enabled()), QString::number(w.Cmb_CarNo.enabled()),
                       QString::number(w.Time_Chk.enabled()), QString::number(w.Time_SendData.enabled()),
                       QString::number(w.Time_HostChk.enabled())}
        .join(QLatin1Char(' '));
}
const QString kIdle = QStringLiteral("Start 1 1 1 1 0 0 0");
const QString kMeasuring = QStringLiteral("Stop 0 0 0 0 1 1 0");
} // namespace

class ClientRunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadPlacesAndPrepares();
    void closeIsRefused();
    void endAsksFirst();
    void startWithoutCar();
    void startAndStop();
    void portTable_data();
    void portTable();
    void carTextOutsideTable();
    void busyPortLeavesWindowIdle();
    void runningTimeAndLamp();
    void startAndStopSteps_inOrder();
    void tickProcAtItsLargestValue();
};

void ClientRunTest::loadPlacesAndPrepares()
{
    ClientFixture f(false);
    ClientWindow& w = *f.w;
    w.Lbl_Time.setLeft(75);
    w.Lbl_Time.setTop(1245);
    w.Lbl_BlkTime.setLeft(12000);
    w.Lbl_BlkTime.setTop(1320);
    w.Lbl_Lap.setVisible(false);
    w.Form.outerWidth = 11955;
    w.m_HostWait = VbTrue;
    f.pub.Pub_InMess = QStringLiteral("old");
    f.pub.Pub_InMessLen = 3;

    w.Form_Load();

    QCOMPARE(w.Lbl_LocalIP.caption(), QStringLiteral("127.0.0.1"));
    QVERIFY(w.Lbl_Lap.visible());
    QVERIFY(!w.Lbl_BlkTime.visible());
    QCOMPARE(w.Lbl_BlkTime.left(), 75);
    QCOMPARE(w.Lbl_BlkTime.top(), 1245);
    QCOMPARE(f.pub.Pub_ScreenWidth, 15360);
    QCOMPARE(f.pub.Pub_ScreenHeight, 11520);
    QCOMPARE(w.Form.top(), 0);
    QVERIFY(qAbs(w.Form.left() - 1702) <= 1);  // (15360 - 11955) / 2 = 1702.5
    QCOMPARE(f.pub.Pub_MessPath, f.folder.path() + QStringLiteral("/OutMess.txt"));
    QVERIFY(QFileInfo::exists(f.pub.Pub_MessPath));
    QVERIFY(!f.pub.Pub_MessList.isEmpty());
    QCOMPARE(f.pub.Pub_MessList.value(0), QString());
    QCOMPARE(f.pub.Pub_InMess, QString());
    QCOMPARE(f.pub.Pub_InMessLen, int16_t(0));
    QCOMPARE(w.m_HostWait, VbFalse);
    // Nothing goes out and nothing runs at load but the clock.
    QCOMPARE(f.sock.binds + f.chk.binds, 0);
    QCOMPARE(f.tick.running(), 0);
    QCOMPARE(runState(w), kIdle);
    QVERIFY(w.Time_Jikan.enabled());
    QCOMPARE(w.focus(), &w.Btn_MessChg);
}

void ClientRunTest::closeIsRefused()
{
    ClientFixture f;
    QVERIFY(f.w->Form_QueryUnload());
    QCOMPARE(f.endCalls, 0);
    QVERIFY(f.dialogs.boxes.isEmpty());
}

void ClientRunTest::endAsksFirst()
{
    ClientFixture f;
    f.dialogs.answers = {vbNo, vbYes};
    f.w->Btn_End_Click();
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QCOMPARE(f.dialogs.boxes[0].prompt, QStringLiteral("終了します。\rよろしいですか？"));
    QCOMPARE(f.dialogs.boxes[0].style, vbYesNo | vbInformation | vbDefaultButton1);
    QCOMPARE(f.dialogs.boxes[0].title, QStringLiteral("終了確認"));
    QCOMPARE(f.pub.Pub_Answer, int16_t(vbNo));
    QCOMPARE(f.endCalls, 0);

    f.w->Btn_End_Click();
    QCOMPARE(f.pub.Pub_Answer, int16_t(vbYes));
    QCOMPARE(f.endCalls, 1);
}

void ClientRunTest::startWithoutCar()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    w.Time_HostChk.setEnabled(true);
    w.Btn_Start_Click();
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QCOMPARE(f.dialogs.boxes[0].prompt, QStringLiteral("車両番号が選択されていません"));
    QCOMPARE(f.dialogs.boxes[0].style, vbOKOnly);
    QCOMPARE(f.dialogs.boxes[0].title, QString());
    QCOMPARE(w.focus(), &w.Cmb_CarNo);
    QCOMPARE(runState(w), QStringLiteral("Start 1 1 1 1 0 0 1"));
    QCOMPARE(f.tick.running(), 0);
    QCOMPARE(f.sock.binds, 0);
}

void ClientRunTest::startAndStop()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    w.Time_HostChk.setEnabled(true);
    f.pub.Pub_TickCount = 555;
    w.setFocus(w.Cmb_CarNo);

    f.start(3);
    QCOMPARE(runState(w), kMeasuring);
    QCOMPARE(f.pub.Pub_TickCount.load(), 0);
    QCOMPARE(f.tick.running(), 1);
    QCOMPARE(f.tick.lastDelayMs, 10);
    QVERIFY(f.pub.Pub_TimerId != 0);
    QVERIFY(f.sock.isBound());
    QCOMPARE(f.sock.log, QStringList{QStringLiteral("bind 7031")});
    QCOMPARE(w.focus(), &w.Btn_MessChg);
    QVERIFY(f.dialogs.boxes.isEmpty());
    f.tick.fire(7);
    QCOMPARE(f.pub.Pub_TickCount.load(), 7);

    // Declined: the run goes on, the focus stays where it was.
    w.setFocus(w.Cmb_CarNo);
    f.dialogs.answers = {vbNo};
    w.Btn_Start_Click();
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QCOMPARE(f.dialogs.boxes[0].prompt, QStringLiteral("タイム計測を中断します。\rよろしいですか"));
    QCOMPARE(f.dialogs.boxes[0].style, vbYesNo | vbInformation | vbDefaultButton2);
    QCOMPARE(f.dialogs.boxes[0].title, QStringLiteral("中断"));
    QCOMPARE(f.pub.Pub_Answer, int16_t(vbNo));
    QCOMPARE(runState(w), kMeasuring);
    QCOMPARE(f.tick.running(), 1);
    QVERIFY(f.sock.isBound());
    QCOMPARE(w.focus(), &w.Cmb_CarNo);

    f.dialogs.answers = {vbYes};
    w.Btn_Start_Click();
    QCOMPARE(f.pub.Pub_Answer, int16_t(vbYes));
    QCOMPARE(runState(w), kIdle);
    QCOMPARE(f.tick.running(), 0);
    QCOMPARE(f.tick.killed, QList<int32_t>{f.pub.Pub_TimerId});
    QVERIFY(!f.sock.isBound());
    QCOMPARE(f.sock.closes, 1);
    QCOMPARE(f.pub.Pub_TickCount.load(), 7);
    QCOMPARE(w.focus(), &w.Btn_MessChg);

    // The next start counts from zero again.
    f.start(3);
    QCOMPARE(f.pub.Pub_TickCount.load(), 0);
    QCOMPARE(runState(w), kMeasuring);
}

void ClientRunTest::portTable_data()
{
    QTest::addColumn<int>("car");
    for (int car = 1; car <= 5; ++car)
        QTest::addRow("car %d", car) << car;
}

void ClientRunTest::portTable()
{
    QFETCH(int, car);
    ClientFixture f;
    f.pub.Pub_HostIP = QStringLiteral("127.0.0.2");
    f.start(car);
    QCOMPARE(int(f.sock.localPort()), 7001 + 10 * car);
    QCOMPARE(int(f.sock.remotePort()), 7002 + 10 * car);
    QCOMPARE(f.sock.remoteHost(), QStringLiteral("127.0.0.2"));
    QVERIFY(f.sock.isBound());
}

void ClientRunTest::carTextOutsideTable()
{
    ClientFixture f;
    f.sock.setLocalPort(1234);
    f.sock.setRemotePort(1235);
    f.w->Cmb_CarNo.setText(QStringLiteral("3号車"));
    f.w->Btn_Start_Click();
    QCOMPARE(runState(*f.w), kMeasuring);
    QCOMPARE(f.sock.binds, 1);
    QCOMPARE(int(f.sock.localPort()), 1234);
    QCOMPARE(int(f.sock.remotePort()), 1235);
}

void ClientRunTest::busyPortLeavesWindowIdle()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    w.Time_HostChk.setEnabled(true);
    f.pub.Pub_TickCount = 42;
    f.sock.bindErrors = {SocketError::AddressInUse};
    bool idleWhileBoxOpen = false;
    f.dialogs.whileOpen = [&] { idleWhileBoxOpen = runState(w) == QStringLiteral("Start 1 1 1 1 0 0 1"); };

    f.start(3);
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QVERIFY(f.dialogs.boxes[0].prompt.contains(QStringLiteral("7031")));
    QCOMPARE(f.dialogs.boxes[0].style, vbOKOnly | vbCritical);
    QVERIFY(idleWhileBoxOpen);
    QCOMPARE(runState(w), QStringLiteral("Start 1 1 1 1 0 0 1"));
    QCOMPARE(f.tick.running(), 0);
    QCOMPARE(f.pub.Pub_TickCount.load(), 42);
    QVERIFY(!f.sock.isBound());
    QCOMPARE(w.focus(), &w.Btn_MessChg);

    // Nothing is left behind: the next press starts normally, not as a stop.
    f.dialogs.whileOpen = nullptr;
    w.Btn_Start_Click();
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QCOMPARE(runState(w), kMeasuring);
    QVERIFY(f.sock.isBound());
}

void ClientRunTest::runningTimeAndLamp()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.start(1);
    f.tick.fire(1234);
    w.Time_Chk_Timer();
    QCOMPARE(w.Lbl_Time.caption(), QStringLiteral("0'12\"34"));
    QCOMPARE(w.Lbl_Link.foreColor(), QColor(0, 0, 0));
    w.m_RecvFlag = VbTrue;
    w.Time_Chk_Timer();
    QCOMPARE(w.Lbl_Link.foreColor(), QColor(0xFF, 0xFF, 0));
    // The send timer ticks just before the lamp in the same pass and clears the flag: a
    // datagram of the period it closed still lights the lamp, and the next quiet period
    // turns it black again.
    w.Time_SendData_Timer();
    w.Time_Chk_Timer();
    QCOMPARE(w.Lbl_Link.foreColor(), QColor(0xFF, 0xFF, 0));
    w.Time_SendData_Timer();
    w.Time_Chk_Timer();
    QCOMPARE(w.Lbl_Link.foreColor(), QColor(0, 0, 0));
    // Refreshed even while the finished lap hides it.
    w.Lbl_Time.setVisible(false);
    f.tick.fire(6000);
    w.Time_Chk_Timer();
    QCOMPARE(w.Lbl_Time.caption(), QStringLiteral("1'12\"34"));
}

void ClientRunTest::startAndStopSteps_inOrder()
{
    ClientFixture f;
    ClientWindow& w = *f.w;
    f.pub.Pub_TickCount = 555;
    QStringList steps;
    f.tick.onChange = [&] {
        steps.append(QStringLiteral("tick clock %1, count %2").arg(f.tick.running()).arg(f.pub.Pub_TickCount.load()));
    };
    w.Time_SendData.changed = [&] { steps.append(QStringLiteral("Time_SendData %1").arg(w.Time_SendData.enabled())); };
    w.Time_Chk.changed = [&] { steps.append(QStringLiteral("Time_Chk %1").arg(w.Time_Chk.enabled())); };
    w.Btn_Start.changed = [&] { steps.append(w.Btn_Start.caption()); };

    // The counter is zeroed before the tick clock starts; the send timer goes first.
    f.start(2);
    QCOMPARE(steps, (QStringList{"tick clock 1, count 0", "Time_SendData 1", "Time_Chk 1", "Stop"}));
    // Stopping, the tick clock stops before any control is changed back.
    steps.clear();
    f.tick.fire(3);
    w.Btn_Start_Click();
    QCOMPARE(steps, (QStringList{"tick clock 0, count 3", "Time_Chk 0", "Time_SendData 0", "Start"}));
}

void ClientRunTest::tickProcAtItsLargestValue()
{
    // About 248.5 days into one lap: the counter stops at its largest value and is shown.
    ClientFixture f;
    f.start(1);
    f.pub.Pub_TickCount = std::numeric_limits<int32_t>::max() - 1;
    f.tick.fire(3);
    QCOMPARE(f.pub.Pub_TickCount.load(), std::numeric_limits<int32_t>::max());
    f.w->Time_Chk_Timer();
    QCOMPARE(f.w->Lbl_Time.caption(), Fmt_LapCenti(std::numeric_limits<int32_t>::max()));
}

QTEST_GUILESS_MAIN(ClientRunTest)
#include "test_client_run.moc"

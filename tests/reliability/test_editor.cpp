// The message editor as the window meets it: none to be had, one that is gone at once, one
// that stays open while a run is measured around the wait, and the program ended during it.
#include "loopback_peer.h"

#include "platform/cp932.h"

#include <QTest>

#include <time.h>

using namespace live;

namespace {

qint64 processCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

QByteArray lapReport(int lapNo)
{
    return Cp932::encode(Datagram::lapReportText(false, lapNo, 83456, 80000, 81000, QDate(2026, 5, 3),
                                                 QTime(10, 0, 0), QTime(10, 0, 0), QString()));
}

} // namespace

class EditorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noneOrGoneAtOnce_data();
    void noneOrGoneAtOnce();
    void editorThatStaysOpenDuringARun();
    void endDuringTheWaitEndsTheProgram();
};

void EditorTest::noneOrGoneAtOnce_data()
{
    QTest::addColumn<bool>("editorFound");
    QTest::addColumn<QString>("label");
    QTest::newRow("no editor at all") << false << QStringLiteral("ファイルを開けませんでした。");
    QTest::newRow("editor gone at once") << true << QString();
}

void EditorTest::noneOrGoneAtOnce()
{
    QFETCH(bool, editorFound);
    QFETCH(QString, label);
    LiveWindow lw;
    ClientWindow& w = lw.w();
    HostPeer host(7042);
    QVERIFY(host.ok());
    lw.editor.fail = !editorFound;
    lw.editor.onOpen = [&](int n) { lw.editor.finish(n); };
    QFile::remove(lw.pub.Pub_MessPath);

    // No wait at all: the press returns without running the event loop, so an event already
    // queued is still pending when it does.
    bool servedDuringPress = false;
    QTimer::singleShot(0, [&] { servedDuringPress = true; });
    w.Btn_EditMess_Click();
    QVERIFY(!servedDuringPress);
    QCOMPARE(w.Lbl_OutMess.caption(), label);
    QCOMPARE(lw.pub.Pub_MessCount, int16_t(3));  // reloaded, the default file written again
    QVERIFY(QFile::exists(lw.pub.Pub_MessPath));
    QVERIFY(lw.dialogs.boxes.isEmpty());

    // Whatever the label says is what a run then sends.
    QVERIFY(lw.start(4));
    QTRY_VERIFY(host.count() >= 2);
    QCOMPARE(host.payloads().first(), Cp932::encode(QStringLiteral("000") + label));
    w.Btn_Start_Click();
}

void EditorTest::editorThatStaysOpenDuringARun()
{
    // Each step follows the one before it, on precise timers or on what the run has done, so
    // the order holds however late the machine runs them; the wait itself is judged by what it
    // served and by when it ended, never by how long it took.
    LiveWindow lw;
    ClientWindow& w = lw.w();
    HostPeer host(7012);
    QVERIFY(host.ok());
    RawSocket peer;

    double cpuShare = -1;
    qint64 cpuFrom = 0;
    qint64 wallFrom = 0;
    QString labelDuringWait;
    int chkDuringRun = -1;
    qint64 runFrom = 0;
    bool lapSent = false;
    bool stoppedInsideTheWait = false;
    bool editorClosed = false;
    QTimer run;  // watches the run from inside the wait until it has done enough
    run.setTimerType(Qt::PreciseTimer);
    QObject::connect(&run, &QTimer::timeout, [&] {
        const int chk = lw.chkBetween(runFrom, nowMs() + 1);
        if (!lapSent && chk >= 3) {
            lapSent = peer.sendTo(7011, lapReport(1));
            return;
        }
        const QList<QByteArray> sent = host.payloads();
        // About 1.5 s of run: Time_Chk served 13 times or more, the lap taken and echoed.
        const bool enough = chk >= 13 && w.Lbl_Lap.caption() == QStringLiteral("2周目") && sent.size() >= 10
            && sent.contains(Cp932::encode(QStringLiteral("001編集中")));
        if (!enough && nowMs() - runFrom < 30000)
            return;
        run.stop();
        chkDuringRun = chk;
        w.Btn_Start_Click();  // stop; the fake answers Yes
        stoppedInsideTheWait = true;
        QTimer::singleShot(100, Qt::PreciseTimer, [&] {
            editorClosed = true;
            lw.editor.finish(0);
        });
    });
    QTimer::singleShot(200, Qt::PreciseTimer, [&] {
        labelDuringWait = w.Lbl_OutMess.caption();
        cpuFrom = processCpuUs();
        wallFrom = nowMs();
        QTimer::singleShot(1000, Qt::PreciseTimer, [&] {
            cpuShare = double(processCpuUs() - cpuFrom) / 1000.0 / double(nowMs() - wallFrom);
            // Btn_Start stays usable while the editor is open.
            runFrom = nowMs();
            lw.start(1);
            run.start(20);
        });
    });

    w.Btn_EditMess_Click();
    // The wait ended only after the editor had closed, and the whole run lay inside it.
    QVERIFY(editorClosed);
    QVERIFY(stoppedInsideTheWait);

    qInfo("waiting cost %.1f %% of one core", cpuShare * 100);
    QCOMPARE(labelDuringWait, QStringLiteral("編集中"));
    // A wait that spins takes a core, or its share of a loaded machine; one that sleeps takes
    // a few per cent at most.
    QVERIFY2(cpuShare >= 0 && cpuShare < 0.25, qPrintable(QString::number(cpuShare)));
    QVERIFY2(chkDuringRun >= 13, qPrintable(QString::number(chkDuringRun)));
    QCOMPARE(w.Lbl_Lap.caption(), QStringLiteral("2周目"));
    const QList<QByteArray> sent = host.payloads();
    QVERIFY2(sent.size() >= 10, qPrintable(QString::number(sent.size())));
    QVERIFY(sent.contains(Cp932::encode(QStringLiteral("000編集中"))));
    QVERIFY(sent.contains(Cp932::encode(QStringLiteral("001編集中"))));
    QCOMPARE(w.Btn_Start.caption(), QStringLiteral("Start"));
    QCOMPARE(w.Lbl_OutMess.caption(), QString());
    QVERIFY(lw.dialogs.boxes.size() == 1);  // the stop confirmation only
}

void EditorTest::endDuringTheWaitEndsTheProgram()
{
    // End -> Yes while the editor is open, under the application's own loop and with the end
    // main wires in. The editor closes by itself only a minute later: the loop must return on
    // the end, not on the editor.
    constexpr qint64 kEditorRunsMs = 60000;
    LiveWindow lw(nullptr, nullptr, [] { QCoreApplication::exit(0); });
    ClientWindow& w = lw.w();
    lw.editor.runsMs = int(kEditorRunsMs);
    qint64 openedAt = 0;
    lw.editor.onOpen = [&](int) { openedAt = nowMs(); };
    QFile::remove(lw.pub.Pub_MessPath);  // a reload after the end would write it again
    // The confirmation box is a loop nested in the wait; the clock goes on inside it.
    lw.dialogs.whileOpen = [&] { serveEvents(1100); };
    qint64 endAt = 0;
    QTimer::singleShot(0, [&] { w.Btn_EditMess_Click(); });
    QTimer::singleShot(200, [&] {
        w.Btn_End_Click();
        endAt = nowMs();
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    const qint64 returnedAt = nowMs();
    QVERIFY(endAt > 0);
    // Returned long before the editor could have closed by itself: the end, not the editor,
    // ended the wait.
    QVERIFY2(returnedAt - openedAt < kEditorRunsMs / 2,
             qPrintable(QStringLiteral("returned %1 ms after the editor opened").arg(returnedAt - openedAt)));
    QCOMPARE(w.Lbl_NowTime.caption(), QStringLiteral("10:00:00"));
    // Nothing of the editing ran on after the end: no label change, no reload.
    QCOMPARE(w.Lbl_OutMess.caption(), QStringLiteral("編集中"));
    QVERIFY(!QFile::exists(lw.pub.Pub_MessPath));
}

QTEST_GUILESS_MAIN(EditorTest)
#include "test_editor.moc"

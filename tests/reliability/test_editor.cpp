// The message editor as the window meets it: none to be had, one that is gone at once, one
// that stays open while a run is measured around the wait, and the program ended during it.
#include "loopback_peer.h"

#include "platform/cp932.h"

#include <QElapsedTimer>
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

    QElapsedTimer clock;
    clock.start();
    w.Btn_EditMess_Click();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
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
    QTimer::singleShot(200, [&] {
        labelDuringWait = w.Lbl_OutMess.caption();
        cpuFrom = processCpuUs();
        wallFrom = nowMs();
    });
    QTimer::singleShot(1200, [&] {
        cpuShare = double(processCpuUs() - cpuFrom) / 1000.0 / double(nowMs() - wallFrom);
        // Btn_Start stays usable while the editor is open.
        runFrom = nowMs();
        lw.start(1);
    });
    QTimer::singleShot(1500, [&] { peer.sendTo(7011, lapReport(1)); });
    QTimer::singleShot(2700, [&] {
        chkDuringRun = lw.chkBetween(runFrom, nowMs());
        w.Btn_Start_Click();  // stop; the fake answers Yes
    });
    QTimer::singleShot(2800, [&] { lw.editor.finish(0); });

    QElapsedTimer clock;
    clock.start();
    w.Btn_EditMess_Click();
    QVERIFY2(clock.elapsed() >= 2700, qPrintable(QString::number(clock.elapsed())));

    qInfo("waiting cost %.1f %% of one core", cpuShare * 100);
    QCOMPARE(labelDuringWait, QStringLiteral("編集中"));
    QVERIFY2(cpuShare >= 0 && cpuShare < 0.05, qPrintable(QString::number(cpuShare)));
    // 1.5 s of run: Time_Chk served about 15 times from inside the wait.
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
    // main wires in. The editor closes 3 s later: the loop must return long before.
    LiveWindow lw(nullptr, nullptr, [] { QCoreApplication::exit(0); });
    ClientWindow& w = lw.w();
    lw.editor.runsMs = 3000;
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
    const qint64 afterEnd = nowMs() - endAt;
    QVERIFY2(afterEnd < 500, qPrintable(QString::number(afterEnd)));
    QCOMPARE(w.Lbl_NowTime.caption(), QStringLiteral("10:00:00"));
    // Nothing of the editing ran on after the end: no label change, no reload.
    QCOMPARE(w.Lbl_OutMess.caption(), QStringLiteral("編集中"));
    QVERIFY(!QFile::exists(lw.pub.Pub_MessPath));
}

QTEST_GUILESS_MAIN(EditorTest)
#include "test_editor.moc"

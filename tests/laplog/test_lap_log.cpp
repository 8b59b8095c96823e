// The lap log on a client window with fake services: the rows of a run, one file per run,
// the file name, and a folder that cannot be written.
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "laplog/lap_log.h"
#include "laplog/lap_log_format.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

/// A loaded client window whose runs a lap log keeps in folder.
struct LogRig : FakeClientServices {
    explicit LogRig(const QString& folder) : log(folder)
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        ClientServices s = services(program.path());
        s.runObserver = [this](const ClientWindow& w, RunEvent e) { log.onRunEvent(w, e); };
        w = std::make_unique<ClientWindow>(pub, std::move(s));
        w->Form_Load();
    }
    void start(int car)
    {
        w->Cmb_CarNo.setText(Datagram::carText(car));
        w->Btn_Start_Click();
    }
    /// Stop, answered Yes.
    void stop() { w->Btn_Start_Click(); }
    /// The boxes shown about the log.
    int logBoxes() const
    {
        QCoreApplication::processEvents();
        return int(std::count_if(dialogs.boxes.begin(), dialogs.boxes.end(),
                                 [](const auto& b) { return b.title == QStringLiteral("ラップ記録"); }));
    }
    void report(bool forced, int lap, int last, int best, int ave, QTime clock, QTime end, const QString& text = {})
    {
        sock.deliver(Datagram::lapReportText(forced, lap, last, best, ave, QDate(2026, 5, 3), clock, end, text));
    }
    QByteArray file() const
    {
        QFile f(log.currentFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    QTemporaryDir program;
    PublicConst pub;
    LapLog log;
    std::unique_ptr<ClientWindow> w;
};

const QByteArray kStart = "\xEF\xBB\xBFreceived,lap,lap_ms,best_ms,average_ms,diff_ms,end_time,host_text,"
                          "driver_message\r\n";

} // namespace

class LapLogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowsOfARun()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("laps/today"));  // missing: created
        LogRig rig(folder);
        rig.start(3);
        QCOMPARE(rig.log.currentFile(), folder + QStringLiteral("/2026-05-03_100000_3.csv"));
        QCOMPARE(rig.file(), kStart);

        // Commas, quotes and characters of code page 932 beyond JIS X 0208: half-width kana,
        // an NEC special and an IBM extension.
        const QString hostText = QStringLiteral("ピット,\"IN\" ｱ①髙");
        rig.report(false, 1, 83456, 83456, 83456, QTime(10, 1, 23), QTime(11, 0, 0), hostText);
        const QByteArray row1 = "2026-05-03T10:01:23.000,1,83456,83456,83456,83456,2026-05-03T11:00:00,"
                                "\"ピット,\"\"IN\"\" ｱ①髙\",\r\n";
        QCOMPARE(rig.file(), kStart + row1);  // on disk at once

        rig.report(false, 1, 83456, 83456, 83456, QTime(10, 1, 23), QTime(11, 0, 0), hostText);  // repeat
        rig.w->Lbl_OutMess.setCaption(QStringLiteral("ＢＯＸ"));
        rig.clock.advance(82222);
        // A "C" report of the lap already taken is a new row; clock equal to end: no end time.
        rig.report(true, 1, 82222, 82222, 82839, QTime(10, 2, 45), QTime(10, 2, 45));
        rig.report(false, 2, 84000, 82222, 83226, QTime(10, 4, 9), QTime(11, 0, 0), QStringLiteral("=1+2"));
        QCOMPARE(rig.w->Lbl_Lap.caption(), QStringLiteral("3周目"));
        const QByteArray rows = row1
            + "2026-05-03T10:02:45.222,1,82222,82222,82839,-1234,,,ＢＯＸ\r\n"
              "2026-05-03T10:04:09.000,2,84000,82222,83226,1778,2026-05-03T11:00:00,'=1+2,ＢＯＸ\r\n";  // no formula
        QCOMPARE(rig.file(), kStart + rows);
        rig.stop();

        // The next run of the car started in the same second: a file of its own.
        rig.clock.setTime(QDateTime(QDate(2026, 5, 3), QTime(10, 0, 0)));
        rig.start(3);
        QCOMPARE(rig.log.currentFile(), folder + QStringLiteral("/2026-05-03_100000_3_2.csv"));
        QCOMPARE(rig.file(), kStart);
        QVERIFY(rig.dialogs.boxes.size() == 1);  // only the Stop confirmation
    }

    void carTextsMadeSafe()
    {
        const QDateTime at(QDate(2026, 5, 3), QTime(9, 30, 5));
        QCOMPARE(LapLogFormat::fileName(at, QStringLiteral(" a:b*c?\"<>|\\\tx ")), QStringLiteral("2026-05-03_093005_a_b_c_______x.csv"));
        QCOMPARE(LapLogFormat::fileName(at, QStringLiteral("..")), QStringLiteral("2026-05-03_093005__.csv"));
    }

    void unwritableFolderIsToldOncePerRun()
    {
        QTemporaryDir tmp;
        // A folder below a plain file can be made by nobody, root included.
        QVERIFY(QFile(tmp.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
        LogRig rig(tmp.filePath(QStringLiteral("file/laps")));
        rig.start(1);
        QCOMPARE(rig.logBoxes(), 1);
        QVERIFY(rig.dialogs.boxes.last().prompt.startsWith(QStringLiteral("ラップ記録を書き込めません。")));
        for (int lap = 1; lap <= 3; ++lap)
            rig.report(false, lap, 80000 + lap, 80001, 80002, QTime(10, 1, lap), QTime(10, 1, lap));
        QCOMPARE(rig.logBoxes(), 1);
        // The run went on as without a log.
        QCOMPARE(rig.w->Lbl_Lap.caption(), QStringLiteral("4周目"));
        QVERIFY(rig.w->Time_SendData.enabled());
        rig.stop();
        rig.start(1);
        QCOMPARE(rig.logBoxes(), 2);
    }
};

QTEST_GUILESS_MAIN(LapLogTest)
#include "test_lap_log.moc"

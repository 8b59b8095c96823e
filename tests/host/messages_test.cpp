// Stepping through the driver messages and editing the message file, over fakes; the waits
// for the editor run the real event loop.
#include "window_fixture.h"

#include "platform/cp932.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

const QStringList kDefaultMessages{QStringLiteral("ドライバ交代して"), QStringLiteral("エア抜きPitIN準備"),
                                   QStringLiteral("グラベル君とは友達さ")};

/// Presses Btn_MessChg n times and returns the captions shown.
QStringList press(ClientWindow& w, int n)
{
    QStringList shown;
    for (int i = 0; i < n; ++i) {
        w.Btn_MessChg_Click();
        shown.append(w.Lbl_OutMess.caption());
    }
    return shown;
}

/// An editor that runs for a fixed time and counts how often it is asked whether it still runs.
class TimedProcess : public IEditorProcess {
public:
    TimedProcess(int runMs, int& polls) : m_runMs(runMs), m_polls(polls) { m_clock.start(); }
    bool stillActive() override
    {
        ++m_polls;
        return m_clock.elapsed() < m_runMs;
    }
    bool succeeded() const override { return true; }
    void watchSaves(std::function<void()>) override {}

private:
    QElapsedTimer m_clock;
    int m_runMs;
    int& m_polls;
};

class TimedLauncher : public IEditorLauncher {
public:
    std::unique_ptr<IEditorProcess> open(const QString&) override
    {
        return std::make_unique<TimedProcess>(300, polls);
    }
    int polls = 0;
};

} // namespace

class MessagesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cycle_defaultFile_runsThroughMessagesAndEmpty()
    {
        WindowFixture f;  // no file: the default one is written and loaded
        ClientWindow& w = f.w();
        w.setFocus(w.Btn_Start);
        QCOMPARE(press(w, 5), QStringList(kDefaultMessages) << QString() << kDefaultMessages[0]);
        QCOMPARE(f.pub.Pub_MessIndex, int16_t(1));
        QCOMPARE(w.focus(), &w.Btn_Start);
    }

    void cycle_commentsOnlyFile_alwaysShowsEmpty()
    {
        const QByteArray file = "# one\r\n#two\r\n#\r\n";
        WindowFixture f(&file);
        QCOMPARE(press(f.w(), 3), QStringList(3, QString()));
        QCOMPARE(f.pub.Pub_MessIndex, int16_t(0));
    }

    void cycle_withoutAnyLoad_showsEmpty()
    {
        WindowFixture f;
        f.pub.Pub_MessList.clear();
        f.pub.Pub_MessCount = 3;  // a count that the list does not back
        f.pub.Pub_MessIndex = 0;
        QCOMPARE(press(f.w(), 2), QStringList(2, QString()));
        QCOMPARE(f.pub.Pub_MessIndex, int16_t(0));
    }

    void cycle_afterReload_data()
    {
        QTest::addColumn<int>("pressesBefore");
        QTest::addColumn<QByteArray>("newFile");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("index beyond a shorter list")
            << 3 << QByteArray("ONE\r\n") << QStringList{QString(), "ONE", QString()};
        QTest::newRow("index within the new list")
            << 1 << QByteArray("A\r\nB\r\nC\r\n") << QStringList{"B", "C", QString(), "A"};
        QTest::newRow("list emptied") << 2 << QByteArray("# none\r\n") << QStringList{QString(), QString()};
    }
    void cycle_afterReload()
    {
        QFETCH(int, pressesBefore);
        QFETCH(QByteArray, newFile);
        QFETCH(QStringList, expected);
        WindowFixture f;
        ClientWindow& w = f.w();
        press(w, pressesBefore);
        f.editor.onOpen = [&](int n) {
            WindowFixture::writeFile(f.messageFilePath(), newFile);
            f.editor.finish(n);
        };
        w.Btn_EditMess_Click();
        QCOMPARE(f.pub.Pub_MessIndex, int16_t(pressesBefore));
        QCOMPARE(press(w, int(expected.size())), expected);
    }

    void editing_keepsEventsRunning_andClearsAfterwards()
    {
        WindowFixture f;
        ClientWindow& w = f.w();
        w.setFocus(w.Btn_Start);
        // The editor closes once the wait has served five ticks of another timer and a
        // datagram, whenever the machine gets round to them.
        int ticks = 0;
        bool delivered = false;
        QTimer periodic;
        periodic.setTimerType(Qt::PreciseTimer);
        QObject::connect(&periodic, &QTimer::timeout, [&] {
            if (++ticks >= 5 && delivered && !f.editor.opened.isEmpty())
                f.editor.finish(0);
        });
        periodic.start(10);
        QString captionWhileEditing;
        QTimer::singleShot(30, [&] {
            captionWhileEditing = w.Lbl_OutMess.caption();
            f.chker.deliver(QStringLiteral("２号車"));
            WindowFixture::writeFile(f.messageFilePath(), Cp932::encode(QStringLiteral("ピットイン\r\n")));
            delivered = true;
        });
        w.Btn_EditMess_Click();

        QCOMPARE(f.editor.opened, QStringList{f.messageFilePath()});
        QCOMPARE(captionWhileEditing, QStringLiteral("編集中"));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QCOMPARE(w.Cmb_CarNo.text(), QStringLiteral("２号車"));
        QCOMPARE(w.Lbl_OutMess.caption(), QString());
        QCOMPARE(f.pub.Pub_MessList, (QStringList{QString(), QStringLiteral("ピットイン")}));
        QCOMPARE(f.pub.Pub_MessCount, int16_t(1));
        QCOMPARE(w.focus(), &w.Btn_Start);
    }

    void editing_closedWithoutChanges_keepsTheList()
    {
        WindowFixture f;
        const QStringList before = f.pub.Pub_MessList;
        f.editor.onOpen = [&](int n) { f.editor.finish(n); };
        f.w().Btn_EditMess_Click();
        QCOMPARE(f.w().Lbl_OutMess.caption(), QString());
        QCOMPARE(f.pub.Pub_MessList, before);
    }

    void editing_secondEditorNestsInsideTheFirstWait()
    {
        WindowFixture f;
        ClientWindow& w = f.w();
        QStringList order;
        QString captionInsideSecond;
        QTimer::singleShot(20, [&] {
            QTimer::singleShot(30, [&] { captionInsideSecond = w.Lbl_OutMess.caption(); });
            QTimer::singleShot(60, [&] { f.editor.finish(0); });  // the first ends first...
            QTimer::singleShot(200, [&] { f.editor.finish(1); }); // ...but waits for the second
            w.Btn_EditMess_Click();
            order.append(QStringLiteral("second returned"));
        });
        w.Btn_EditMess_Click();
        order.append(QStringLiteral("first returned"));
        QCOMPARE(f.editor.opened.size(), 2);
        QCOMPARE(captionInsideSecond, QStringLiteral("編集中"));
        QCOMPARE(order, (QStringList{"second returned", "first returned"}));
        QCOMPARE(w.Lbl_OutMess.caption(), QString());
    }

    void editing_waitPausesBetweenPolls()
    {
        WindowFixture f;
        TimedLauncher launcher;
        ClientWindow w(f.pub, ClientServices{f.tickTimer, f.clock, f.dialogs, launcher, f.localAddress,
                                             f.winsock1, f.chker, f.folder.path(), {}, {}});
        QElapsedTimer clock;
        clock.start();
        w.Btn_EditMess_Click();
        QVERIFY(clock.elapsed() >= 300);
        // A pause of tens of milliseconds gives a handful of polls in 300 ms; a busy loop
        // would poll thousands of times.
        QVERIFY2(launcher.polls >= 2 && launcher.polls <= 30, qPrintable(QString::number(launcher.polls)));
    }

    void editing_noEditor_showsFailureAndReloads()
    {
        WindowFixture f;
        ClientWindow& w = f.w();
        f.editor.fail = true;
        QFile::remove(f.messageFilePath());
        f.pub.Pub_MessList = QStringList{QString(), "stale"};
        f.pub.Pub_MessCount = 1;
        w.Btn_EditMess_Click();
        QCOMPARE(f.editor.opened, QStringList{f.messageFilePath()});
        QCOMPARE(w.Lbl_OutMess.caption(), QStringLiteral("ファイルを開けませんでした。"));
        QCOMPARE(f.pub.Pub_MessList, QStringList(QStringList{QString()} << kDefaultMessages));
        QVERIFY(QFile::exists(f.messageFilePath()));
        QVERIFY(f.dialogs.boxes.isEmpty());
        // The failure text stays until the next switch.
        w.Btn_MessChg_Click();
        QCOMPARE(w.Lbl_OutMess.caption(), kDefaultMessages[0]);
    }

    void editing_failedOrWatchedUntilNextPress_data()
    {
        QTest::addColumn<bool>("exitOk");
        QTest::addColumn<int>("runsMs");
        QTest::newRow("launcher fails after starting") << false << 60;
        QTest::newRow("handed off, nothing to wait for") << true << 0;
        QTest::newRow("editor closed normally") << true << 60;
    }
    void editing_failedOrWatchedUntilNextPress()
    {
        QFETCH(bool, exitOk);
        QFETCH(int, runsMs);
        WindowFixture f;
        ClientWindow& w = f.w();
        const auto finish = [&] { f.editor.finish(0, exitOk); };
        f.editor.onOpen = [&](int) { runsMs == 0 ? finish() : QTimer::singleShot(runsMs, finish); };
        w.Btn_EditMess_Click();
        QCOMPARE(w.Lbl_OutMess.caption(), exitOk ? QString() : QStringLiteral("ファイルを開けませんでした。"));
        QCOMPARE(f.pub.Pub_MessCount, int16_t(3));

        // A save made later, in an editor still open elsewhere, is loaded; a failed launch
        // opened nothing to watch.
        f.writeFile(f.messageFilePath(), Cp932::encode(QStringLiteral("後から\r\n")));
        QCOMPARE(f.editor.save(0), exitOk);
        QCOMPARE(f.pub.Pub_MessCount, int16_t(exitOk ? 1 : 3));
        // The next press ends that watch.
        f.editor.onOpen = [&](int n) { f.editor.finish(n); };
        w.Btn_EditMess_Click();
        QVERIFY(!f.editor.save(0));
    }
};

QTEST_GUILESS_MAIN(MessagesTest)
#include "messages_test.moc"

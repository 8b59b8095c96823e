// The whole client in one process against the host simulator, over real UDP on 127.0.0.1:
// the real window on an offscreen 1024x768 screen, the real tick thread and window timers.
// Only the clock setter, the boxes and the editor are fakes. The steps build on each other
// and run in declaration order; the lap blink takes its full 10.5 seconds. The simulator runs
// in strict mode and judges every datagram the client sends: a whole run must break no rule.
#include "e2e_rig.h"

#include "platform/cp932.h"
#include "ui/appearance.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QPushButton>

#include <algorithm>

using namespace MsgBox;

namespace {

const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);
const QString kHostText = QStringLiteral("ピットイン準備");

/// Seconds of the day of a "HH:mm:ss" text.
int secondsOfDay(const QString& text)
{
    return QTime::fromString(text, QStringLiteral("HH:mm:ss")).msecsSinceStartOfDay() / 1000;
}

QString hms(int seconds)
{
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

} // namespace

class E2eLoopbackTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The registration answers other than a car, each against a simulator of its own.
    void registration_answersOtherThanACar_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<int>("firstBoxAfterMs");
        QTest::addColumn<QString>("car");
        QTest::newRow("terminal unknown to the host")
            << QStringList{QStringLiteral("--register"), QStringLiteral("10.9.9.9=2")}
            << QStringList{QStringLiteral("ホスト側で未登録です。\rホスト側を確認してください。")} << 0 << QString();
        QTest::newRow("host silent")
            << QStringList{QStringLiteral("--silent")}
            << QStringList{QStringLiteral("ホスト側から応答がありません。\r確認してください。")} << 900 << QString();
        QTest::newRow("reply after 1.5 s")
            << QStringList{QStringLiteral("--register"), QStringLiteral("127.0.0.1=3"), QStringLiteral("--reply-delay"),
                           QStringLiteral("1500")}
            << QStringList{QStringLiteral("ホスト側から応答がありません。\r確認してください。")} << 900
            << QStringLiteral("３号車");
    }
    void registration_answersOtherThanACar()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, prompts);
        QFETCH(int, firstBoxAfterMs);
        QFETCH(QString, car);
        SimulatorRun host(args + QStringList{QStringLiteral("--lap"), QStringLiteral("0")});
        QVERIFY2(host.started, qPrintable(host.error));
        ClientRig rig(Clt_800);
        QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));

        rig.dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
        QElapsedTimer pressed;
        pressed.start();
        rig.click(ClientControl::Btn_HostIP);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.dialogs.boxes.isEmpty(), 30000);
        QVERIFY(pressed.elapsed() >= firstBoxAfterMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.w().Cmb_CarNo.text(), car, 30000);
        // Past the watchdog and any late reply: nothing more is shown.
        QTest::qWait(std::max(0, 2200 - int(pressed.elapsed())));
        QStringList shown;
        for (const FakeDialogs::Box& b : rig.dialogs.boxes)
            shown << b.prompt;
        QCOMPARE(shown, prompts);
        QCOMPARE(rig.dialogs.boxes.first().title, QString());
        QCOMPARE(host.last(QStringLiteral("register")).value(QStringLiteral("request")).toString(),
                 QStringLiteral("127.0.0.1"));
        QCOMPARE(rig.w().m_HostWait, VbFalse);
        QCOMPARE(qobject_cast<QComboBox*>(rig.widget(ClientControl::Cmb_CarNo))->currentText(), car);
        QVERIFY2(host.finish() == 0, qPrintable(host.violations()));
    }

    // From here on one client and one simulator serving car 1 go through a whole run.
    void registration_hostNamesTheCar()
    {
        m_host = std::make_unique<SimulatorRun>(QStringList{
            QStringLiteral("--register"), QStringLiteral("127.0.0.1=1"), QStringLiteral("--car"), QStringLiteral("1"),
            QStringLiteral("--lap"), QStringLiteral("0"), QStringLiteral("--run-minutes"), QStringLiteral("30"),
            QStringLiteral("--text"), kHostText});
        QVERIFY2(m_host->started, qPrintable(m_host->error));
        m_rig = std::make_unique<ClientRig>(Clt_1024);
        ClientRig& rig = *m_rig;
        rig.view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.view.get()));
        QCOMPARE(rig.label(ClientControl::Lbl_LocalIP)->text(), QStringLiteral("127.0.0.1"));

        rig.dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
        rig.click(ClientControl::Btn_HostIP);
        QTRY_COMPARE_WITH_TIMEOUT(rig.w().Cmb_CarNo.text(), QStringLiteral("１号車"), 30000);
        QCOMPARE(qobject_cast<QComboBox*>(rig.widget(ClientControl::Cmb_CarNo))->currentText(),
                 QStringLiteral("１号車"));
        QCOMPARE(m_host->last(QStringLiteral("register-reply")).value(QStringLiteral("reply")).toString(),
                 QStringLiteral("１号車"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.w().Time_HostChk.enabled(), 30000);
        QVERIFY(rig.dialogs.boxes.isEmpty());

        QFile ini(rig.pub.Pub_IniPath);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString settings = Cp932::decode(ini.readAll());
        QVERIFY2(settings.contains(QStringLiteral("[環境設定]")) && settings.contains(QStringLiteral("HostIPNo=127.0.0.1")),
                 qPrintable(settings));
    }

    void start_streamsStatusTenTimesASecond()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        const qsizetype eventsBefore = m_host->events.size();
        QElapsedTimer running;  // started before the run, so never behind it
        running.start();
        rig.click(ClientControl::Btn_Start);
        QCOMPARE(qobject_cast<QPushButton*>(rig.widget(ClientControl::Btn_Start))->text(), QStringLiteral("Stop"));
        for (ClientControl c : {ClientControl::Btn_End, ClientControl::Btn_HostIP, ClientControl::Btn_EditMess,
                                ClientControl::Cmb_CarNo})
            QVERIFY(!rig.widget(c)->isEnabled());
        QCOMPARE(QApplication::focusWidget(), rig.widget(ClientControl::Btn_MessChg));

        // The running time counts up to 1.5 s, never ahead of the time since the press.
        QTRY_VERIFY_WITH_TIMEOUT(shownHundredths(rig.label(ClientControl::Lbl_Time)->text()) >= 150, 30000);
        const QString shown = rig.label(ClientControl::Lbl_Time)->text();
        const qint64 elapsed = running.elapsed() / 10;
        const int hundredths = shownHundredths(shown);
        QVERIFY2(hundredths <= elapsed + 1,
                 qPrintable(QStringLiteral("shows %1 after %2 hundredths").arg(shown).arg(elapsed)));
        // No datagram comes in while the host sends no report: the lamp, yellow as designed, is dark.
        QCOMPARE(rig.w().Lbl_Link.foreColor(), kBlack);
        QCOMPARE(rig.label(ClientControl::Lbl_Link)->palette().color(QPalette::WindowText), kBlack);

        // The simulator hears the stream; its rhythm is judged by the strict simulator itself,
        // which sees every hold-up of this process (it runs on the same loop) and excuses it.
        const auto sending = [&] {
            QList<QJsonObject> found;
            for (qsizetype i = eventsBefore; i < m_host->events.size(); ++i) {
                const QJsonObject& e = m_host->events.at(i);
                if (e.value(QStringLiteral("type")).toString() == QLatin1String("stats")
                    && e.value(QStringLiteral("count")).toInteger() > 0)
                    found.append(e);
            }
            return found;
        };
        QTRY_VERIFY_WITH_TIMEOUT(sending().size() >= 3, 30000);
        QStringList shownRates;
        for (const QJsonObject& e : sending())
            shownRates << QString::number(e.value(QStringLiteral("rate")).toInt());
        qInfo("status datagrams per second: %s", qPrintable(shownRates.join(u' ')));
        QVERIFY(sending().last().value(QStringLiteral("count")).toInteger()
                > sending().first().value(QStringLiteral("count")).toInteger());
        QCOMPARE(m_host->statusTexts().value(0), QStringLiteral("000"));
        QCOMPARE(sending().last().value(QStringLiteral("lap")).toInt(), 0);
    }

    void spaceKey_putsTheDriverMessageIntoTheStatus()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        QCOMPARE(QApplication::focusWidget(), rig.widget(ClientControl::Btn_MessChg));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(rig.label(ClientControl::Lbl_OutMess)->text(), QStringLiteral("ドライバ交代して"));
        QTRY_COMPARE_WITH_TIMEOUT(m_host->statusTexts().last(), QStringLiteral("000ドライバ交代して"), 30000);
    }

    void lapReport_isShownBlinksAndIsFiled()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        ClientWindow& w = rig.w();
        LabelWatch blinkWatch(w.Lbl_BlkTime, rig.label(ClientControl::Lbl_BlkTime), rig.since);
        LabelWatch tickerWatch(w.Lbl_InMess, rig.label(ClientControl::Lbl_InMess), rig.since);
        const QList<LabelChange>& blink = blinkWatch.changes;
        const QList<LabelChange>& ticker = tickerWatch.changes;

        const qint64 asked = rig.since.elapsed();  // nothing of the lap can come before this
        m_host->sim->executeLine(QStringLiteral("lap 1 83456"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.label(ClientControl::Lbl_Lap)->text(), QStringLiteral("2周目"), 30000);
        qint64 t0 = -1;
        for (const LabelChange& c : blink) {
            if (c.visible && t0 < 0)
                t0 = c.atMs;
        }
        QVERIFY(t0 >= 0);
        QCOMPARE(rig.label(ClientControl::Lbl_BlkTime)->text(), QStringLiteral("1'23\"456"));
        QVERIFY(rig.label(ClientControl::Lbl_Time)->isHidden());
        QVERIFY(!rig.label(ClientControl::Lbl_BlkTime)->isHidden());
        QCOMPARE(rig.label(ClientControl::Lbl_BestLap)->text(), QStringLiteral("Bst 1'23\"456"));
        QCOMPARE(rig.label(ClientControl::Lbl_AveLap)->text(), QStringLiteral("Ave 1'23\"456"));

        // The report's date and, since it carries an end time, its clock time went to the clock.
        const QJsonObject lap = m_host->last(QStringLiteral("lap"));
        QCOMPARE(rig.clock.datesSet.value(0),
                 QDate::fromString(lap.value(QStringLiteral("date")).toString(), QStringLiteral("yyyy/MM/dd")));
        QCOMPARE(rig.clock.timesSet.size(), 1);
        QCOMPARE(rig.clock.timesSet.first().time().toString(QStringLiteral("HH:mm:ss")),
                 lap.value(QStringLiteral("clock")).toString());
        m_clockSecs = secondsOfDay(lap.value(QStringLiteral("clock")).toString());
        m_endSecs = secondsOfDay(lap.value(QStringLiteral("end")).toString());

        QTRY_COMPARE_WITH_TIMEOUT(m_host->statusTexts().last(), QStringLiteral("001ドライバ交代して"), 30000);

        // Watch the screen while it blinks: what it shows is what the model says at that moment,
        // yellow on black and black on yellow in turn.
        QList<std::pair<QColor, QPair<double, double>>> samples;
        while (w.Time_Blink.enabled() && rig.since.elapsed() < t0 + 60000) {
            const QColor ground = w.Lbl_BlkTime.backColor();
            if (samples.size() < 4 && (samples.isEmpty() || samples.last().first.rgb() != ground.rgb()))
                samples.append({ground, yellowAndBlack(*rig.view, ClientControl::Lbl_BlkTime)});
            QTest::qWait(20);
        }
        QVERIFY2(samples.size() >= 2, "the blink was never seen in both looks");
        for (const auto& [modelGround, shares] : samples) {
            const bool blackGround = modelGround.rgb() == kBlack.rgb();
            const double ground = blackGround ? shares.second : shares.first;
            const double text = blackGround ? shares.first : shares.second;
            QVERIFY2(ground > 0.5 && text > 0.01,
                     qPrintable(QStringLiteral("ground %1: yellow %2, black %3").arg(modelGround.name())
                                    .arg(shares.first).arg(shares.second)));
        }

        // The colours changed twenty times, every 500 ms, and the widget followed each change.
        // Each change sets the ground and then the text colour: the last record of a change
        // shows both as the widget ended up.
        QList<qint64> inversions;
        QList<LabelChange> settled;
        qint64 hiddenAt = -1;
        QColor ground;
        for (const LabelChange& c : blink) {
            if (c.atMs <= t0 || hiddenAt >= 0)
                continue;
            if (!c.visible) {
                hiddenAt = c.atMs;
                QVERIFY(!c.widgetVisible);
                continue;
            }
            if (c.modelBack != ground) {
                ground = c.modelBack;
                inversions.append(c.atMs - t0);
                settled.append(c);
            } else {
                settled.last() = c;
            }
        }
        QCOMPARE(inversions.size(), 20);
        for (int k = 0; k < settled.size(); ++k) {
            const bool odd = k % 2 == 0;
            QCOMPARE(settled[k].modelBack, odd ? kYellow : kBlack);
            QCOMPARE(settled[k].widgetBack, odd ? kYellow : kBlack);
            QCOMPARE(settled[k].widgetFore, odd ? kBlack : kYellow);
        }
        // On the grid of 500 ms from the report, which came after it was asked for: the k-th
        // change no sooner than k times 500 ms after that, the end after 21 ticks. A machine
        // may run them later, never sooner (a few ms for the grid's rounding).
        for (int k = 0; k < inversions.size(); ++k)
            QVERIFY2(t0 + inversions[k] - asked >= (k + 1) * 500 - 3,
                     qPrintable(QStringLiteral("inversion %1 at %2 ms").arg(k + 1).arg(t0 + inversions[k] - asked)));
        QVERIFY2(hiddenAt >= 0 && hiddenAt - asked >= 21 * 500 - 3, qPrintable(QString::number(hiddenAt - asked)));

        // Filed as the previous lap, against a previous lap of 0: slower, in red.
        QCOMPARE(rig.label(ClientControl::Lbl_OldTime1)->text(), QStringLiteral("1'23\"456"));
        QCOMPARE(rig.label(ClientControl::Lbl_OldTime1Sa)->text(), QStringLiteral("+1'23\"456"));
        QCOMPARE(rig.label(ClientControl::Lbl_OldTime1Sa)->palette().color(QPalette::WindowText), kRed);
        QCOMPARE(rig.label(ClientControl::Lbl_OutMess)->text(), QString());
        QVERIFY(!rig.label(ClientControl::Lbl_Time)->isHidden());
        // The running time went on from the report while hidden: past the blink's 10.5 s by
        // now, and never more than the time since the lap was asked for.
        QTRY_VERIFY_WITH_TIMEOUT(shownHundredths(rig.label(ClientControl::Lbl_Time)->text()) >= 1050, 30000);
        const int running = shownHundredths(rig.label(ClientControl::Lbl_Time)->text());
        QVERIFY2(running <= (rig.since.elapsed() - asked) / 10 + 1, qPrintable(rig.label(ClientControl::Lbl_Time)->text()));
        QTRY_COMPARE_WITH_TIMEOUT(m_host->statusTexts().last(), QStringLiteral("001"), 30000);

        // The ticker: one character per send tick, growing to ten, then scrolling left.
        const QString cycle = kHostText + QString(5, QChar(0x3000));
        QStringList expected;
        QString line;
        for (int k = 0; k < 16; ++k) {
            if (line.size() >= 10)
                line = line.right(9);
            line += cycle.at(k % cycle.size());
            expected << line;
        }
        QList<LabelChange> steps;
        for (const LabelChange& c : ticker) {
            if (!c.caption.isEmpty() && steps.size() < expected.size())
                steps.append(c);
        }
        QCOMPARE(steps.size(), expected.size());
        for (int k = 0; k < steps.size(); ++k) {
            QCOMPARE(steps[k].caption, expected[k]);
            QCOMPARE(steps[k].widgetText, expected[k]);
        }
        // One character per send tick: fifteen ticks of 100 ms from the first step to the last.
        // The first step's tick may itself have run late, by less than the six ticks after
        // which a late timer gives up catching up; a machine may make the rest later still.
        const qint64 span = steps.last().atMs - steps.first().atMs;
        QVERIFY2(span >= (15 - 6) * 100 - 3, qPrintable(QString::number(span)));
    }

    void countdown_followsTheEndTimeAndTheClock()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        // The fake clock stands where the report set it; the end time is 30 minutes after the
        // simulator started. The window takes the end on the report's day and shows how far it
        // is either way, so an end past midnight is most of a day behind the clock, and the
        // distance grows as the clock goes on.
        const QDate day(2026, 1, 1);
        const QDateTime end(day, QTime(0, 0).addSecs(m_endSecs));
        auto distanceAt = [&](int clockSecs) {
            return int(std::llabs(QDateTime(day, QTime(0, 0)).addSecs(clockSecs).secsTo(end)));
        };
        QVERIFY(distanceAt(m_clockSecs) > 1700);
        QTRY_COMPARE_WITH_TIMEOUT(rig.label(ClientControl::Lbl_EndTime)->text(), hms(distanceAt(m_clockSecs)), 30000);
        rig.clock.advance(7000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.label(ClientControl::Lbl_EndTime)->text(), hms(distanceAt(m_clockSecs + 7)),
                                  30000);
        QCOMPARE(rig.label(ClientControl::Lbl_NowTime)->text(),
                 QTime(0, 0).addSecs(m_clockSecs + 7).toString(QStringLiteral("HH:mm:ss")));
    }

    void stop_afterConfirmation_silencesTheClient()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        rig.click(ClientControl::Btn_Start);
        QCOMPARE(rig.dialogs.boxes.size(), 1);
        QCOMPARE(rig.dialogs.boxes.last().prompt, QStringLiteral("タイム計測を中断します。\rよろしいですか"));
        QCOMPARE(rig.dialogs.boxes.last().title, QStringLiteral("中断"));
        QCOMPARE(rig.dialogs.boxes.last().style, vbYesNo | vbInformation | vbDefaultButton2);
        QCOMPARE(qobject_cast<QPushButton*>(rig.widget(ClientControl::Btn_Start))->text(), QStringLiteral("Start"));
        QVERIFY(rig.widget(ClientControl::Btn_End)->isEnabled());
        QVERIFY(!rig.winsock1.isBound());

        const qsizetype eventsBefore = m_host->events.size();
        auto silentStats = [&] {
            for (qsizetype i = eventsBefore; i < m_host->events.size(); ++i) {
                const QJsonObject& e = m_host->events.at(i);
                if (e.value(QStringLiteral("type")).toString() == QLatin1String("stats")
                    && e.value(QStringLiteral("silence_ms")).toInteger() >= 1000)
                    return e;
            }
            return QJsonObject();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!silentStats().isEmpty(), 30000);
        const qint64 count = silentStats().value(QStringLiteral("count")).toInteger();
        QTest::qWait(400);
        QCOMPARE(m_host->last(QStringLiteral("stats")).value(QStringLiteral("count")).toInteger(), count);
        QCOMPARE(rig.label(ClientControl::Lbl_Lap)->text(), QStringLiteral("2周目"));
    }

    void closeRequest_isRefused()
    {
        QVERIFY(m_rig);
        QVERIFY(!m_rig->view->close());
        QVERIFY(m_rig->view->isVisible());
        QCOMPARE(m_rig->ends, 0);
    }

    void end_afterConfirmation_endsTheProgram()
    {
        QVERIFY(m_rig);
        ClientRig& rig = *m_rig;
        rig.click(ClientControl::Btn_End);
        QCOMPARE(rig.dialogs.boxes.last().prompt, QStringLiteral("終了します。\rよろしいですか？"));
        QCOMPARE(rig.dialogs.boxes.last().title, QStringLiteral("終了確認"));
        QCOMPARE(rig.ends, 1);
    }

    // Registration, Start, a driver message, a lap with its echo, Stop: not one rule broken.
    void strictHost_sawNoViolationInTheWholeRun()
    {
        QVERIFY(m_host);
        const int status = m_host->finish();
        const QJsonObject summary = m_host->last(QStringLiteral("summary"));
        QVERIFY2(status == 0 && summary.value(QStringLiteral("violations")).toInt() == 0,
                 qPrintable(m_host->violations()));
        // Registration, and at ten a second some 170 status datagrams: the run was judged.
        QVERIFY2(summary.value(QStringLiteral("datagrams")).toInt() >= 100,
                 qPrintable(QJsonDocument(summary).toJson(QJsonDocument::Compact)));
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_host.reset();
    }

private:
    std::unique_ptr<SimulatorRun> m_host;
    std::unique_ptr<ClientRig> m_rig;
    int m_clockSecs = 0;
    int m_endSecs = 0;
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + SCREEN_CONFIG);
    QApplication app(argc, argv);
    Appearance::installFontSubstitutions();
    Appearance::applyFixedLook();
    E2eLoopbackTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_loopback.moc"

// Start-up: the choice of the client window, the screen in twips, and the opening window's
// load and hand-over, both as behaviour and on an offscreen screen.
#include "fakes/fake_services.h"
#include "startup/open_window.h"
#include "startup/screen_choice.h"
#include "ui/open_view.h"
#include "ui/twips.h"
#include "ui_test_main.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(ClientChoice)

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choiceAtItsBoundaries_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<ClientChoice>("choice");
        QTest::newRow("zero") << 0 << ClientChoice::Clt_1024;
        QTest::newRow("9599, narrower than 640 px") << 9599 << ClientChoice::Clt_1024;
        QTest::newRow("9600") << 9600 << ClientChoice::Clt_640;
        QTest::newRow("11999") << 11999 << ClientChoice::Clt_640;
        QTest::newRow("12000") << 12000 << ClientChoice::Clt_800;
        QTest::newRow("15359") << 15359 << ClientChoice::Clt_800;
        QTest::newRow("15360") << 15360 << ClientChoice::Clt_1024;
        QTest::newRow("1280 px at 96 dpi") << 19200 << ClientChoice::Clt_1024;
    }
    void choiceAtItsBoundaries()
    {
        QFETCH(int, twips);
        QFETCH(ClientChoice, choice);
        QCOMPARE(chooseClientWindow(twips), choice);
    }

    void eachChoiceHasItsLayout()
    {
        QCOMPARE(&clientLayout(ClientChoice::Clt_640), &Clt_640);
        QCOMPARE(&clientLayout(ClientChoice::Clt_800), &Clt_800);
        QCOMPARE(&clientLayout(ClientChoice::Clt_1024), &Clt_1024);
    }

    void theChoiceFollowsTwipsNotPixels()
    {
        QCOMPARE(Twips::fromPx(1024, 96), 15360);
        QCOMPARE(Twips::fromPx(1024, 120), 12288);
        QCOMPARE(chooseClientWindow(Twips::fromPx(1024, 120)), ClientChoice::Clt_800);
        QCOMPARE(chooseClientWindow(Twips::fromPx(800, 96)), ClientChoice::Clt_800);
        QCOMPARE(chooseClientWindow(Twips::fromPx(640, 96)), ClientChoice::Clt_640);
    }

    void theScreenInTwips()
    {
        QCOMPARE(Twips::screenSize(), QSize(EXPECTED_SCREEN_TWIPS));
        QCOMPARE(chooseClientWindow(Twips::screenSize().width()), EXPECTED_CHOICE);
    }

    void loadMeasuresCentresReadsTheHostAndArmsTheTimerLast()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PublicConst pub;
        OpenWindow w(pub, {dir.path(), [] { return QSize(15360, 11520); }, nullptr, nullptr});
        w.Form.outerWidth = 4770;
        w.Form.outerHeight = 1890;
        bool timerEnabledAtMove = true;
        w.Form.changed = [&] { timerEnabledAtMove = w.Timer1.enabled(); };

        QVERIFY(!w.Timer1.enabled());
        QCOMPARE(w.Timer1.interval(), 3000);
        w.Form_Load();

        QCOMPARE(pub.Pub_ScreenWidth, 15360);
        QCOMPARE(pub.Pub_ScreenHeight, 11520);
        QCOMPARE(w.Form.left(), (15360 - 4770) / 2);
        QCOMPARE(w.Form.top(), (11520 - 1890) / 2);
        QVERIFY(!timerEnabledAtMove);
        QCOMPARE(pub.Pub_IniPath, dir.path() + QStringLiteral("/Rivect.ini"));
        QCOMPARE(pub.Pub_HostIP, QStringLiteral("192.168.1.10"));
        QVERIFY(QFile::exists(pub.Pub_IniPath));
        QVERIFY(w.Timer1.enabled());
    }

    void loadReadsAStoredHost()
    {
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("Rivect.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("\x5b\x8a\xc2\x8b\xab\x90\xdd\x92\xe8\x5d\r\nHostIPNo=127.0.0.1\r\n");
        ini.close();
        PublicConst pub;
        OpenWindow w(pub, {dir.path(), [] { return QSize(12000, 9000); }, nullptr, nullptr});
        w.Form_Load();
        QCOMPARE(pub.Pub_HostIP, QStringLiteral("127.0.0.1"));
    }

    void tickUnloadsThenShowsTheWindowChosenAtLoad()
    {
        QTemporaryDir dir;
        PublicConst pub;
        QSize screen(12000, 9000);
        QStringList log;
        OpenWindow w(pub, {dir.path(), [&] { return screen; }, [&] { log << QStringLiteral("unload"); },
                           [&](ClientChoice c) { log << QStringLiteral("show %1").arg(int(c)); }});
        w.Form_Load();
        screen = QSize(15360, 11520);  // not read again at the tick
        w.Timer1_Timer();
        QCOMPARE(log, QStringList({QStringLiteral("unload"), QStringLiteral("show %1").arg(int(ClientChoice::Clt_800))}));
        QVERIFY(!w.Timer1.enabled());
    }

    void theOpeningWindowOnScreen()
    {
        QTemporaryDir dir;
        PublicConst pub;
        QList<ClientChoice> shown;
        FakeDialogs dialogs;
        QElapsedTimer sinceShown;
        qint64 handedOverAfter = -1;
        QPointer<OpenView> view = new OpenView(pub, ConfigFolder{dir.path(), {}}, dialogs, [&](ClientChoice c) {
            shown << c;
            handedOverAfter = sinceShown.elapsed();
        });
        QCOMPARE(view->size(), QSize(312, 120));
        QCOMPARE(view->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(!(view->windowFlags() & Qt::WindowMinMaxButtonsHint));
        const QString captions[3] = {QStringLiteral("Murevo"), QStringLiteral("Ver1.00"), QStringLiteral("ChronelClient")};
        const double points[3] = {36, 18, 21.75};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(view->label(i)->text(), captions[i]);
            QVERIFY(view->label(i)->font().italic());
            QCOMPARE(view->label(i)->font().pointSizeF(), points[i]);
            QCOMPARE(view->label(i)->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
            QVERIFY(!view->label(i)->autoFillBackground());
        }
        QCOMPARE(view->label(0)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(view->label(0)->geometry(), QRect(0, 37, 310, 48));

        sinceShown.start();
        view->loadAndShow();
        QVERIFY(view->isVisible());
        const QRect screen = view->screen()->geometry();
        const QRect frame = view->frameGeometry();
        QVERIFY(qAbs(frame.center().x() + 0.5 - screen.width() / 2.0) <= 1.0);
        QVERIFY(qAbs(frame.center().y() + 0.5 - screen.height() / 2.0) <= 1.0);
        QVERIFY(!view->close());

        // The real timer hands over after three seconds (a timer of any kind may be 5 % early,
        // never more), once.
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 30000);
        QVERIFY2(handedOverAfter >= 2850, qPrintable(QString::number(handedOverAfter)));
        QCOMPARE(shown.first(), EXPECTED_CHOICE);
        QTRY_VERIFY(view.isNull());
        QTest::qWait(3200);
        QCOMPARE(shown.size(), 1);
    }
};

RIVECT_UI_TEST_MAIN(TestStartup, SCREEN_CONFIG)
#include "test_startup.moc"

// A client window that fills the screen: the one scale factor, the sizes it gives on today's
// screens, and the window on a 1920x1080 offscreen screen, switched back and forth with F11.
#include "fakes/fake_client_services.h"
#include "ui/client_view.h"
#include "ui/large_text_label.h"
#include "ui/twips.h"
#include "ui_test_main.h"

#include <QScreen>
#include <QTemporaryDir>

#include <memory>

namespace {

/// A client window of Clt_1024 on fakes, on the real (offscreen) screen.
struct Rig : FakeClientServices {
    Rig()
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        ClientServices s = services(dir.path());
        s.screenSizeTwips = [] { return Twips::screenSize(); };
        window = std::make_unique<ClientWindow>(pub, std::move(s));
        view = std::make_unique<ClientView>(*window, Clt_1024);
    }
    QWidget* w(ClientControl c) const { return view->control(c); }

    QTemporaryDir dir;
    PublicConst pub;
    std::unique_ptr<ClientWindow> window;
    std::unique_ptr<ClientView> view;
};

} // namespace

class FillTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void factor_data()
    {
        QTest::addColumn<QSize>("client");  // twips
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("filled");  // client area in pixels
        const QSize clt1024(15135, 9945), none(0, 0);
        QTest::newRow("1920x1080") << clt1024 << none << QSize(1920, 1080) << QSize(1644, 1080);
        QTest::newRow("3840x2160") << clt1024 << none << QSize(3840, 2160) << QSize(3287, 2160);
        QTest::newRow("framed") << clt1024 << QSize(2, 25) << QSize(1920, 1080) << QSize(1606, 1055);
        QTest::newRow("portrait") << clt1024 << none << QSize(1080, 1920) << QSize(1080, 710);
        QTest::newRow("Clt_640") << QSize(9585, 6210) << none << QSize(1920, 1080) << QSize(1667, 1080);
        QTest::newRow("smaller") << clt1024 << QSize(0, 30) << QSize(1024, 600) << QSize(867, 570);
    }
    void factor()
    {
        QFETCH(QSize, client);
        QFETCH(QSize, frame);
        QFETCH(QSize, screen);
        QFETCH(QSize, filled);
        const double f = Twips::fillFactor(client, frame, screen, 96, 96);
        QCOMPARE(QSize(Twips::toPx(client.width(), 96 * f), Twips::toPx(client.height(), 96 * f)), filled);
    }

    void windowFillsAndF11SwitchesBack()
    {
        Rig exact;
        exact.window->Form_Load();  // lays the blink label onto the running time, as the load does
        Rig rig;
        rig.view->setFill(true);
        rig.view->loadAndShow();
        QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));
        rig.window->Lbl_Time.setCaption(QStringLiteral("1'23\"45"));
        const QRect screen = rig.view->screen()->availableGeometry();
        QWidget* focused = rig.w(ClientControl::Btn_MessChg);  // F11 reaches the window through it

        for (bool fill : {true, false, true}) {
            QCOMPARE(rig.view->fills(), fill);
            const QRect outer = rig.view->frameGeometry();
            QVERIFY(qAbs(outer.left() - (screen.width() - outer.right() - 1)) <= 1);  // centred across
            const double s = rig.view->scale();
            const bool fits = outer.height() == screen.height() || outer.width() == screen.width();
            QVERIFY(fill ? screen.contains(outer) && fits && s > 1.5 : outer.top() == 0 && s == 1.0);
            // Geometry and fonts by the one factor, every control alike; back to the exact ones.
            for (std::size_t i = 0; i < kClientControlCount; ++i) {
                const auto c = ClientControl(i);
                const QRect a = exact.w(c)->geometry(), b = rig.w(c)->geometry();
                const int slack = fill ? 1 : 0;  // rounding of the scaled edges
                QVERIFY2(qAbs(b.left() - a.left() * s) <= slack && qAbs(b.bottom() + 1 - (a.bottom() + 1) * s) <= slack,
                         clientControlName(c));
                QCOMPARE(rig.w(c)->font().pointSizeF(), exact.w(c)->font().pointSizeF() * s);
            }
            // The large caption is drawn from images of its own at the new size, not stretched.
            auto* time = static_cast<LargeTextLabel*>(rig.w(ClientControl::Lbl_Time));
            QVERIFY(time->drawsFromCache() && qAbs(QFontInfo(time->font()).pixelSize() - 207 * s) <= 1);
            QTest::keyClick(focused, Qt::Key_F11);
        }

        // Without fill asked for, F11 leaves the window as it is.
        Rig plain;
        plain.view->loadAndShow();
        QTest::keyClick(plain.w(ClientControl::Btn_MessChg), Qt::Key_F11);
        QVERIFY(!plain.view->fills());
    }
};

RIVECT_UI_TEST_MAIN(FillTest, SCREEN_CONFIG)
#include "test_fill.moc"

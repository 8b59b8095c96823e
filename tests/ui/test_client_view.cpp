// The client window built from each layout on a 1024x768 offscreen screen at 96 dpi: where
// its widgets stand, how it loads, closes, ends, takes the keyboard and mirrors the models.
#include "client/client_window.h"
#include "fakes/fake_services.h"
#include "fakes/fake_udp_socket.h"
#include "ui/client_view.h"
#include "ui/large_text_label.h"
#include "ui/timer_binding.h"
#include "ui_test_main.h"

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

Q_DECLARE_METATYPE(const ClientLayout*)

namespace {

/// A client window with recording fakes behind it, and its view.
struct Rig {
    explicit Rig(const ClientLayout& layout)
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        window = std::make_unique<ClientWindow>(
            pub, ClientServices{tick, clock, dialogs, editor, local, winsock1, winsockChker, dir.path(),
                                [] { return QSize(15360, 11520); }, [this] { ++ends; }});
        view = std::make_unique<ClientView>(*window, layout);
    }
    ~Rig()
    {
        view.reset();
        window.reset();
    }
    template <typename W = QWidget>
    W* w(ClientControl c) const { return qobject_cast<W*>(view->control(c)); }

    QTemporaryDir dir;
    PublicConst pub;
    FakeTickTimer tick;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress local{QStringLiteral("10.1.2.3")};
    FakeUdpSocket winsock1;
    FakeUdpSocket winsockChker;
    int ends = 0;
    std::unique_ptr<ClientWindow> window;
    std::unique_ptr<ClientView> view;
};

QRect designRect(const ControlLayout& c)
{
    return QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
}

void addLayoutRows()
{
    QTest::addColumn<const ClientLayout*>("layout");
    QTest::newRow("Clt_640") << &Clt_640;
    QTest::newRow("Clt_800") << &Clt_800;
    QTest::newRow("Clt_1024") << &Clt_1024;
}

} // namespace

class TestClientView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void builtAsTheTableSays_data() { addLayoutRows(); }
    void builtAsTheTableSays()
    {
        QFETCH(const ClientLayout*, layout);
        Rig rig(*layout);
        QCOMPARE(rig.view->size(), QSize(layout->clientWidth / 15, layout->clientHeight / 15));
        QCOMPARE(rig.view->windowTitle(), QStringLiteral("Chronel"));
        QCOMPARE(bool(rig.view->windowFlags() & Qt::WindowMaximizeButtonHint), layout->minMaxButtons);
        const QColor background = layout == &Clt_640 ? QColor(Qt::white) : QColor(0xF0, 0xF0, 0xF0);
        QCOMPARE(rig.view->palette().color(QPalette::Window), background);

        for (std::size_t i = 0; i < kClientControlCount; ++i) {
            const auto c = ClientControl(i);
            const ControlLayout& lay = (*layout)[c];
            QWidget* widget = rig.view->control(c);
            QVERIFY2(widget, clientControlName(c));
            QVERIFY2(widget->geometry() == designRect(lay), clientControlName(c));
            QVERIFY2(widget->font().pointSizeF() == lay.font.points, clientControlName(c));
            QVERIFY2(widget->font().family() == QString::fromUtf8(lay.font.face), clientControlName(c));
            QVERIFY2(!widget->font().italic() && !widget->font().bold(), clientControlName(c));
            QVERIFY2(widget->isEnabled(), clientControlName(c));
        }

        // Data labels: their own text colour on black.
        auto* bestLap = rig.w<QLabel>(ClientControl::Lbl_BestLap);
        QCOMPARE(bestLap->palette().color(QPalette::WindowText),
                 layout == &Clt_640 ? QColor(Qt::white) : QColor(Qt::cyan));
        QCOMPARE(bestLap->palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(bestLap->autoFillBackground());
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_InMess)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_InMess)->palette().color(QPalette::WindowText), QColor(0x80, 0xFF, 0x80));

        auto* link = rig.w<QLabel>(ClientControl::Lbl_Link);
        QCOMPARE(link->text(), QStringLiteral("●"));
        QCOMPARE(link->palette().color(QPalette::WindowText), layout == &Clt_640 ? QColor(Qt::black) : QColor(Qt::yellow));
        QVERIFY(!link->autoFillBackground());
        // The lamp is painted above the heading box it lies in.
        const QObjectList stack = rig.view->children();
        QVERIFY(stack.indexOf(link) > stack.indexOf(rig.view->control(ClientControl::Label1)));

        for (ClientControl c : {ClientControl::Label1, ClientControl::Lbl_LocalIP}) {
            auto* box = rig.w<QLabel>(c);
            QCOMPARE(box->frameShape(), QFrame::Box);
            QCOMPARE(box->lineWidth(), 1);
        }
        QCOMPARE(rig.w<QLabel>(ClientControl::Label1)->text(), QStringLiteral("端末 IP 情報 "));
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_LocalIP)->text(), QStringLiteral("端末情報"));

        // Red "End" in the active and inactive groups only, so that disabled it greys out.
        auto* end = rig.w<QPushButton>(ClientControl::Btn_End);
        QCOMPARE(end->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::red));
        QCOMPARE(end->palette().color(QPalette::Inactive, QPalette::ButtonText), QColor(Qt::red));
        QVERIFY(end->palette().color(QPalette::Disabled, QPalette::ButtonText) != QColor(Qt::red));
        QCOMPARE(rig.w<QPushButton>(ClientControl::Btn_Start)->palette().color(QPalette::ButtonText), QColor(Qt::black));

        auto* car = rig.w<QComboBox>(ClientControl::Cmb_CarNo);
        QCOMPARE(car->count(), 5);
        QCOMPARE(car->itemText(0), QStringLiteral("１号車"));
        QCOMPARE(car->itemText(4), QStringLiteral("５号車"));
        QCOMPARE(car->currentIndex(), -1);
        QCOMPARE(car->currentText(), QString());

        // The blink label waits outside the client area until the load moves it.
        QVERIFY(rig.view->control(ClientControl::Lbl_BlkTime)->x() >= rig.view->width());
    }

    void loadPlacesTheBlinkLabelAndTheWindow_data() { addLayoutRows(); }
    void loadPlacesTheBlinkLabelAndTheWindow()
    {
        QFETCH(const ClientLayout*, layout);
        Rig rig(*layout);
        rig.view->loadAndShow();
        QVERIFY(QTest::qWaitForWindowExposed(rig.view.get()));

        QWidget* time = rig.view->control(ClientControl::Lbl_Time);
        QWidget* blink = rig.view->control(ClientControl::Lbl_BlkTime);
        QCOMPARE(blink->geometry(), time->geometry());
        QVERIFY(blink->isHidden());
        QVERIFY(time->isVisible());
        QVERIFY(rig.view->control(ClientControl::Lbl_Lap)->isVisible());
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_LocalIP)->text(), QStringLiteral("10.1.2.3"));

        const QRect frame = rig.view->frameGeometry();
        const QRect screen = rig.view->screen()->geometry();
        QCOMPARE(frame.top(), 0);
        QVERIFY2(qAbs((frame.left() + frame.width() / 2.0) - screen.width() / 2.0) <= 1.0,
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4 screen %5").arg(frame.left()).arg(frame.top()).arg(frame.width()).arg(frame.height()).arg(screen.width())));

        // The clock timer runs from the start and its ticks reach the label.
        QTRY_COMPARE_WITH_TIMEOUT(rig.w<QLabel>(ClientControl::Lbl_NowTime)->text(), QStringLiteral("10:00:00"), 30000);
    }

    void closeRequestsAreRefused()
    {
        Rig rig(Clt_800);
        rig.view->loadAndShow();
        QCloseEvent event;
        QApplication::sendEvent(rig.view.get(), &event);
        QVERIFY(!event.isAccepted());
        QVERIFY(!rig.view->close());
        QVERIFY(rig.view->isVisible());
        QCOMPARE(rig.ends, 0);
    }

    void endEndsTheProgramOnlyOnYes()
    {
        Rig rig(Clt_1024);
        rig.view->loadAndShow();
        auto* end = rig.w<QPushButton>(ClientControl::Btn_End);

        rig.dialogs.answers = {MsgBox::vbNo};
        QTest::mouseClick(end, Qt::LeftButton);
        QCOMPARE(rig.dialogs.boxes.size(), 1);
        QCOMPARE(rig.dialogs.boxes[0].title, QStringLiteral("終了確認"));
        QCOMPARE(rig.ends, 0);
        QCOMPARE(rig.pub.Pub_Answer, int16_t(MsgBox::vbNo));
        QVERIFY(rig.view->isVisible());

        rig.dialogs.answers = {MsgBox::vbYes};
        QTest::mouseClick(end, Qt::LeftButton);
        QCOMPARE(rig.dialogs.boxes.size(), 2);
        QCOMPARE(rig.ends, 1);
    }

    void tabNeverLeavesTheMessageButtonAndSpacePressesIt()
    {
        Rig rig(Clt_640);
        rig.view->loadAndShow();
        QApplication::setActiveWindow(rig.view.get());
        QVERIFY(QTest::qWaitForWindowActive(rig.view.get()));
        auto* messChg = rig.w<QPushButton>(ClientControl::Btn_MessChg);
        QCOMPARE(QApplication::focusWidget(), messChg);

        for (std::size_t i = 0; i < kClientControlCount; ++i) {
            QWidget* child = rig.view->control(ClientControl(i));
            if (child != messChg)
                QVERIFY2(!(child->focusPolicy() & Qt::TabFocus), clientControlName(ClientControl(i)));
        }
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), messChg);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), messChg);

        // The behaviour may still put the focus elsewhere; Tab brings it back.
        rig.window->setFocus(rig.window->Cmb_CarNo);
        QCOMPARE(QApplication::focusWidget(), rig.view->control(ClientControl::Cmb_CarNo));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), messChg);
        QCOMPARE(rig.window->focus(), &rig.window->Btn_MessChg);

        QVERIFY(rig.pub.Pub_MessCount >= 1);
        QTest::keyClick(messChg, Qt::Key_Space);
        QCOMPARE(rig.pub.Pub_MessIndex, int16_t(1));
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_OutMess)->text(), rig.pub.Pub_MessList.at(1));
    }

    void modelChangesReachTheWidgets()
    {
        Rig rig(Clt_800);
        rig.view->loadAndShow();
        ClientWindow& w = *rig.window;
        auto* time = rig.w<QLabel>(ClientControl::Lbl_Time);

        w.Lbl_Time.setCaption(QStringLiteral("1'23.45"));
        QCOMPARE(time->text(), QStringLiteral("1'23.45"));
        w.Lbl_OutMess.setCaption(QStringLiteral("一行目\r二行目"));
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_OutMess)->text(), QStringLiteral("一行目\n二行目"));

        auto* link = rig.w<QLabel>(ClientControl::Lbl_Link);
        w.Lbl_Link.setForeColor(QColor(Qt::black));
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::black));
        w.Lbl_OldTime1Sa.setForeColor(QColor(Qt::cyan));
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_OldTime1Sa)->palette().color(QPalette::WindowText), QColor(Qt::cyan));
        w.Lbl_OldTime1Sa.setForeColor(QColor());
        QCOMPARE(rig.w<QLabel>(ClientControl::Lbl_OldTime1Sa)->palette().color(QPalette::WindowText), QColor(Qt::red));
        w.Lbl_Time.setBackColor(QColor(Qt::blue));
        QCOMPARE(time->palette().color(QPalette::Window), QColor(Qt::blue));

        w.Lbl_Time.setVisible(false);
        w.Lbl_BlkTime.setVisible(true);
        QVERIFY(time->isHidden());
        QVERIFY(rig.view->control(ClientControl::Lbl_BlkTime)->isVisible());
        w.Lbl_Lap.setLeft(150);
        w.Lbl_Lap.setTop(300);
        QCOMPARE(rig.view->control(ClientControl::Lbl_Lap)->geometry(), QRect(10, 20, 3630 / 15, 1095 / 15));

        auto* start = rig.w<QPushButton>(ClientControl::Btn_Start);
        w.Btn_Start.setCaption(QStringLiteral("Stop"));
        w.Btn_Start.setEnabled(false);
        QCOMPARE(start->text(), QStringLiteral("Stop"));
        QVERIFY(!start->isEnabled());
        w.Btn_Start.setEnabled(true);
        QVERIFY(start->isEnabled());

        auto* car = rig.w<QComboBox>(ClientControl::Cmb_CarNo);
        w.Cmb_CarNo.setText(QStringLiteral("３号車"));
        QCOMPARE(car->currentIndex(), 2);
        QCOMPARE(car->currentText(), QStringLiteral("３号車"));
        w.Cmb_CarNo.setText(QStringLiteral("９号車"));
        QCOMPARE(car->currentIndex(), -1);
        QCOMPARE(car->placeholderText(), QStringLiteral("９号車"));
        w.Cmb_CarNo.setText(QString());
        QCOMPARE(car->placeholderText(), QString());
        w.Cmb_CarNo.setEnabled(false);
        QVERIFY(!car->isEnabled());
        w.Cmb_CarNo.setEnabled(true);

        // The operator's choice goes back into the model.
        QApplication::setActiveWindow(rig.view.get());
        QVERIFY(QTest::qWaitForWindowActive(rig.view.get()));
        car->setFocus();
        QTest::keyClick(car, Qt::Key_Down);
        QCOMPARE(w.Cmb_CarNo.text(), QStringLiteral("１号車"));
        QCOMPARE(rig.window->focus(), &rig.window->Cmb_CarNo);
    }

    void everyTimerIsBoundWithItsInterval()
    {
        Rig rig(Clt_640);
        QMap<int, int> intervals;  // interval -> count
        int running = 0;
        for (const TimerBinding* b : rig.view->findChildren<TimerBinding*>()) {
            ++intervals[b->timer().interval()];
            QCOMPARE(b->timer().timerType(), Qt::PreciseTimer);
            running += b->timer().isActive() ? 1 : 0;
        }
        QCOMPARE(intervals, (QMap<int, int>{{100, 2}, {500, 1}, {1000, 2}}));
        QCOMPARE(running, 1);  // Time_Jikan only
        rig.window->Time_Blink.setEnabled(true);
        running = 0;
        for (const TimerBinding* b : rig.view->findChildren<TimerBinding*>())
            running += b->timer().isActive() ? 1 : 0;
        QCOMPARE(running, 2);
    }

    void captionsTooWideAreCondensedNeverCut()
    {
        using C = ClientControl;
        struct Case {
            const ClientLayout* layout;
            ClientControl control;
            QString caption;
            bool condensed;
        };
        const Case cases[] = {
            {&Clt_640, C::Lbl_Lap, QStringLiteral("119周目"), true},
            {&Clt_1024, C::Lbl_Lap, QStringLiteral("1000周目"), true},
            {&Clt_1024, C::Lbl_OldTime1Sa, QStringLiteral("+1'23\"456"), true},
            // What fits keeps the layout's font.
            {&Clt_640, C::Lbl_Lap, QStringLiteral("99周目"), false},
            {&Clt_1024, C::Lbl_Lap, QStringLiteral("12周目"), false},
        };
        for (const Case& c : cases) {
            Rig rig(*c.layout);
            auto* label = static_cast<LargeTextLabel*>(rig.view->control(c.control));
            (c.control == C::Lbl_Lap ? rig.window->Lbl_Lap : rig.window->Lbl_OldTime1Sa).setCaption(c.caption);
            const QString what = QStringLiteral("%1 %2").arg(QLatin1String(c.layout->name), c.caption);
            QCOMPARE(label->text(), c.caption);
            QVERIFY2((label->font() == Appearance::toQFont((*c.layout)[c.control].font)) != c.condensed,
                     qPrintable(what));
            // One line, drawn whole: no ink in the outermost columns, and as wide as the text.
            QVERIFY2(label->drawsFromCache(), qPrintable(what));
            const QImage image = label->grab().toImage();
            int left = image.width(), right = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != image.pixel(0, image.height() - 1))
                        left = std::min(left, x), right = std::max(right, x);
            QVERIFY2(left > 0 && right < image.width() - 1, qPrintable(what));
            const QFontMetricsF fm(label->font());
            QVERIFY2(right - left + 1 >= fm.horizontalAdvance(c.caption) * 0.8, qPrintable(what));
        }
    }

    void inkTallerThanItsRoomIsFittedNeverCut()
    {
        // Rows of ink in a label's picture, against the colour of its top left corner.
        const auto inkRows = [](QWidget* label) {
            const QImage image = label->grab().toImage();
            int top = image.height(), bottom = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != image.pixel(0, 0))
                        top = std::min(top, y), bottom = std::max(bottom, y);
            return std::pair{top, bottom};
        };
        struct Case {
            const ClientLayout* layout;  ///< Lbl_Lap of this layout, or a label of its own
            QString caption;
            int height, pixelSize;  ///< of the label of its own
            bool sameSize;          ///< the ink fits the height, so the font keeps its size
        };
        const Case cases[] = {
            {&Clt_640, QStringLiteral("99周目"), 0, 0, true},
            {&Clt_1024, QStringLiteral("999周目"), 0, 0, true},
            {nullptr, QStringLiteral("周目"), 48, 64, false},  // drawn from the label's images
            {nullptr, QStringLiteral("周目"), 24, 32, false},  // drawn by QLabel
        };
        for (const Case& c : cases) {
            Rig rig(c.layout ? *c.layout : Clt_640);
            LargeTextLabel own;
            LargeTextLabel* label = &own;
            QFont design(QStringLiteral("ＭＳ ゴシック"));
            if (c.layout) {
                label = static_cast<LargeTextLabel*>(rig.view->control(ClientControl::Lbl_Lap));
                design = Appearance::toQFont((*c.layout)[ClientControl::Lbl_Lap].font);
                rig.window->Lbl_Lap.setCaption(c.caption);
            } else {
                own.setFixedSize(300, c.height);
                own.setAlignment(Qt::AlignRight | Qt::AlignTop);
                own.setAutoFillBackground(true);
                own.setPalette(QPalette(Qt::yellow, Qt::black));
                design.setPixelSize(c.pixelSize);
                own.setDesignFont(design);
                own.setCaption(c.caption);
            }
            const auto [top, bottom] = inkRows(label);
            const QString what = QStringLiteral("%1 in %2 px: rows %3 to %4").arg(c.caption).arg(label->height()).arg(top).arg(bottom);
            QVERIFY2(top > 0 && bottom < label->height() - 1, qPrintable(what));
            QVERIFY2(bottom - top + 1 >= label->height() * 3 / 4, qPrintable(what));
            QVERIFY2((QFontInfo(label->font()).pixelSize() == QFontInfo(design).pixelSize()) == c.sameSize,
                     qPrintable(what));
        }
    }
};

RIVECT_UI_TEST_MAIN(TestClientView, SCREEN_CONFIG)
#include "test_client_view.moc"

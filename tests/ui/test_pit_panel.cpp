// The pit panel beside the client window on a 1024x768 offscreen screen: its keys reach the
// pit actions from either window, the client window's own keys do what they always did, and
// the panel stands beside the client window (filling the screen or not) and shows what the
// observer knows.
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "fakes/file_bytes.h"
#include "ui/client_view.h"
#include "ui/pit_panel.h"
#include "ui_test_main.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace {

/// A client window with fakes behind it, its view, the pit observer and the panel beside it.
struct PanelRig : FakeClientServices {
    explicit PanelRig(bool fill = false)
    {
        path = dir.filePath(QStringLiteral("Stints.ini"));
        writeBytes(path, "[rules]\r\nmin_pit_s=30\r\n[drivers]\r\n1=A\r\n2=B\r\n3=C\r\n");
        pit = std::make_unique<PitObserver>(StintsLocation{path}, dialogs, [this] { return steadyMs; });
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        ClientServices s = services(dir.path());
        s.runObserver = [this](const ClientWindow& w, RunEvent e) { pit->onRunEvent(w, e); };
        window = std::make_unique<ClientWindow>(pub, std::move(s));
        view = std::make_unique<ClientView>(*window, Clt_800);
        view->setFill(fill);
        view->loadAndShow();
        panel = std::make_unique<PitPanel>(*pit, editor);
        panel->attachKeys(view.get());
        panel->show();
        if (fill)
            view->setSideRoom(panel->widthBeside());
        panel->follow(view.get());
    }
    ~PanelRig()
    {
        panel.reset();
        view.reset();
        window.reset();
        pit.reset();
    }
    QString journal() const { return pit->book().journal().join(u'|'); }

    QTemporaryDir dir;
    QString path;
    qint64 steadyMs = 0;
    PublicConst pub;
    std::unique_ptr<PitObserver> pit;
    std::unique_ptr<ClientWindow> window;
    std::unique_ptr<ClientView> view;
    std::unique_ptr<PitPanel> panel;
};

bool activate(QWidget* w)
{
    if (!QTest::qWaitForWindowExposed(w))
        return false;
    w->activateWindow();
    QApplication::setActiveWindow(w);
    return QTest::qWaitForWindowActive(w);
}

} // namespace

class TestPitPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keysReachTheActionsFromEitherWindow_data()
    {
        QTest::addColumn<bool>("inPanel");
        QTest::newRow("client window") << false;
        QTest::newRow("panel") << true;
    }
    void keysReachTheActionsFromEitherWindow()
    {
        QFETCH(bool, inPanel);
        PanelRig rig;
        rig.window->Cmb_CarNo.setText(Datagram::carText(1));
        rig.window->Btn_Start_Click();
        QVERIFY(rig.pit->running());
        QWidget* target = inPanel ? static_cast<QWidget*>(rig.panel.get()) : rig.view.get();
        QVERIFY(activate(target));
        QWidget* focused = QApplication::focusWidget() ? QApplication::focusWidget() : target;

        rig.steadyMs = 1000;
        QTest::keyClick(focused, Qt::Key_F5);
        QCOMPARE(rig.journal(), QStringLiteral("S 0 0|I 1000"));
        QTest::keyClick(focused, Qt::Key_F7);  // B would go out by default: C is chosen
        QCOMPARE(rig.pit->chosenDriver(), 2);
        rig.steadyMs = 40000;
        QTest::keyClick(focused, Qt::Key_F6);
        QCOMPARE(rig.journal(), QStringLiteral("S 0 0|I 1000|O 40000 2"));
        QTest::keyClick(focused, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rig.journal(), QStringLiteral("S 0 0|I 1000|O 40000 2|U"));
        QTest::keyClick(focused, Qt::Key_F8);
        QVERIFY(rig.pit->muted());
        QCOMPARE(rig.panel->button(PitPanel::Key::Mute)->text(), QStringLiteral("消音中 (F8)"));
        // No question was asked: the pits were open.
        QCOMPARE(rig.dialogs.boxes.size(), 0);
    }

    void clientKeysUnchanged()
    {
        PanelRig rig;
        rig.window->Cmb_CarNo.setText(Datagram::carText(1));
        rig.window->Btn_Start_Click();
        QVERIFY(activate(rig.view.get()));
        auto* messChg = qobject_cast<QPushButton*>(rig.view->control(ClientControl::Btn_MessChg));
        QCOMPARE(QApplication::focusWidget(), messChg);
        const QString before = rig.journal();

        // Space still presses the message button and Tab still stays on it; neither is a pit key.
        QTest::keyClick(messChg, Qt::Key_Space);
        QCOMPARE(rig.pub.Pub_MessIndex, int16_t(1));
        QTest::keyClick(messChg, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), messChg);
        QCOMPARE(rig.journal(), before);

        // A pit key changes nothing of the client window: message, focus, car, buttons.
        const QString shown = rig.window->Lbl_OutMess.caption();
        QTest::keyClick(messChg, Qt::Key_F5);
        QTest::keyClick(messChg, Qt::Key_F7);
        QCOMPARE(rig.pub.Pub_MessIndex, int16_t(1));
        QCOMPARE(rig.window->Lbl_OutMess.caption(), shown);
        QCOMPARE(rig.window->focus(), &rig.window->Btn_MessChg);
        QCOMPARE(rig.window->Cmb_CarNo.text(), Datagram::carText(1));
        QVERIFY(rig.window->Btn_Start.enabled());
        QCOMPARE(rig.pit->book().stops().size(), 1);
        // The client window has no other shortcut than the panel's.
        QCOMPARE(rig.view->actions().size(), 5);
    }

    void standsBesideTheClientWindowAndShowsTheStop_data()
    {
        QTest::addColumn<bool>("fill");
        QTest::newRow("exact layout") << false;
        QTest::newRow("filling the rest of the screen") << true;
    }

    void standsBesideTheClientWindowAndShowsTheStop()
    {
        QFETCH(bool, fill);
        PanelRig rig(fill);
        QVERIFY(QTest::qWaitForWindowExposed(rig.panel.get()));
        QCOMPARE(rig.view->scale() > 1.0, fill);
        QVERIFY(rig.panel->isWindow());
        QVERIFY(!rig.panel->frameGeometry().intersects(rig.view->frameGeometry()));
        QVERIFY(rig.view->screen()->availableGeometry().contains(rig.panel->frameGeometry()));

        rig.window->Cmb_CarNo.setText(Datagram::carText(1));
        rig.window->Btn_Start_Click();
        rig.steadyMs = 1000;
        rig.panel->button(PitPanel::Key::PitIn)->click();
        rig.steadyMs = 31000;
        rig.pit->collectAlerts();
        rig.panel->refresh();
        QCOMPARE(rig.panel->alertShown(), QStringLiteral("ピット最短時間経過 発進可"));
        const QList<QLabel*> labels = rig.panel->findChildren<QLabel*>();
        const bool stopShown = std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
            return l->text() == QStringLiteral("ピット停止 0:00:30  発進可");
        });
        QVERIFY(stopShown);
    }

    void showsTheLapSilenceUntilTheNextReport()
    {
        PanelRig rig;
        rig.window->Cmb_CarNo.setText(Datagram::carText(1));
        rig.window->Btn_Start_Click();
        rig.steadyMs = 252'900;
        rig.pit->collectAlerts();
        rig.panel->refresh();
        QCOMPARE(rig.panel->alertShown(), QStringLiteral("ラップ受信なし 4:12"));
        rig.sock.deliver(Datagram::lapReportText(false, 1, 83456, 83456, 83456, QDate(2026, 5, 3), QTime(10, 0, 0),
                                                 QTime(10, 0, 0), {}));
        rig.panel->refresh();
        QCOMPARE(rig.panel->alertShown(), QString());
    }
};

RIVECT_UI_TEST_MAIN(TestPitPanel, SCREEN_CONFIG)
#include "test_pit_panel.moc"

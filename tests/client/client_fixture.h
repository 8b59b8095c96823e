#pragma once

#include "client/client_window.h"
#include "client/datagram.h"
#include "fakes/fake_services.h"
#include "fakes/fake_udp_socket.h"

#include <QTemporaryDir>
#include <memory>

/// A loaded client window on fakes: the host is loopback, the screen 1024 x 768 pixels.
struct ClientFixture {
    PublicConst pub;
    FakeTickTimer tick;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress local{QStringLiteral("127.0.0.1")};
    FakeUdpSocket sock;
    FakeUdpSocket chk;
    QTemporaryDir folder;
    int endCalls = 0;
    std::unique_ptr<ClientWindow> w;

    explicit ClientFixture(bool load = true)
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        w = std::make_unique<ClientWindow>(
            pub, ClientServices{tick, clock, dialogs, editor, local, sock, chk, folder.path(),
                                [] { return QSize(15360, 11520); }, [this] { ++endCalls; }});
        if (load)
            w->Form_Load();
    }

    /// Chooses car n and presses Start, answering nothing (no box expected).
    void start(int car = 3)
    {
        w->Cmb_CarNo.setText(Datagram::carText(car));
        w->Btn_Start_Click();
    }

    /// A lap report as the host simulator builds it, the clock time equal to the end time.
    static QString report(int lapNo, int lastLap, bool forced = false, const QString& hostText = QString())
    {
        return Datagram::lapReportText(forced, lapNo, lastLap, 80000, 81000, QDate(2026, 5, 3),
                                       QTime(10, 0, 0), QTime(10, 0, 0), hostText);
    }
};

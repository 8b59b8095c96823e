#pragma once

#include "client/client_window.h"
#include "client/datagram.h"
#include "fakes/fake_client_services.h"

#include <QTemporaryDir>
#include <memory>

/// A loaded client window on fakes: the host is loopback, the screen 1024 x 768 pixels.
struct ClientFixture : FakeClientServices {
    PublicConst pub;
    QTemporaryDir folder;
    int endCalls = 0;
    std::unique_ptr<ClientWindow> w;

    explicit ClientFixture(bool load = true)
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        w = std::make_unique<ClientWindow>(pub, services(folder.path(), [this] { ++endCalls; }));
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

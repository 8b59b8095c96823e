#pragma once

#include "client/client_window.h"
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "platform/dialogs.h"
#include "fuzz_support.h"

#include <memory>

/// A loaded client window on the recording fakes, its host on loopback, messages read from the
/// scratch folder. Built afresh for every input so no state leaks from one input to the next.
struct ClientRig : FakeClientServices {
    PublicConst pub;
    std::unique_ptr<ClientWindow> w;

    ClientRig()
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        pub.Pub_IniPath = FuzzSupport::scratchFolder() + QStringLiteral("/Rivect.ini");
        w = std::make_unique<ClientWindow>(pub, services(FuzzSupport::scratchFolder()));
        w->Form_Load();
    }

    /// Chooses car n and presses Start; the run must be on afterwards.
    void start(int car)
    {
        w->Cmb_CarNo.setText(Datagram::carText(car));
        sock.bindErrors.clear();
        w->Btn_Start_Click();
        FUZZ_CHECK(w->Btn_Start.caption() == QLatin1String("Stop"));
        FUZZ_CHECK(sock.isBound());
    }

    /// Presses Start while running and confirms, so the run is off afterwards.
    void stop()
    {
        dialogs.answers = {MsgBox::vbYes};
        w->Btn_Start_Click();
        FUZZ_CHECK(w->Btn_Start.caption() == QLatin1String("Start"));
        FUZZ_CHECK(!sock.isBound());
    }
};

#pragma once

#include "client/client_window.h"
#include "fakes/fake_services.h"
#include "fakes/fake_udp_socket.h"

#include <QSize>
#include <functional>
#include <utility>

/// The recording fakes of every service a client window uses: the local address is loopback,
/// the screen 1024 x 768 pixels at 96 dpi.
struct FakeClientServices {
    FakeTickTimer tick;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress local{QStringLiteral("127.0.0.1")};
    FakeUdpSocket sock;
    FakeUdpSocket chk;

    /// The services for a window whose program folder is folder; End calls endProgram.
    ClientServices services(const QString& folder, std::function<void()> endProgram = [] {})
    {
        return ClientServices{tick, clock, dialogs, editor, local, sock, chk, folder,
                              [] { return QSize(15360, 11520); }, std::move(endProgram)};
    }
};

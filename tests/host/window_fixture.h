#pragma once

#include "client/client_window.h"
#include "fakes/fake_services.h"
#include "fakes/fake_udp_socket.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>

/// A client window over fakes and sockets of type Socket, loaded, with its program folder in a
/// temporary directory and the host set to the loopback address.
template <class Socket>
struct WindowOver {
    QTemporaryDir folder;
    PublicConst pub;
    FakeTickTimer tickTimer;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress localAddress{QStringLiteral("127.0.0.1")};
    Socket winsock1;
    Socket chker;
    std::unique_ptr<ClientWindow> window;

    /// Writes the message file before the load when messageFile is given.
    explicit WindowOver(const QByteArray* messageFile = nullptr)
    {
        pub.Pub_IniPath = folder.path() + QStringLiteral("/Rivect.ini");
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        if (messageFile)
            writeFile(messageFilePath(), *messageFile);
        window = std::make_unique<ClientWindow>(
            pub, ClientServices{tickTimer, clock, dialogs, editor, localAddress, winsock1, chker,
                                folder.path(), [] { return QSize(15360, 11520); }, [] {}});
        window->Form_Load();
    }

    QString messageFilePath() const { return folder.path() + QStringLiteral("/OutMess.txt"); }

    static void writeFile(const QString& path, const QByteArray& content)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(content);
    }

    ClientWindow& w() { return *window; }
};

/// A client window whose sockets are fakes too.
using WindowFixture = WindowOver<FakeUdpSocket>;

#include "client_rig.h"

#include "client/datagram.h"
#include "platform/cp932.h"

SocketError BenchSocket::sendText(const QString& text)
{
    if (!m_bound)
        return SocketError::Other;
    // Encoded as the real socket would, so a send costs what it costs on the wire.
    sentBytes += Cp932::encode(text).size();
    ++sends;
    return SocketError::None;
}

SocketError BenchSocket::takeText(QString& text)
{
    text = Cp932::decode(incoming);
    return SocketError::None;
}

ClientRig::ClientRig(IUdpSocket& winsock1, IUdpSocket& winsockChker, bool load,
                     std::function<void(const ClientWindow&, RunEvent)> observer)
{
    // The default host address is a private one: every run goes to loopback instead.
    pub.Pub_HostIP = QStringLiteral("127.0.0.1");
    window = std::make_unique<ClientWindow>(
        pub, ClientServices{tick, clock, dialogs, editor, local, winsock1, winsockChker, folder.path(),
                            [] { return QSize(15360, 11520); }, [] {}, std::move(observer)});
    if (load)
        window->Form_Load();
}

ClientRig::~ClientRig() = default;

bool ClientRig::start(int car)
{
    pub.Pub_HostIP = QStringLiteral("127.0.0.1");
    window->Cmb_CarNo.setText(Datagram::carText(car));
    window->Btn_Start_Click();
    return window->Btn_Start.caption() == QLatin1String("Stop");
}

void ClientRig::stop()
{
    if (window->Btn_Start.caption() == QLatin1String("Stop"))
        window->Btn_Start_Click();
}

QString benchLapReport(bool forced, int lapNo, int lastLapMs, const QString& hostText)
{
    return Datagram::lapReportText(forced, lapNo, lastLapMs, 80000, 81000, QDate(2026, 5, 3), QTime(10, 0, 0),
                                   QTime(10, 0, 0), hostText);
}

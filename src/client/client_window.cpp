#include "client/client_window.h"

#include "platform/editor_launcher.h"
#include "platform/udp_socket.h"

ClientWindow::ClientWindow(PublicConst& pub, ClientServices services)
    : m_pub(pub), m_svc(std::move(services))
{
    Label1.setCaption(QStringLiteral("端末 IP 情報 "));
    Lbl_LocalIP.setCaption(QStringLiteral("端末情報"));
    Lbl_Link.setCaption(QStringLiteral("●"));
    Btn_Start.setCaption(QStringLiteral("Start"));
    Btn_End.setCaption(QStringLiteral("End"));
    Btn_HostIP.setCaption(QStringLiteral("Host設定"));
    Btn_MessChg.setCaption(QStringLiteral("メッセージ切替（Ｓｐａｃｅ）"));
    Btn_EditMess.setCaption(QStringLiteral("メッセージ編集"));
    Cmb_CarNo.setItems({QStringLiteral("１号車"), QStringLiteral("２号車"), QStringLiteral("３号車"),
                        QStringLiteral("４号車"), QStringLiteral("５号車")});
    m_focus = &Btn_MessChg;
    m_svc.Winsock1.dataArrival = [this] { Winsock1_DataArrival(); };
    m_svc.WinsockChker.dataArrival = [this] { WinsockChker_DataArrival(); };
}

ClientWindow::~ClientWindow()
{
    m_svc.Winsock1.dataArrival = nullptr;
    m_svc.WinsockChker.dataArrival = nullptr;
}

void ClientWindow::setFocus(const ControlModel& control)
{
    m_focus = &control;
    if (focusChanged)
        focusChanged();
}

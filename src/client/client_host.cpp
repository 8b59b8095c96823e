#include "client/client_window.h"
#include "client/datagram.h"
#include "config/settings.h"
#include "platform/dialogs.h"
#include "platform/udp_socket.h"

void ClientWindow::Btn_HostIP_Click()
{
    const QString entered = m_svc.dialogs.inputBox(QStringLiteral("ホストＩＰ番号は？"),
                                                   QStringLiteral("ホストＩＰ設定"), m_pub.Pub_HostIP);
    if (entered.isEmpty())
        return;
    m_pub.Pub_HostIP = entered;
    m_pub.Pub_IniSection = Settings::kSection;
    m_pub.Pub_IniKey = Settings::kKey;
    m_pub.Pub_IniResult = Ini_Write(m_pub, m_pub.Pub_IniSection, m_pub.Pub_IniKey, m_pub.Pub_HostIP);
    // The address is used for this run in any case; that it will be gone at the next start
    // must not come as a surprise.
    if (m_pub.Pub_IniResult == 0)
        m_svc.dialogs.msgBox(QStringLiteral("ホストＩＰ番号「%1」を設定ファイルに保存できませんでした。\r"
                                            "今回はこの番号で動作しますが、次回の起動時には元に戻ります。\r%2")
                                 .arg(m_pub.Pub_HostIP, m_pub.Pub_IniPath),
                             MsgBox::vbOKOnly | MsgBox::vbExclamation, QString());

    IUdpSocket& socket = m_svc.WinsockChker;
    socket.close();
    socket.setRemoteHost(m_pub.Pub_HostIP);
    socket.setLocalPort(Datagram::kCheckerLocalPort);
    socket.setRemotePort(Datagram::kCheckerRemotePort);
    const SocketError bindError = socket.bind();
    const SocketError sendError =
        bindError == SocketError::None ? socket.sendText(Lbl_LocalIP.caption()) : SocketError::None;

    if (bindError == SocketError::None && sendError == SocketError::None) {
        m_HostWait = VbTrue;
        Time_HostChk.restart();
    } else {
        // Nothing went out, so no reply can be awaited: stop any watchdog of an earlier press
        // rather than let it warn about a request that never left.
        m_HostWait = VbFalse;
        Time_HostChk.setEnabled(false);
        if (bindError != SocketError::None)
            reportRegistrationFailure(bindError, true);
        else
            reportRegistrationFailure(sendError, false);
    }
    setFocus(Btn_MessChg);
}

void ClientWindow::reportRegistrationFailure(SocketError error, bool binding)
{
    QString text;
    if (binding && error == SocketError::AddressInUse)
        text = QStringLiteral("登録確認用のポート（7001）が他のプログラムで使用中のため、"
                              "ホストへ問い合わせできませんでした。\r"
                              "このパソコンで別のクライアントが動いていないか確認してください。");
    else if (binding)
        text = QStringLiteral("登録確認用のポート（7001）を開けませんでした。\r"
                              "ネットワークの設定を確認してください。");
    else
        text = QStringLiteral("ホストＩＰ番号「%1」へ問い合わせを送れませんでした。\r"
                              "ホストＩＰ番号とネットワークを確認してください。")
                   .arg(m_pub.Pub_HostIP);
    m_svc.dialogs.msgBox(text, MsgBox::vbOKOnly | MsgBox::vbCritical, QString());
}

void ClientWindow::WinsockChker_DataArrival()
{
    m_HostWait = VbFalse;
    QString text;
    if (!takeRegistrationReply(text))
        return;
    if (text == Datagram::kNotRegistered)
        m_svc.dialogs.msgBox(QStringLiteral("ホスト側で未登録です。\rホスト側を確認してください。"),
                             MsgBox::vbOKOnly, QString());
    else
        Cmb_CarNo.setText(text);
}

bool ClientWindow::takeRegistrationReply(QString& text)
{
    IUdpSocket& socket = m_svc.WinsockChker;
    SocketError error = socket.takeText(text);
    if (error == SocketError::None)
        return true;
    // One more attempt only, so a reply that keeps failing cannot hold up the window. A failed
    // re-bind is not reported here: the next press of Btn_HostIP sets the socket up again and
    // tells the operator if the port is still unavailable.
    if (error == SocketError::ConnectionReset) {
        socket.close();
        socket.bind();
    }
    error = socket.takeText(text);
    return error == SocketError::None;
}

void ClientWindow::Time_HostChk_Timer()
{
    Time_HostChk.setEnabled(false);
    if (!m_HostWait)
        return;
    // The box runs a nested loop: a new request made while it is open has its own watchdog
    // and must still be waited for, so only the request this warning is about is given up.
    const unsigned startsBefore = Time_HostChk.starts();
    m_svc.dialogs.msgBox(QStringLiteral("ホスト側から応答がありません。\r確認してください。"),
                         MsgBox::vbOKOnly | MsgBox::vbCritical, QString());
    if (Time_HostChk.starts() == startsBefore)
        m_HostWait = VbFalse;
}

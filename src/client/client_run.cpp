#include "client/client_window.h"

#include "client/datagram.h"
#include "client/time_format.h"
#include "platform/dialogs.h"
#include "platform/tick_timer.h"
#include "platform/udp_socket.h"

namespace {
const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");
} // namespace

void ClientWindow::Btn_Start_Click()
{
    if (Cmb_CarNo.text().isEmpty()) {
        m_svc.dialogs.msgBox(QStringLiteral("車両番号が選択されていません"), MsgBox::vbOKOnly, QString());
        setFocus(Cmb_CarNo);
        return;
    }
    if (Btn_Start.caption() == kStart)
        startRun();
    else
        stopRun();
}

void ClientWindow::startRun()
{
    // Kept only to put the window back exactly as it was should the socket refuse to bind.
    const int32_t tickCountBefore = m_pub.Pub_TickCount.load();
    const bool watchdogBefore = Time_HostChk.enabled();

    m_pub.Pub_TickCount.store(0);
    PublicConst& pub = m_pub;
    m_pub.Pub_TimerId = m_svc.tickTimer.timeSetEvent(10, [&pub] { Tick_Proc(pub); });
    Time_SendData.setEnabled(true);
    Time_Chk.setEnabled(true);
    Btn_Start.setCaption(kStop);
    Btn_HostIP.setEnabled(false);
    Btn_End.setEnabled(false);
    Btn_EditMess.setEnabled(false);
    Cmb_CarNo.setEnabled(false);
    Time_HostChk.setEnabled(false);

    IUdpSocket& sock = m_svc.Winsock1;
    sock.setRemoteHost(m_pub.Pub_HostIP);
    if (const int car = Datagram::carOfText(Cmb_CarNo.text())) {
        sock.setLocalPort(Datagram::clientPort(car));
        sock.setRemotePort(Datagram::hostPort(car));
    }
    m_rebindPending = false;
    const bool bound = sock.bind() == SocketError::None;
    if (!bound) {
        // A run without its socket would count laps it can never receive: refuse the whole
        // start so the window is either fully measuring or fully idle.
        undoStart(tickCountBefore, watchdogBefore);
        m_svc.dialogs.msgBox(QStringLiteral("ポート %1 を使用できません。").arg(sock.localPort())
                                 + QLatin1Char('\r')
                                 + QStringLiteral("他のプログラムが使用していないか確認してください。"),
                             MsgBox::vbOKOnly | MsgBox::vbCritical, QString());
    }
    setFocus(Btn_MessChg);
    if (bound && m_svc.runObserver)
        m_svc.runObserver(*this, RunEvent::Started);
}

void ClientWindow::undoStart(int32_t tickCountBefore, bool watchdogBefore)
{
    returnToIdle();
    m_pub.Pub_TickCount.store(tickCountBefore);
    Time_HostChk.setEnabled(watchdogBefore);
}

void ClientWindow::returnToIdle()
{
    m_svc.tickTimer.timeKillEvent(m_pub.Pub_TimerId);
    Time_Chk.setEnabled(false);
    Time_SendData.setEnabled(false);
    Btn_Start.setCaption(kStart);
    Btn_HostIP.setEnabled(true);
    Btn_End.setEnabled(true);
    Btn_EditMess.setEnabled(true);
    Cmb_CarNo.setEnabled(true);
    m_svc.Winsock1.close();
}

void ClientWindow::stopRun()
{
    using namespace MsgBox;
    const int answer = m_svc.dialogs.msgBox(QStringLiteral("タイム計測を中断します。") + QLatin1Char('\r')
                                                + QStringLiteral("よろしいですか"),
                                            vbYesNo | vbInformation | vbDefaultButton2,
                                            QStringLiteral("中断"));
    m_pub.Pub_Answer = int16_t(answer);
    if (answer == vbNo)
        return;

    returnToIdle();
    m_rebindPending = false;
    setFocus(Btn_MessChg);
    if (m_svc.runObserver)
        m_svc.runObserver(*this, RunEvent::Stopped);
}

void ClientWindow::Time_Chk_Timer()
{
    Lbl_Time.setCaption(Fmt_LapCenti(m_pub.Pub_TickCount.load()));
    const bool linked = m_RecvFlag != VbFalse || m_recvInLastPeriod != VbFalse;
    Lbl_Link.setForeColor(linked ? QColor(0xFF, 0xFF, 0x00) : QColor(0x00, 0x00, 0x00));
}

void ClientWindow::rebindWinsock1()
{
    // A port taken in the meantime would fail here on every datagram and tick; it is only
    // remembered, and the next send tick tries again.
    m_svc.Winsock1.close();
    m_rebindPending = (m_svc.Winsock1.bind() != SocketError::None);
}

void ClientWindow::retryPendingRebind()
{
    if (m_rebindPending)
        rebindWinsock1();
}

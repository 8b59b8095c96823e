#include "client/client_window.h"

#include "client/datagram.h"
#include "platform/udp_socket.h"

void ClientWindow::Time_SendData_Timer()
{
    m_recvInLastPeriod = m_RecvFlag;
    m_RecvFlag = VbFalse;

    retryPendingRebind();
    if (!m_rebindPending) {
        const SocketError e = m_svc.Winsock1.sendText(Datagram::statusText(m_LapNo, Lbl_OutMess.caption()));
        if (e == SocketError::HostUnreachable) {
            rebindWinsock1();
        } else if (e != SocketError::None) {
            // The refusal is that of an earlier status datagram; this tick is dropped like any
            // other failed send, and only the observer hears of it.
            if (e == SocketError::ConnectionReset && m_svc.runObserver)
                m_svc.runObserver(*this, RunEvent::HostRefused);
            return;
        }
    }
    // With the port still taken there is nothing to send from, but the ticker on the screen
    // has no reason to stand still.

    if (m_pub.Pub_InMessLen <= 0)
        return;

    // Counted in int: the position may stand at the largest 16-bit value before it wraps.
    int pos = m_pub.Pub_InMessPos + 1;
    if (pos > m_pub.Pub_InMessLen)
        pos = 1;
    m_pub.Pub_InMessPos = int16_t(pos);

    QString line = Lbl_InMess.caption();
    if (line.size() >= 10)
        line = line.right(9);
    Lbl_InMess.setCaption(line + m_pub.Pub_InMess.mid(pos - 1, 1));
}

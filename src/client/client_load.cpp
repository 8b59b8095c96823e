#include "client/client_window.h"

#include "config/messages.h"
#include "platform/dialogs.h"
#include "platform/local_address.h"

#include <cmath>

void ClientWindow::Form_Load()
{
    Lbl_LocalIP.setCaption(m_svc.localAddress.localIPv4(m_pub.Pub_HostIP));
    Lbl_Lap.setVisible(true);

    // The blink label lies on the running time, so showing it covers that time exactly.
    Lbl_BlkTime.setVisible(false);
    Lbl_BlkTime.setTop(Lbl_Time.top());
    Lbl_BlkTime.setLeft(Lbl_Time.left());

    const QSize screen = m_svc.screenSizeTwips ? m_svc.screenSizeTwips() : QSize();
    m_pub.Pub_ScreenWidth = screen.width();
    m_pub.Pub_ScreenHeight = screen.height();
    const double left = (double(m_pub.Pub_ScreenWidth) - double(Form.outerWidth)) / 2.0;
    Form.move(int(std::lround(left)), 0);

    m_pub.Pub_MessPath = m_svc.configFolder + QStringLiteral("/") + Messages::kFileName;
    m_pub.messPreparedPath = m_svc.preparedFolder.isEmpty()
        ? QString()
        : m_svc.preparedFolder + QStringLiteral("/") + Messages::kFileName;
    Mess_Load(m_pub);

    m_pub.Pub_InMess.clear();
    m_pub.Pub_InMessLen = 0;
    m_HostWait = VbFalse;
}

bool ClientWindow::Form_QueryUnload()
{
    return true;
}

void ClientWindow::Btn_End_Click()
{
    using namespace MsgBox;
    const int answer = m_svc.dialogs.msgBox(QStringLiteral("終了します。") + QLatin1Char('\r')
                                                + QStringLiteral("よろしいですか？"),
                                            vbYesNo | vbInformation | vbDefaultButton1,
                                            QStringLiteral("終了確認"));
    m_pub.Pub_Answer = int16_t(answer);
    if (answer != vbNo && m_svc.endProgram)
        m_svc.endProgram();
}

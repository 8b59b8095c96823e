#include "startup/open_window.h"

#include "config/config_folder.h"
#include "config/settings.h"
#include "layouts/open_layout.h"
#include "platform/dialogs.h"

#include <cmath>

OpenWindow::OpenWindow(PublicConst& pub, OpenServices services)
    : Timer1("Timer1", Fm_Open.timer1IntervalMs, false), m_pub(pub), m_svc(std::move(services))
{
}

void OpenWindow::Form_Load()
{
    const QSize screen = m_svc.screenSizeTwips ? m_svc.screenSizeTwips() : QSize();
    m_pub.Pub_ScreenWidth = screen.width();
    m_pub.Pub_ScreenHeight = screen.height();

    // Centred in floating point, like any other form position, before it lands on twips.
    const double left = (double(m_pub.Pub_ScreenWidth) - double(Form.outerWidth)) / 2.0;
    const double top = (double(m_pub.Pub_ScreenHeight) - double(Form.outerHeight)) / 2.0;
    Form.move(int(std::lround(left)), int(std::lround(top)));

    m_pub.Pub_IniPath = m_svc.configFolder + QStringLiteral("/") + Settings::kFileName;
    m_pub.iniPreparedPath = m_svc.preparedFolder.isEmpty()
        ? QString()
        : m_svc.preparedFolder + QStringLiteral("/") + Settings::kFileName;
    Ini_ReadHost(m_pub);
    if (!m_pub.iniUnreadable.isEmpty() && m_svc.dialogs)
        m_svc.dialogs->msgBox(settingsUnreadableNotice(m_pub), MsgBox::vbOKOnly | MsgBox::vbExclamation, QString());
    // Compared after the read, which writes a missing Rivect.ini, so that a file made now is
    // told about at once and not only at the next start.
    const QString differing = differingCopiesNotice(
        ConfigFolder{m_svc.configFolder, m_svc.preparedFolder, m_svc.unwritableFolders, m_svc.apartFolder});
    if (!differing.isEmpty() && m_svc.dialogs)
        m_svc.dialogs->msgBox(differing, MsgBox::vbOKOnly | MsgBox::vbExclamation, QString());
    if (!m_svc.unwritableFolders.isEmpty() && m_svc.dialogs)
        tellNothingCanBeSaved();

    // Enabled last, so the tick can never run before the load has finished.
    Timer1.setEnabled(true);
}

void OpenWindow::Timer1_Timer()
{
    Timer1.setEnabled(false);
    if (m_svc.unload)
        m_svc.unload();
    // The width measured at load decides; the screen is not asked again.
    const ClientChoice choice = chooseClientWindow(m_pub.Pub_ScreenWidth);
    if (m_svc.showClient)
        m_svc.showClient(choice);
}

void OpenWindow::tellNothingCanBeSaved()
{
    // Said once, at the start: the program still runs, on what it could read or the defaults,
    // and a host address entered later is used for this run only.
    const QString text = QStringLiteral("設定を保存できるフォルダがありません。\r"
                                        "このまま動作しますが、ホストＩＰ番号やメッセージを変更しても"
                                        "保存されず、次回の起動時には元に戻ります。\r"
                                        "書き込めないフォルダ：\r")
        + m_svc.unwritableFolders.join(QLatin1Char('\r'));
    m_svc.dialogs->msgBox(text, MsgBox::vbOKOnly | MsgBox::vbExclamation, QString());
}

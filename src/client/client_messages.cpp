#include "client/client_window.h"
#include "config/messages.h"
#include "platform/editor_launcher.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace {
/// Pause between two looks at the editor: short enough that the label follows the editor's
/// end at once, long enough that the wait costs no CPU.
constexpr int kEditorPollMs = 50;
} // namespace

void ClientWindow::Btn_MessChg_Click()
{
    // The list may have been reloaded shorter than the index, or (before any load) be empty:
    // the highest index that can be shown is bounded by both the count and the list itself.
    const int highest = std::min<int>(m_pub.Pub_MessCount, int(m_pub.Pub_MessList.size()) - 1);
    int next = int(m_pub.Pub_MessIndex) + 1;
    if (next > highest || next < 0)
        next = 0;
    m_pub.Pub_MessIndex = int16_t(next);
    Lbl_OutMess.setCaption(next < m_pub.Pub_MessList.size() ? m_pub.Pub_MessList.at(next) : QString());
}

void ClientWindow::Btn_EditMess_Click()
{
    std::unique_ptr<IEditorProcess> process = m_svc.editor.open(m_pub.Pub_MessPath);
    if (process) {
        Lbl_OutMess.setCaption(QStringLiteral("編集中"));
        waitForEditor(*process);
        Lbl_OutMess.setCaption(QString());
    } else {
        Lbl_OutMess.setCaption(QStringLiteral("ファイルを開けませんでした。"));
    }
    Mess_Load(m_pub);
}

void ClientWindow::waitForEditor(IEditorProcess& process)
{
    // A local loop per pause serves timers, datagrams and presses in between, a second
    // editor's wait included: it nests inside this one and returns here when it is over.
    while (process.stillActive()) {
        QEventLoop pause;
        QTimer::singleShot(kEditorPollMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

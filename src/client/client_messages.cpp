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
    // A press ends the watch left by the editing before it; this one may start its own.
    m_messWatch.reset();
    std::unique_ptr<IEditorProcess> process = m_svc.editor.open(messFileForEditing(m_pub));
    bool opened = process != nullptr;
    if (process) {
        Lbl_OutMess.setCaption(QStringLiteral("編集中"));
        if (!waitForEditor(*process))
            return;  // the program is ending: nothing more is done
        opened = process->succeeded();
    }
    Lbl_OutMess.setCaption(opened ? QString() : QStringLiteral("ファイルを開けませんでした。"));
    Mess_Load(m_pub);
    // An editor that handed the file to one already running, or was activated over D-Bus,
    // ends before the operator has edited anything: every later save reloads the list, until
    // the next press.
    if (opened) {
        process->watchSaves([this] { Mess_Load(m_pub); });
        m_messWatch = std::move(process);
    }
}

bool ClientWindow::waitForEditor(IEditorProcess& process)
{
    // One loop for the whole wait, serving timers, datagrams and presses in between (a second
    // editor's wait nests inside it); the poll leaves it once the editor has ended. Ending the
    // program leaves every running loop, and a loop entered after that returns at once: a
    // loop left without the poll means the program is ending.
    if (!process.stillActive())
        return true;
    bool ended = false;
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (!process.stillActive()) {
            ended = true;
            wait.quit();
        }
    });
    poll.start(kEditorPollMs);
    wait.exec();
    return ended;
}

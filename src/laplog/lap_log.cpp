#include "laplog/lap_log.h"

#include "laplog/lap_log_format.h"
#include "platform/dialogs.h"
#include "platform/system_clock.h"

#include <QDir>
#include <QTimer>

LapLog::LapLog(QString folder) : m_folder(std::move(folder)) {}

void LapLog::onRunEvent(const ClientWindow& window, RunEvent event)
{
    switch (event) {
    case RunEvent::Started:
        start(window);
        break;
    case RunEvent::LapTaken:
        lap(window);
        break;
    case RunEvent::Stopped:
        m_file.close();
        m_running = false;
        break;
    }
}

void LapLog::start(const ClientWindow& window)
{
    m_file.close();
    m_running = true;
    m_told = false;
    const QDir dir(m_folder);
    const QString name = LapLogFormat::fileName(window.services().clock.now(), window.Cmb_CarNo.text());
    // Two runs of one car within a second must not share a file.
    m_path = dir.filePath(name);
    for (int n = 2; QFile::exists(m_path) && n < 100; ++n)
        m_path = dir.filePath(name.chopped(4) + QStringLiteral("_%1.csv").arg(n));
    if (!open())
        tellOnce(window);
}

bool LapLog::open()
{
    if (!QDir().mkpath(m_folder))
        return false;
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    if (m_file.size() == 0 && (m_file.write(LapLogFormat::fileStart()) < 0 || !m_file.flush())) {
        m_file.close();
        return false;
    }
    return true;
}

void LapLog::lap(const ClientWindow& window)
{
    if (!m_running)
        return;
    const PublicConst& pub = window.pub();
    LapLogRow r;
    r.received = window.services().clock.now();
    r.lap = window.m_LapNo;
    r.lapMs = pub.Pub_LastLap;
    r.bestMs = pub.Pub_BestLap;
    r.averageMs = pub.Pub_AveLap;
    r.diffMs = int64_t(pub.Pub_LastLap) - int64_t(pub.Pub_PrevLap);
    if (pub.Pub_EndTimeSet != VbFalse)
        r.endTime = pub.Pub_EndTime;
    // The ticker's copy ends in five ideographic spaces that the host did not send.
    if (pub.Pub_InMessLen > 5)
        r.hostText = pub.Pub_InMess.left(pub.Pub_InMessLen - 5);
    r.driverMessage = window.Lbl_OutMess.caption();
    write(LapLogFormat::row(r), window);
}

void LapLog::write(const QByteArray& bytes, const ClientWindow& window)
{
    // A folder that was missing at Start (a stick not yet put in) is tried again at each lap.
    const bool ok = (m_file.isOpen() || open()) && m_file.write(bytes) == bytes.size() && m_file.flush();
    if (!ok)
        tellOnce(window);
}

void LapLog::tellOnce(const ClientWindow& window)
{
    if (m_told)
        return;
    m_told = true;
    // Shown from the event loop, not from inside the handler that took the report: a box
    // opened there would hold back the socket's next datagrams until it is closed.
    IDialogs& dialogs = window.services().dialogs;
    const QString prompt = QStringLiteral("ラップ記録を書き込めません。計測はそのまま続きます。") + QLatin1Char('\r')
        + QDir::toNativeSeparators(m_path);
    QTimer::singleShot(0, &m_context, [&dialogs, prompt] {
        dialogs.msgBox(prompt, MsgBox::vbOKOnly | MsgBox::vbCritical, QStringLiteral("ラップ記録"));
    });
}

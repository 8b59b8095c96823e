#include "laplog/lap_log.h"

#include "laplog/lap_log_format.h"
#include "platform/dialogs.h"
#include "platform/system_clock.h"

#include <QDir>

LapLog::LapLog(QString folder, LapLogWriter::Sync sync)
    : m_writer(std::move(folder),
               [this](uint64_t run, LapLogWriter::Notice notice, const QString& path) {
                   // From the writer's thread to the window's, through the event loop: a box
                   // opened from inside the handler that took the report would hold back the
                   // socket's next datagrams until it is closed.
                   QMetaObject::invokeMethod(
                       &m_context, [this, run, notice, path] { onNotice(run, notice, path); },
                       Qt::QueuedConnection);
               },
               std::move(sync))
{
}

void LapLog::onRunEvent(const ClientWindow& window, RunEvent event)
{
    switch (event) {
    case RunEvent::Started:
        m_dialogs = &window.services().dialogs;
        ++m_run;
        m_running = true;
        m_toldFailure = false;
        m_toldRecovery = false;
        m_writer.startRun(m_run, LapLogFormat::fileName(window.services().clock.now(), window.Cmb_CarNo.text()));
        break;
    case RunEvent::LapTaken:
        lap(window);
        break;
    case RunEvent::Stopped:
        m_writer.endRun();
        m_running = false;
        break;
    }
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
    m_writer.addRow(LapLogFormat::row(r));
}

void LapLog::onNotice(uint64_t run, LapLogWriter::Notice notice, const QString& path)
{
    // A notice about a run that has since been stopped and followed by another is stale.
    if (run != m_run || !m_dialogs)
        return;
    const bool failed = notice == LapLogWriter::Notice::Failed;
    bool& told = failed ? m_toldFailure : m_toldRecovery;
    if (told)
        return;
    told = true;
    const QString text = failed ? QStringLiteral("ラップ記録を書き込めません。計測はそのまま続きます。")
                                : QStringLiteral("ラップ記録を同じ場所に開き直し、書き込みを再開しました。");
    m_dialogs->msgBox(text + QLatin1Char('\r') + QDir::toNativeSeparators(path),
                      MsgBox::vbOKOnly | (failed ? MsgBox::vbCritical : MsgBox::vbInformation),
                      QStringLiteral("ラップ記録"));
}

#include "laplog/lap_log.h"

#include "laplog/lap_log_format.h"
#include "platform/dialogs.h"
#include "platform/system_clock.h"

#include <QDir>

#include <cstdio>

LapLog::LapLog(QString folder, LapLogWriter::Sync sync)
    : m_folder(folder),
      m_writer(std::move(folder),
               [this](uint64_t run, LapLogWriter::Notice notice, const QString& path, const QString& left) {
                   // From the writer's thread to the window's, through the event loop: a box
                   // opened from inside the handler that took the report would hold back the
                   // socket's next datagrams until it is closed.
                   QMetaObject::invokeMethod(
                       &m_context, [this, run, notice, path, left] { onNotice(run, notice, path, left); },
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
        m_failing = false;
        m_toldReopened = false;
        m_runColumns = m_extra.names.size();
        m_writer.startRun(m_run, LapLogFormat::fileName(window.services().clock.now(), window.Cmb_CarNo.text()),
                          LapLogFormat::fileStart(m_extra.names));
        break;
    case RunEvent::LapTaken:
        lap(window);
        break;
    case RunEvent::Stopped:
        m_writer.endRun();
        m_running = false;
        break;
    case RunEvent::HostRefused:
        break;  // writes no row
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
    if (m_runColumns > 0) {
        // Exactly one field per added column, whatever the other observer hands back, so the
        // rows stay in step with the header.
        r.extra = m_extra.fieldsOfLap ? m_extra.fieldsOfLap() : QStringList();
        r.extra.resize(m_runColumns);
    }
    m_writer.addRow(LapLogFormat::row(r));
}

LapLogWriter::Ending LapLog::finish(std::chrono::milliseconds timeout)
{
    // Whatever the last writes bring is past telling in the window: the program is ending.
    const bool first = !m_finished;
    m_finished = true;
    m_running = false;
    const LapLogWriter::Ending ending = m_writer.finish(timeout);
    if (first && ending.lost > 0) {
        std::fprintf(stderr, "rivect: %d lap log row(s) did not reach the medium and are lost (%s)\n", ending.lost,
                     qPrintable(shownFile()));
    }
    return ending;
}

void LapLog::showLost(const LapLogWriter::Ending& ending)
{
    if (ending.lost <= 0 || !m_dialogs)
        return;
    m_dialogs->msgBox(QStringLiteral("ラップ記録の %1 行をディスクに書き込めないまま終了します。").arg(ending.lost)
                          + QLatin1Char('\r') + shownFile(),
                      MsgBox::vbOKOnly | MsgBox::vbCritical, QStringLiteral("ラップ記録"));
}

void LapLog::onNotice(uint64_t run, LapLogWriter::Notice notice, const QString& path, const QString& left)
{
    // A notice about a run that has since been stopped and followed by another is stale.
    if (run != m_run || !m_dialogs || m_finished)
        return;
    using Notice = LapLogWriter::Notice;
    const QString file = QDir::toNativeSeparators(path);
    QString text;
    int icon = MsgBox::vbInformation;
    switch (notice) {
    case Notice::Failed:
    case Notice::NoRoom:
        if (m_failing)
            return;
        m_failing = true;
        text = (notice == Notice::NoRoom ? QStringLiteral("ラップ記録を書き込めません（ディスクがいっぱいです）。")
                                         : QStringLiteral("ラップ記録を書き込めません。"))
            + QStringLiteral("計測はそのまま続きます。") + QLatin1Char('\r') + file;
        icon = MsgBox::vbCritical;
        break;
    case Notice::Resumed:
        // After each failure told; a file that was only found gone from its path, once a run.
        if (!m_failing && m_toldReopened)
            return;
        m_toldReopened = m_toldReopened || !m_failing;
        m_failing = false;
        text = QStringLiteral("ラップ記録を同じ場所に開き直し、書き込みを再開しました。") + QLatin1Char('\r') + file;
        break;
    case Notice::Moved:
        m_failing = false;
        text = QStringLiteral("ラップ記録は別のファイルに書き込みます: ") + file + QLatin1Char('\r')
            + QStringLiteral("元のファイルは書き込んだものと違う内容に置き換わっていたため、そのまま残します: ")
            + QDir::toNativeSeparators(left);
        icon = MsgBox::vbExclamation;
        break;
    }
    m_dialogs->msgBox(text, MsgBox::vbOKOnly | icon, QStringLiteral("ラップ記録"));
}

QString LapLog::shownFile() const
{
    const QString file = m_writer.currentFile();
    return QDir::toNativeSeparators(file.isEmpty() ? m_folder : file);
}

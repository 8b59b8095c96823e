#include "pit/pit_observer.h"

#include "client/datagram.h"
#include "config/config_folder.h"
#include "platform/dialogs.h"
#include "platform/file_access.h"
#include "platform/system_clock.h"

#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int kAlertPeriodMs = 100;
constexpr qint64 kHourMs = 3'600'000;
constexpr qint64 kDayMs = 24 * kHourMs;

PitObserver::SteadyClock monotonicClock()
{
    QElapsedTimer timer;
    timer.start();
    return [timer] { return timer.elapsed(); };
}

} // namespace

PitObserver::PitObserver(StintsLocation location, IDialogs& dialogs, SteadyClock steady)
    : m_location(std::move(location)),
      m_dialogs(dialogs),
      m_steady(steady ? std::move(steady) : monotonicClock())
{
    m_alertTimer.setTimerType(Qt::PreciseTimer);
    m_alertTimer.setInterval(kAlertPeriodMs);
    connect(&m_alertTimer, &QTimer::timeout, this, &PitObserver::collectAlerts);
    readRules();
    m_book = StintBook(m_rules);
    if (!m_location.journalPath.isEmpty()) {
        m_journal = std::make_unique<PitJournal>(
            m_location.journalPath, [this](PitJournalWriter::Notice notice, const QString& path) {
                tellJournal(notice, path);
            });
        // Whatever the panel is told of may have changed the book: its new lines go to the medium.
        connect(this, &PitObserver::changed, this, [this] { m_journal->keep(m_book.journal()); });
    }
}

void PitObserver::readRules()
{
    const QString readPath = configFileToRead(m_location.savePath, m_location.preparedPath);
    StintsFile::Reading reading = StintsFile::read(readPath);
    m_rules = reading.rules;
    m_problems = reading.problems;
    // Only a file that is not there gets the default text: one that could not be read keeps
    // what the crew wrote, and its rules stay off until it reads.
    if (reading.missing) {
        const QByteArray text = QByteArray("\xEF\xBB\xBF") + StintsFile::defaultText().toUtf8();
        if (!FileAccess::writeAtomically(m_location.savePath, text))
            m_problems.append(QStringLiteral("%1: 作成できませんでした。")
                                  .arg(QDir::toNativeSeparators(m_location.savePath)));
    }
    m_problemsTold = m_problems.isEmpty();
}

void PitObserver::tellProblems()
{
    if (m_problemsTold)
        return;
    m_problemsTold = true;
    m_dialogs.msgBox(QStringLiteral("スティントの設定に読み取れない行があります。その決まりは使いません。")
                         + QLatin1Char('\r') + m_problems.join(QLatin1Char('\r')),
                     MsgBox::vbOKOnly | MsgBox::vbExclamation, QStringLiteral("スティント"));
}

QString PitObserver::pathForEditing()
{
    // An edit of the copy beside the program goes into the saved copy, which is read from then on.
    adoptPreparedFile(m_location.savePath, m_location.preparedPath);
    return m_location.savePath;
}

void PitObserver::reloadRules()
{
    readRules();
    // The run in progress goes on under the new rules: its journal is played again on a book
    // made with them, so every key pressed so far still counts and no alert is told twice.
    // A file that would drop any of it (a roster cut short, a file read half-saved or not at
    // all) leaves the race as it is, under the rules it has: nothing pressed is ever lost, in the
    // panel or in the journal. The new rules then wait for the next Start.
    int unread = 0;
    StintBook rebuilt = StintBook::fromJournal(m_rules, m_book.journal(), &unread);
    if (unread > 0) {
        m_nextRules = m_rules;
        m_rules = m_book.rules();
        m_problems.append(
            QStringLiteral("今回の記録のうち %1 件が新しい設定に合わないため、この走行は前の設定のまま続けます。"
                           "新しい設定は次の Start から使います。")
                .arg(unread));
        m_problemsTold = false;
    } else {
        m_book = std::move(rebuilt);
        m_nextRules.reset();
    }
    if (m_chosen && *m_chosen >= m_rules.drivers.size())
        m_chosen.reset();
    Q_EMIT changed();
    tellProblems();
}

void PitObserver::onRunEvent(const ClientWindow& window, RunEvent event)
{
    switch (event) {
    case RunEvent::Started:
        if (m_nextRules) {
            m_rules = *m_nextRules;
            m_nextRules.reset();
        }
        m_book = StintBook(m_rules);
        m_pendingOuts.clear();
        m_book.raceStarted(now(), m_chosen);
        m_chosen.reset();
        m_latest.reset();
        m_endTold.reset();
        m_lapFields.clear();
        m_notice.clear();
        if (m_journal)
            m_journal->started(window.Cmb_CarNo.text());
        m_running = true;
        m_alertTimer.start();
        m_watchdog.started(now());
        break;
    case RunEvent::LapTaken:
        lap(window);
        if (m_running) {
            m_watchdog.lapReported(now(), window.pub().Pub_LastLap);
            clearWatchdogAlert();
        }
        break;
    case RunEvent::Stopped:
        m_book.stopped(now());
        m_running = false;
        m_alertTimer.stop();
        m_watchdog.stopped(now());
        clearWatchdogAlert();
        break;
    case RunEvent::HostRefused:
        // Judged by the alert timer; nothing the panel shows changes yet.
        m_watchdog.refused(now());
        return;
    }
    Q_EMIT changed();
}

void PitObserver::clearWatchdogAlert()
{
    // The watchdog's alerts hold only until a lap report comes (or the run ends).
    if (m_latest && (m_latest->kind == AlertKind::LapSilence || m_latest->kind == AlertKind::HostUnreachable))
        m_latest.reset();
}

qint64 PitObserver::endMoment(qint64 reportMs, QTime hostClock, QTime endTime)
{
    // Only times of day are known. The end is taken as the next one ahead of the host's
    // clock, within a day; one passed less than an hour ago is the race just ended (laps
    // still come in after the flag), not tomorrow's.
    qint64 ahead = hostClock.msecsTo(endTime);
    if (ahead <= -kHourMs)
        ahead += kDayMs;
    else if (ahead > kDayMs - kHourMs)
        ahead -= kDayMs;
    return reportMs + ahead;
}

QStringList PitObserver::lapLogColumns()
{
    return {QStringLiteral("stint"), QStringLiteral("driver"), QStringLiteral("pit")};
}

void PitObserver::lap(const ClientWindow& window)
{
    m_lapFields.clear();
    if (!m_running)
        return;
    const qint64 at = now();
    const PublicConst& pub = window.pub();
    // The end time is the host's, so it is measured against the host's clock in the same
    // report rather than the PC's: the window asks for the PC's clock to be set to it, but
    // that may be refused or take effect later. A report without a readable clock falls back
    // to the PC's. The end is told again only when the host moves it, so the whole seconds of
    // the report's clock do not make it jitter.
    const QTime end = pub.Pub_EndTime.time();
    std::optional<qint64> endMs;
    QString hostEnd;
    if (pub.Pub_EndTimeSet != VbFalse && pub.Pub_EndTime.isValid() && m_endTold != end) {
        const QDateTime pc = window.services().clock.now();
        const std::optional<QTime> hostClock = Datagram::parseTimeText(Datagram::columnView(window.m_RecvData, 45, 8));
        const std::optional<QDate> hostDate = Datagram::parseDateText(Datagram::columnView(window.m_RecvData, 35, 10));
        const QTime reference = hostClock ? *hostClock : pc.time();
        endMs = endMoment(at, reference, end);
        // The end with its date, by the host's clock: the race of another day ends at another one.
        hostEnd = QDateTime(hostDate.value_or(pc.date()), reference, Qt::UTC)
                      .addMSecs(*endMs - at)
                      .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        // The run's first end decides whether it goes on with the race kept before a restart,
        // before the lap is placed: its row then carries that race's stint and driver.
        if (!m_endTold && m_journal)
            resume(window, hostEnd, *endMs);
    }
    m_book.lapTaken(at, window.m_LapNo, pub.Pub_LastLap);
    // Placed now, with the keys pressed so far: a pit-in pressed during the lap is known by
    // its report, and an undo afterwards cannot take back a row already written.
    if (const std::optional<LapPlace> place = m_book.lastLap()) {
        const QStringList& roster = m_book.rules().drivers;
        m_lapFields = {QString::number(place->stint),
                       place->driver && *place->driver < roster.size() ? roster.at(*place->driver) : QString(),
                       place->pit == LapPlace::Pit::In    ? QStringLiteral("in")
                           : place->pit == LapPlace::Pit::Out ? QStringLiteral("out")
                                                              : QString()};
    }
    if (!endMs)
        return;
    m_book.endTimeKnown(*endMs);
    m_endTold = end;
    if (m_journal)
        m_journal->endKnown(hostEnd);
}

void PitObserver::resume(const ClientWindow& window, const QString& hostEnd, qint64 endMs)
{
    const std::optional<QStringList> lines =
        m_journal->resume(window.Cmb_CarNo.text(), hostEnd, endMs, m_book.journal());
    const QList<std::pair<qint64, std::optional<int>>> outs = std::exchange(m_pendingOuts, {});
    if (!lines)
        return;
    // The race before the restart, with the keys pressed since this run's Start; alerts told
    // then stay told. A pit-out kept for it ends its stop now.
    m_book = StintBook::fromJournal(m_rules, *lines);
    for (const auto& [ms, driver] : outs)
        m_book.pitOut(ms, driver);
    m_notice = QStringLiteral("前回の記録から再開しました（スティント%1）").arg(m_book.status(now()).stint);
}

void PitObserver::tellJournal(PitJournalWriter::Notice notice, const QString& path)
{
    using Notice = PitJournalWriter::Notice;
    const QString file = QDir::toNativeSeparators(path);
    QString text;
    int icon = MsgBox::vbInformation;
    switch (notice) {
    case Notice::Failed:
    case Notice::NoRoom:
        text = (notice == Notice::NoRoom ? QStringLiteral("ピット記録を書き込めません（ディスクがいっぱいです）。")
                                         : QStringLiteral("ピット記録を書き込めません。"))
            + QStringLiteral("計測はそのまま続きます。") + QLatin1Char('\r') + file;
        icon = MsgBox::vbCritical;
        break;
    case Notice::Resumed:
        text = QStringLiteral("ピット記録の書き込みを再開しました。") + QLatin1Char('\r') + file;
        break;
    case Notice::Moved:
        text = QStringLiteral("ピット記録は別のファイルに書き込みます: ") + file + QLatin1Char('\r')
            + QStringLiteral("元のファイルはピット記録ではないため、そのまま残します。");
        icon = MsgBox::vbExclamation;
        break;
    }
    m_dialogs.msgBox(text, MsgBox::vbOKOnly | icon, QStringLiteral("ピット記録"));
}

bool PitObserver::pitIn()
{
    const qint64 at = now();
    if (!m_running || m_book.status(at).inStop)
        return false;
    // The moment is the press itself, however long the question stays open.
    if (!m_book.pitsOpen(at)
        && m_dialogs.msgBox(QStringLiteral("ピットは閉まっています。") + QLatin1Char('\r')
                                + QStringLiteral("ピットインを記録しますか？"),
                            MsgBox::vbYesNo | MsgBox::vbExclamation | MsgBox::vbDefaultButton2,
                            QStringLiteral("ピットイン"))
            != MsgBox::vbYes)
        return false;
    const bool done = m_book.pitIn(at);
    Q_EMIT changed();
    return done;
}

bool PitObserver::pitOut(std::optional<int> driver)
{
    if (!driver)
        driver = m_chosen;
    bool done = m_book.pitOut(now(), driver);
    // After a restart the race kept before it may be in a stop that this run's book does not
    // know of until the first lap report decides: the pit-out is kept for it till then.
    if (!done && m_running && m_journal && m_journal->waiting() && !m_endTold && !m_book.status(now()).inStop) {
        m_pendingOuts.append({now(), driver});
        done = true;
    }
    if (done)
        m_chosen.reset();
    Q_EMIT changed();
    return done;
}

bool PitObserver::chooseDriver(int driver)
{
    if (driver < 0 || driver >= m_rules.drivers.size())
        return false;
    m_chosen = driver;
    Q_EMIT changed();
    return true;
}

bool PitObserver::undo()
{
    if (!m_pendingOuts.isEmpty()) {
        m_pendingOuts.removeLast();
        Q_EMIT changed();
        return true;
    }
    const bool done = m_book.undo();
    Q_EMIT changed();
    return done;
}

void PitObserver::toggleMute()
{
    m_muted = !m_muted;
    Q_EMIT changed();
}

void PitObserver::collectAlerts()
{
    QList<StintAlert> due = m_book.alertsDue(now());
    due += m_watchdog.alertsDue(now());
    std::stable_sort(due.begin(), due.end(),
                     [](const StintAlert& a, const StintAlert& b) { return a.dueMs < b.dueMs; });
    if (due.isEmpty())
        return;
    m_latest = due.constLast();
    if (!m_muted && m_chime)
        m_chime(*m_latest);
    Q_EMIT alerted(due);
    Q_EMIT changed();
}

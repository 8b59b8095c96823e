#pragma once

#include "client/client_window.h"
#include "pit/pit_journal.h"
#include "pit/stint_book.h"
#include "pit/stint_rules.h"
#include "pit/watchdog.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class IDialogs;

/// Where the stints file is kept: saved at savePath, and read from preparedPath while savePath
/// does not exist (the copy beside the program); preparedPath is empty when there is none.
/// The pit journal is kept at journalPath; none is kept when it is empty.
struct StintsLocation {
    QString savePath;
    QString preparedPath = {};
    QString journalPath = {};
};

/// Keeps the stints and pit stops of each timing run beside the client window: it watches the
/// run as the lap log does, takes the pit keys, and tells the alerts the rules make due. Every
/// moment it gives the book is a steady-clock moment, which a change of the PC's clock (the
/// window sets it from each lap report) never moves.
class PitObserver : public QObject {
    Q_OBJECT
public:
    /// A steady clock in milliseconds.
    using SteadyClock = std::function<qint64()>;
    /// Sounds an alert; the panel or main hands in the platform's sound.
    using Chime = std::function<void(const StintAlert&)>;

    /// Reads the rules from location (a missing file is created with the default text); the
    /// file's problems are told through dialogs by tellProblems. steady defaults to the
    /// process's monotonic clock.
    PitObserver(StintsLocation location, IDialogs& dialogs, SteadyClock steady = {});

    /// The window's run observer, beside the lap log's.
    void onRunEvent(const ClientWindow& window, RunEvent event);

    /// The pit-in key. Outside the opening hours of the pits it asks first; false when nothing
    /// was recorded.
    bool pitIn();
    /// The pit-out key: the next stint goes to driver, else to the one chosen, else to the next
    /// on the roster. False when nothing was recorded.
    bool pitOut(std::optional<int> driver = std::nullopt);
    /// Chooses roster index driver for the next pit-out (before the start: for the start).
    /// False when there is no such driver.
    bool chooseDriver(int driver);
    /// Takes back the last pit key of the run; false when there is none.
    bool undo();
    /// Switches the alerts' sound off or on again; the alerts are still shown.
    void toggleMute();
    /// Collects the alerts that have become due: the 100 ms timer's work while a run is on.
    void collectAlerts();
    /// Reads the stints file again and applies its rules to the run in progress.
    void reloadRules();
    /// Tells, once per reading, the problems the file had.
    void tellProblems();

    /// The path to open in the editor: the saved copy, made from the prepared one if need be.
    QString pathForEditing();
    /// The steady clock's moment now.
    qint64 now() const { return m_steady(); }
    /// The book of the current (or last) run.
    const StintBook& book() const { return m_book; }
    /// The watchdog of the lap reports and the host's refusals, of the current (or last) run.
    const Watchdog& watchdog() const { return m_watchdog; }
    /// The rules read last.
    const StintRules& rules() const { return m_rules; }
    /// Whether a run is on (between Start and Stop).
    bool running() const { return m_running; }
    /// Whether the alerts' sound is off.
    bool muted() const { return m_muted; }
    /// The driver chosen for the next pit-out (or the start); none when none was chosen.
    std::optional<int> chosenDriver() const { return m_chosen; }
    /// The last alert told in this run.
    std::optional<StintAlert> latestAlert() const { return m_latest; }
    /// The problems of the last reading that were not taken.
    const QStringList& problems() const { return m_problems; }
    /// What the panel says of the journal: that the run went on with the race kept before a
    /// restart; empty otherwise.
    const QString& notice() const { return m_notice; }
    /// The journal kept, if any.
    PitJournal* journal() const { return m_journal.get(); }
    /// Hands in the sound of the alerts; an empty one plays nothing.
    void setChime(Chime chime) { m_chime = std::move(chime); }
    /// The 100 ms timer, running only while a run is on.
    const QTimer& alertTimer() const { return m_alertTimer; }

    /// The columns the lap log adds for the stints: stint, driver, pit.
    static QStringList lapLogColumns();
    /// The lap log's added fields for the lap just taken: its stint, the driver's name (empty
    /// without a roster) and "in" or "out" for an in- or out-lap; empty fields when the run
    /// gave the book no lap. The observer must have seen the lap before the lap log asks.
    QStringList lapLogFields() const { return m_lapFields; }

    /// The end of the race as a steady moment: the host's end time taken against the host's
    /// clock in the same report, at the steady moment the report was taken.
    static qint64 endMoment(qint64 reportMs, QTime hostClock, QTime endTime);

Q_SIGNALS:
    /// Something the panel shows has changed (a key, a run event, a reading of the rules).
    void changed();
    /// Alerts that have become due, earliest first.
    void alerted(const QList<StintAlert>& alerts);

private:
    void readRules();
    void lap(const ClientWindow& window);
    void resume(const ClientWindow& window, const QString& hostEnd, qint64 endMs);
    void tellJournal(PitJournalWriter::Notice notice, const QString& path);
    void clearWatchdogAlert();

    StintsLocation m_location;
    IDialogs& m_dialogs;
    SteadyClock m_steady;
    Chime m_chime;
    StintRules m_rules;
    std::optional<StintRules> m_nextRules;
    /// Pit-outs pressed after a restart for the race kept before it, until the first report
    /// decides: moment and driver.
    QList<std::pair<qint64, std::optional<int>>> m_pendingOuts;  ///< rules read during a race that they would cut short
    QStringList m_problems;
    bool m_problemsTold = true;
    StintBook m_book{StintRules{}};
    bool m_running = false;
    bool m_muted = false;
    std::optional<int> m_chosen;
    std::optional<StintAlert> m_latest;
    QStringList m_lapFields;  ///< lapLogFields() of the lap just taken
    std::optional<QTime> m_endTold;  ///< the host's end time given to the book last, this run
    QTimer m_alertTimer;
    QString m_notice;
    std::unique_ptr<PitJournal> m_journal;
    Watchdog m_watchdog;
};

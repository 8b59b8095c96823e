#pragma once

#include "pit/pit_journal_writer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

/// One race as the pit journal keeps it.
struct KeptRace {
    QString car;        ///< the car the window timed
    QStringList lines;  ///< the book's journal lines, in the steady clock of the process that wrote them
    QString end;        ///< the host's end of the race, "yyyy-MM-ddTHH:mm:ss" by its clock; empty until known
};

/// The pit journal's text: a first line naming the format, then a section per run from its
/// Start ("race CAR"), holding the book's lines and "end yyyy-MM-ddTHH:mm:ss" whenever the
/// host's end of the race became known or moved. A run that follows a race not yet decided on
/// gets a section after it, so the race survives a crash before the decision.
namespace PitJournalText {

/// The format's first line, with its line end.
QByteArray firstLine();
/// The section of race, lines ended.
QByteArray section(const KeptRace& race);
/// Whether bytes are a pit journal.
bool isJournal(const QByteArray& bytes);
/// The race a restart may resume from bytes: the last section whose end is known, read up to
/// its last whole line, unless it was stopped. None when there is no such race.
std::optional<KeptRace> lastRace(const QByteArray& bytes);
/// Lines with every moment moved by byMs (each moment is a line's first number).
QStringList shifted(const QStringList& lines, qint64 byMs);

} // namespace PitJournalText

/// Keeps the book of the run on the medium so that a restart during the same race goes on
/// with it. The run's lines are handed to a writer thread as the book makes them; the race a
/// journal found at start left unfinished waits until the first lap report of a run with the
/// host's end decides whether this run goes on with it (the same car and the same end).
class PitJournal {
public:
    /// Tells the operator of a problem of writing, on the window's thread.
    using Tell = std::function<void(PitJournalWriter::Notice notice, const QString& path)>;

    /// Reads the journal at path (or the newest pit journal beside it, where one was moved
    /// to) and writes there from the first Start on.
    PitJournal(const QString& path, Tell tell);
    ~PitJournal();

    /// A run of car begins: a new section, after the race waiting for a decision if any.
    void started(const QString& car);
    /// The host's end of the race, as the host gives it, is known or has moved.
    void endKnown(const QString& hostEnd);
    /// The first end of the run decides on the race waiting: the journal of the same car with
    /// the same end, when unfinished, is returned with its moments moved to this run's clock
    /// (its end at endMs), followed by the run's own lines but its start. Once decided, the
    /// waiting race is no longer kept.
    std::optional<QStringList> resume(const QString& car, const QString& hostEnd, qint64 endMs,
                                      const QStringList& run);
    /// The book's journal now: what is new goes to the medium.
    void keep(const QStringList& journal);
    /// The race waiting for a decision, if any.
    const std::optional<KeptRace>& waiting() const { return m_waiting; }
    /// Blocks until the writer has dealt with everything handed over.
    void waitForWriter() { m_writer->waitUntilIdle(); }
    /// The file written.
    QString path() const { return m_writer->path(); }

private:
    QByteArray wholeText(const QStringList& journal) const;

    std::optional<KeptRace> m_waiting;
    bool m_inRun = false;
    bool m_whole = false;   ///< the next keep writes the whole file
    KeptRace m_run;         ///< the current run as written (lines and end)
    QString m_end;          ///< the host's end of the current run, as last told
    QObject m_context;      ///< receives the writer's notices; ends pending ones with the journal
    std::unique_ptr<PitJournalWriter> m_writer;  ///< last: its thread ends before the rest goes
};

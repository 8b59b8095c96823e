#include "pit/pit_journal.h"

#include "platform/file_access.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString kRace = QStringLiteral("race ");
const QString kEnd = QStringLiteral("end ");

QByteArray lineOf(const QString& text)
{
    return text.toUtf8() + '\n';
}

/// The moment of the book's last end line, if any.
std::optional<qint64> lastEndMoment(const QStringList& lines)
{
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QStringList f = it->split(u' ');
        bool ok = false;
        const qint64 ms = f.size() == 2 && f.first() == QStringLiteral("E") ? f.at(1).toLongLong(&ok) : 0;
        if (ok)
            return ms;
    }
    return std::nullopt;
}

} // namespace

namespace PitJournalText {

QByteArray firstLine()
{
    return QByteArrayLiteral("rivect pit journal 1\n");
}

QByteArray section(const KeptRace& race)
{
    QByteArray text = lineOf(kRace + race.car);
    for (const QString& line : race.lines)
        text += lineOf(line);
    if (!race.end.isEmpty())
        text += lineOf(kEnd + race.end);
    return text;
}

bool isJournal(const QByteArray& bytes)
{
    return bytes.startsWith(firstLine());
}

std::optional<KeptRace> lastRace(const QByteArray& bytes)
{
    if (!isJournal(bytes))
        return std::nullopt;
    // A line the medium lost part of (a power cut during the write) has no line end: only the
    // whole lines before it count.
    const QString text = QString::fromUtf8(bytes.first(bytes.lastIndexOf('\n') + 1));
    std::optional<KeptRace> last;
    std::optional<KeptRace> current;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        if (line.startsWith(kRace)) {
            if (current && !current->end.isEmpty())
                last = current;
            current = KeptRace{line.sliced(kRace.size()), {}, {}};
        } else if (!current) {
            continue;
        } else if (line.startsWith(kEnd)) {
            current->end = line.sliced(kEnd.size());
        } else {
            current->lines.append(line);
        }
    }
    if (current && !current->end.isEmpty())
        last = current;
    // A race that was stopped is over: nothing goes on with it. Neither can a race without an
    // end moment in its book (the end's moment is what places it on a new clock).
    if (!last || !lastEndMoment(last->lines)
        || std::any_of(last->lines.cbegin(), last->lines.cend(),
                       [](const QString& line) { return line.startsWith(QStringLiteral("X ")); }))
        return std::nullopt;
    return last;
}

QStringList shifted(const QStringList& lines, qint64 byMs)
{
    QStringList moved;
    moved.reserve(lines.size());
    for (const QString& line : lines) {
        QStringList f = line.split(u' ');
        bool ok = false;
        const qint64 ms = f.size() >= 2 ? f.at(1).toLongLong(&ok) : 0;
        if (ok)
            f[1] = QString::number(ms + byMs);
        moved.append(f.join(u' '));
    }
    return moved;
}

} // namespace PitJournalText

PitJournal::PitJournal(const QString& path, Tell tell)
{
    // The journal may have gone on in a file beside the one named (when that was not ours): the
    // newest journal of the name's family is the one written last.
    const QFileInfo named(path);
    const QDir folder = named.absoluteDir();
    QString chosen = path;
    std::optional<QByteArray> found;
    const QFileInfoList family = folder.entryInfoList({named.completeBaseName() + QStringLiteral("*.txt")},
                                                      QDir::Files, QDir::Time);
    for (const QFileInfo& info : family) {
        QByteArray bytes;
        if (FileAccess::readRegularFile(info.filePath(), bytes) == FileAccess::ReadResult::Ok
            && PitJournalText::isJournal(bytes)) {
            chosen = info.filePath();
            found = bytes;
            break;
        }
    }
    // Nothing there is an empty start; a file that is not a journal, or could not be read, is
    // never written over.
    if (!found && !named.exists() && !named.isSymLink())
        found = QByteArray();
    if (found)
        m_waiting = PitJournalText::lastRace(*found);
    m_writer = std::make_unique<PitJournalWriter>(
        chosen, std::move(found), [this, tell = std::move(tell)](PitJournalWriter::Notice notice, const QString& at) {
            // From the writer's thread to the window's, through the event loop.
            QMetaObject::invokeMethod(
                &m_context, [tell, notice, at] { if (tell) tell(notice, at); }, Qt::QueuedConnection);
        });
}

PitJournal::~PitJournal() = default;

void PitJournal::started(const QString& car)
{
    m_inRun = true;
    m_run = KeptRace{car, {}, {}};
    m_end.clear();
    m_whole = true;
}

void PitJournal::endKnown(const QString& hostEnd)
{
    m_end = hostEnd;
}

std::optional<QStringList> PitJournal::resume(const QString& car, const QString& hostEnd, qint64 endMs,
                                              const QStringList& run)
{
    if (!m_waiting)
        return std::nullopt;
    const KeptRace race = *std::exchange(m_waiting, std::nullopt);
    // Decided either way: the file now holds this run alone.
    m_whole = true;
    if (race.car != car || race.end != hostEnd)
        return std::nullopt;
    // Both books hold the same end, each on its own steady clock, measured against the host's
    // clock: the difference of the two moments carries the old clock to this one, however long
    // the PC was off and whatever its own clock did meanwhile.
    QStringList lines = PitJournalText::shifted(race.lines, endMs - *lastEndMoment(race.lines));
    // The keys pressed since this run's Start follow the race's own; its start is the race's.
    for (const QString& line : run)
        if (!line.startsWith(QStringLiteral("S ")))
            lines.append(line);
    return lines;
}

void PitJournal::keep(const QStringList& journal)
{
    if (!m_inRun)
        return;
    const bool extends = !m_whole && journal.size() >= m_run.lines.size()
        && std::equal(m_run.lines.cbegin(), m_run.lines.cend(), journal.cbegin());
    if (!extends) {
        // A new run, a decision, or a book rebuilt under new rules: the file is written anew.
        m_run.lines = journal;
        m_run.end = m_end;
        m_whole = false;
        m_writer->replace(wholeText(journal));
        return;
    }
    QByteArray tail;
    for (qsizetype i = m_run.lines.size(); i < journal.size(); ++i)
        tail += lineOf(journal.at(i));
    if (m_end != m_run.end)
        tail += lineOf(kEnd + m_end);
    if (tail.isEmpty())
        return;
    m_run.lines = journal;
    m_run.end = m_end;
    m_writer->append(tail);
}

QByteArray PitJournal::wholeText(const QStringList& journal) const
{
    // A race still waiting for its decision is kept before the run, so that a crash before the
    // run's first lap report does not lose it.
    QByteArray text = PitJournalText::firstLine();
    if (m_waiting)
        text += PitJournalText::section(*m_waiting);
    return text + PitJournalText::section(KeptRace{m_run.car, journal, m_end});
}

#include "laplog/lap_log_file.h"

#include "platform/durable_file.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace {

// Appends go through the handle alone (DurableFile::append), and a cut moves the end they go to.
constexpr QIODevice::OpenMode kAppend = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;

LapLogFile::Outcome failure(DurableFile::Written written)
{
    return written == DurableFile::Written::NoRoom ? LapLogFile::Outcome::NoRoom : LapLogFile::Outcome::Failed;
}

} // namespace

LapLogFile::LapLogFile(QString folder, QString fileName, Sync sync, QByteArray start)
    : m_folder(std::move(folder)), m_fileName(std::move(fileName)), m_sync(std::move(sync)), m_start(std::move(start))
{
}

LapLogFile::~LapLogFile()
{
    m_file.close();
}

LapLogFile::Outcome LapLogFile::create()
{
    if (!QDir().mkpath(m_folder))
        return Outcome::Failed;
    const Outcome created = createBeside(m_start);
    if (created != Outcome::Written)
        return created;
    // Synced at once, so a medium that takes no data is told at Start, not at the first lap.
    if (m_sync(m_file))
        return Outcome::Written;
    m_file.close();
    return Outcome::Failed;
}

LapLogFile::Outcome LapLogFile::write(const QByteArray& rows)
{
    Outcome outcome = Outcome::Failed;
    // Two tries: a file found gone, or written into just as it went, is opened again at once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        outcome = ensureOpen(rows);
        if (outcome != Outcome::Written)
            break;
        const DurableFile::Written written = DurableFile::append(m_file, rows);
        const bool synced = written == DurableFile::Written::All && m_sync(m_file);
        if (synced && DurableFile::isStillAt(m_file, m_path)) {
            m_content += rows;
            return Outcome::Written;
        }
        if (synced) {
            // The rows went into a file that is no longer at the path: nobody will read them.
            m_reopened = true;
            outcome = Outcome::Failed;
        } else {
            // What did not reach the medium is cut off on the handle itself, which writes
            // nothing first and so works on a full medium too: rows written again never
            // follow a torn one. A file of another length was changed meanwhile by someone
            // else and is not cut.
            const qint64 size = m_file.size();
            if (size > m_content.size() && size <= m_content.size() + rows.size())
                DurableFile::cutTo(m_file, m_content.size());
            outcome = written == DurableFile::Written::All ? Outcome::Failed : failure(written);
        }
        m_file.close();
    }
    return outcome;
}

QString LapLogFile::shownPath() const
{
    return m_path.isEmpty() ? QDir(m_folder).filePath(m_fileName) : m_path;
}

bool LapLogFile::takeReopened()
{
    return std::exchange(m_reopened, false);
}

QString LapLogFile::takeMovedFrom()
{
    return std::exchange(m_movedFrom, QString());
}

LapLogFile::Outcome LapLogFile::ensureOpen(const QByteArray& rows)
{
    if (m_file.isOpen()) {
        if (!DurableFile::isStillAt(m_file, m_path)) {
            m_file.close();
            m_reopened = true;
        } else if (m_file.size() == m_content.size()) {
            return Outcome::Written;
        } else {
            // Changed in place by another program (an editor that saves into the file itself):
            // judged like a file found at the path, and appended to only while it is ours.
            m_file.close();
        }
    }
    if (!QDir().mkpath(m_folder))
        return Outcome::Failed;
    return m_path.isEmpty() ? createBeside(m_start) : reopen(rows);
}

LapLogFile::Outcome LapLogFile::reopen(const QByteArray& rows)
{
    const QFileInfo at(m_path);
    if (!at.exists() && !at.isSymLink()) {
        // Gone with its folder: made anew at its path, its header first.
        return createAt(m_path, m_start);
    }
    QFile there(m_path);
    qint64 size = 0;
    switch (owner(rows, there, size)) {
    case Owner::Unknown:
        // A file that cannot be read now is not known to be another's: tried again later.
        return Outcome::Failed;
    case Owner::NotOurs: {
        const QString left = m_path;
        const Outcome created = createBeside(m_content);
        if (created == Outcome::Written) {
            m_movedFrom = left;
            m_reopened = false;
        }
        return created;
    }
    case Owner::Ours:
        break;
    }
    m_file.setFileName(m_path);
    if (!m_file.open(kAppend))
        return Outcome::Failed;
    // Both handles name the file at the path: the one opened is the one checked.
    if (!DurableFile::isStillAt(there, m_path) || !DurableFile::isStillAt(m_file, m_path)
        || (size > m_content.size() && !DurableFile::cutTo(m_file, m_content.size()))) {
        m_file.close();
        return Outcome::Failed;
    }
    return Outcome::Written;
}

LapLogFile::Owner LapLogFile::owner(const QByteArray& rows, QFile& there, qint64& size) const
{
    // A folder, a pipe or a device is nobody's lap log; a pipe would also hold the read below.
    if (!QFileInfo(m_path).isFile())
        return Owner::NotOurs;
    if (!there.open(QIODevice::ReadOnly))
        return Owner::Unknown;
    // Ours: what was written, then at most the start of the rows being written (a write that
    // failed part way); one byte more than that tells a longer file.
    const qint64 most = m_content.size() + rows.size();
    const QByteArray bytes = there.read(most + 1);
    if (there.error() != QFileDevice::NoError)
        return Owner::Unknown;
    size = bytes.size();
    const bool ours = size >= m_content.size() && size <= most && bytes.startsWith(m_content)
        && rows.startsWith(QByteArrayView(bytes).sliced(m_content.size()));
    return ours ? Owner::Ours : Owner::NotOurs;
}

LapLogFile::Outcome LapLogFile::createBeside(const QByteArray& start)
{
    // Exclusive creation decides between two clients of one car started in the same second
    // into a shared folder, and never takes a file that is not ours: each gets a name of its own.
    const QDir dir(m_folder);
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? m_fileName : m_fileName.chopped(4) + QStringLiteral("_%1.csv").arg(n);
        const QString path = dir.filePath(name);
        const Outcome created = createAt(path, start);
        if (created == Outcome::Written) {
            m_path = path;
            return created;
        }
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return created;
    }
    return Outcome::Failed;
}

LapLogFile::Outcome LapLogFile::createAt(const QString& path, const QByteArray& start)
{
    m_file.setFileName(path);
    if (!m_file.open(kAppend | QIODevice::NewOnly))
        return Outcome::Failed;
    const DurableFile::Written written = DurableFile::append(m_file, start);
    if (written != DurableFile::Written::All) {
        m_file.close();
        QFile::remove(path);
        return failure(written);
    }
    // The start is the part no later failure cuts off.
    m_content = start;
    DurableFile::syncFolder(m_folder);
    return Outcome::Written;
}

#include "pit/pit_journal_writer.h"

#include "platform/durable_file.h"
#include "platform/file_access.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Appends go through the handle alone (DurableFile::append), and a cut moves the end they go to.
constexpr QIODevice::OpenMode kAppend = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
constexpr auto kRetry = std::chrono::seconds(1);
constexpr auto kFinishWait = std::chrono::seconds(3);

} // namespace

// Everything the thread touches lives here, shared with the thread, so that a thread left
// waiting for a medium that does not answer outlives the writer without touching freed state
// (as the lap log's writer does).
struct PitJournalWriter::Core {
    struct Job {
        bool replace = false;
        QByteArray bytes;
    };
    enum class Outcome { Written, Failed, NoRoom };
    enum class Owner { Ours, NotOurs, Unknown };

    Core(QString path, std::optional<QByteArray> found, Notify notify)
        : notify(std::move(notify)), path(std::move(path)), onDisk(std::move(found))
    {
        if (onDisk)
            maybe = *onDisk;
    }

    void push(Job job);
    void loop();
    Outcome write();
    Outcome appendTail();
    Outcome rewrite();
    Owner owner() const;
    QString besidePath() const;
    void tell(Notice notice);

    const Notify notify;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool quit = false;
    bool done = false;
    QString path;  ///< written by the thread, read by path()

    std::mutex notifyMutex;
    bool abandoned = false;

    // Owned by the writer's thread.
    std::optional<QByteArray> onDisk;  ///< what the path holds of ours, synced; none: not ours
    QByteArray maybe;                  ///< onDisk and the bytes last tried after it
    QByteArray wanted;                 ///< what the path is to hold
    bool whole = false;                ///< wanted is to be written as a whole file
    bool failed = false;
    QFile file;
};

void PitJournalWriter::Core::push(Job job)
{
    {
        const std::lock_guard lock(mutex);
        if (quit)
            return;
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void PitJournalWriter::Core::loop()
{
    std::unique_lock lock(mutex);
    for (;;) {
        // What failed is tried again each second, with whatever came meanwhile.
        if (failed && !quit)
            wake.wait_for(lock, kRetry, [this] { return quit || !jobs.empty(); });
        else
            wake.wait(lock, [this] { return quit || !jobs.empty(); });
        if (quit && jobs.empty() && !failed)
            break;
        std::deque<Job> taken;
        taken.swap(jobs);
        busy = true;
        const bool last = quit;
        lock.unlock();
        for (Job& job : taken) {
            if (job.replace) {
                wanted = std::move(job.bytes);
                whole = true;
            } else {
                wanted += job.bytes;
            }
        }
        const Outcome outcome = write();
        if (outcome == Outcome::Written && failed) {
            failed = false;
            tell(Notice::Resumed);
        } else if (outcome != Outcome::Written && !failed) {
            failed = true;
            tell(outcome == Outcome::NoRoom ? Notice::NoRoom : Notice::Failed);
        }
        lock.lock();
        busy = false;
        if (jobs.empty())
            idle.notify_all();
        if (last && jobs.empty())
            break;  // finishing: one last try, whatever it gave
    }
    lock.unlock();
    file.close();
    lock.lock();
    done = true;
    lock.unlock();
    idle.notify_all();
}

PitJournalWriter::Core::Outcome PitJournalWriter::Core::write()
{
    if (!whole && onDisk && *onDisk == wanted)
        return Outcome::Written;
    // Two tries: a file found changed under its handle is written again as a whole at once.
    const Outcome appended = appendTail();
    return appended == Outcome::Written ? appended : rewrite();
}

PitJournalWriter::Core::Outcome PitJournalWriter::Core::appendTail()
{
    if (whole || !onDisk || !wanted.startsWith(*onDisk) || !file.isOpen() || !DurableFile::isStillAt(file, path)
        || file.size() != onDisk->size())
        return Outcome::Failed;
    const QByteArray tail = wanted.sliced(onDisk->size());
    maybe = *onDisk + tail;
    const DurableFile::Written written = DurableFile::append(file, tail);
    if (written == DurableFile::Written::All && DurableFile::syncData(file)) {
        onDisk = wanted;
        maybe = wanted;
        return Outcome::Written;
    }
    // What did not reach the medium is cut off on the handle, so a line never follows a torn one.
    if (file.size() > onDisk->size() && DurableFile::cutTo(file, onDisk->size()))
        maybe = *onDisk;
    file.close();
    return written == DurableFile::Written::NoRoom ? Outcome::NoRoom : Outcome::Failed;
}

PitJournalWriter::Core::Outcome PitJournalWriter::Core::rewrite()
{
    file.close();
    bool moved = false;
    switch (owner()) {
    case Owner::Unknown:
        return Outcome::Failed;
    case Owner::NotOurs: {
        const QString beside = besidePath();
        if (beside.isEmpty())
            return Outcome::Failed;
        {
            const std::lock_guard lock(mutex);
            path = beside;
        }
        onDisk = QByteArray();
        maybe.clear();
        moved = true;
        break;
    }
    case Owner::Ours:
        break;
    }
    // Through a temporary file and a rename: a power cut leaves the old journal or the new
    // one, never a mix.
    if (!FileAccess::writeAtomically(path, wanted))
        return Outcome::Failed;
    DurableFile::syncFolder(QFileInfo(path).absolutePath());
    onDisk = wanted;
    maybe = wanted;
    whole = false;
    // A handle that does not open now only means the next lines rewrite the file.
    file.setFileName(path);
    if (file.open(kAppend) && !DurableFile::isStillAt(file, path))
        file.close();
    if (moved)
        tell(Notice::Moved);
    return Outcome::Written;
}

PitJournalWriter::Core::Owner PitJournalWriter::Core::owner() const
{
    const QFileInfo at(path);
    if (!at.exists() && !at.isSymLink())
        return Owner::Ours;
    if (!at.isFile() || !onDisk)
        return Owner::NotOurs;
    QByteArray bytes;
    switch (FileAccess::readRegularFile(path, bytes)) {
    case FileAccess::ReadResult::Missing:
        return Owner::Ours;
    case FileAccess::ReadResult::Failed:
        return Owner::Unknown;
    case FileAccess::ReadResult::Ok:
        break;
    }
    // Ours: what was synced, then at most the start of what was being appended when it failed.
    return bytes.startsWith(*onDisk) && maybe.startsWith(bytes) ? Owner::Ours : Owner::NotOurs;
}

QString PitJournalWriter::Core::besidePath() const
{
    const QFileInfo info(path);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    for (int n = 2; n < 100; ++n) {
        const QString candidate = QStringLiteral("%1_%2.txt").arg(stem).arg(n);
        const QFileInfo there(candidate);
        if (!there.exists() && !there.isSymLink())
            return candidate;
    }
    return {};
}

void PitJournalWriter::Core::tell(Notice notice)
{
    const std::lock_guard lock(notifyMutex);
    if (!abandoned && notify)
        notify(notice, path);
}

PitJournalWriter::PitJournalWriter(QString path, std::optional<QByteArray> found, Notify notify)
    : m_core(std::make_shared<Core>(std::move(path), std::move(found), std::move(notify))),
      m_thread([core = m_core] { core->loop(); })
{
}

PitJournalWriter::~PitJournalWriter()
{
    std::unique_lock lock(m_core->mutex);
    m_core->quit = true;
    m_core->wake.notify_one();
    const bool ended = m_core->idle.wait_for(lock, kFinishWait, [this] { return m_core->done; });
    lock.unlock();
    if (ended) {
        m_thread.join();
        return;
    }
    {
        const std::lock_guard notifyLock(m_core->notifyMutex);
        m_core->abandoned = true;
    }
    m_thread.detach();
}

void PitJournalWriter::replace(QByteArray content)
{
    m_core->push({true, std::move(content)});
}

void PitJournalWriter::append(QByteArray bytes)
{
    m_core->push({false, std::move(bytes)});
}

void PitJournalWriter::waitUntilIdle()
{
    std::unique_lock lock(m_core->mutex);
    m_core->idle.wait(lock, [this] { return (m_core->jobs.empty() && !m_core->busy) || m_core->done; });
}

QString PitJournalWriter::path() const
{
    const std::lock_guard lock(m_core->mutex);
    return m_core->path;
}

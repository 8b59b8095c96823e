#include "laplog/lap_log_writer.h"

#include <QDir>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// Everything the thread touches lives here, shared with the thread, so that a thread left
// waiting for a medium that does not answer outlives the writer without touching freed state.
struct LapLogWriter::Core {
    struct Job {
        enum Kind { Start, Row, End } kind;
        uint64_t run = 0;
        QString fileName;  ///< for Start
        QByteArray row;    ///< for Row; for Start, the file's header
    };

    Core(QString folder, Notify notify, Sync sync)
        : folder(std::move(folder)), notify(std::move(notify)), sync(std::move(sync))
    {
    }

    void push(Job job);
    void loop();
    void handle(Job& job);
    void writePending();
    void giveUpPending();
    void tellFailure(LapLogFile::Outcome outcome);
    void tell(Notice notice, const QString& left = {});
    void setPath(const QString& path);

    const QString folder;
    const Notify notify;
    const Sync sync;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool quit = false;     ///< finish() was called: no more jobs are taken
    bool done = false;     ///< the thread has ended its work
    QString path;          ///< read by currentFile()
    int outstanding = 0;   ///< rows handed over, neither on the medium nor given up
    int givenUp = 0;       ///< rows given up because the medium refused them to the end

    std::mutex notifyMutex;
    bool abandoned = false;  ///< left waiting by finish(): it tells nothing more

    // Owned by the writer's thread.
    std::optional<LapLogFile> file;
    uint64_t run = 0;
    bool inRun = false;
    std::vector<QByteArray> pending;  ///< rows not yet known to be on the medium
    bool failed = false;              ///< a failure was reported and no row written since
};

void LapLogWriter::Core::push(Job job)
{
    {
        const std::lock_guard lock(mutex);
        if (quit)
            return;
        if (job.kind == Job::Row)
            ++outstanding;
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void LapLogWriter::Core::loop()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return quit || !jobs.empty(); });
        if (jobs.empty())
            break;  // finishing, and nothing is left to write
        // Everything queued is taken at once: rows that came in during a slow sync share the
        // next one.
        std::deque<Job> taken;
        taken.swap(jobs);
        busy = true;
        lock.unlock();
        for (Job& job : taken)
            handle(job);
        writePending();
        lock.lock();
        busy = false;
        if (jobs.empty())
            idle.notify_all();
    }
    lock.unlock();
    // Rows the medium still refuses when the program ends are given up.
    giveUpPending();
    file.reset();
    lock.lock();
    done = true;
    lock.unlock();
    idle.notify_all();
}

void LapLogWriter::Core::handle(Job& job)
{
    switch (job.kind) {
    case Job::Start: {
        writePending();
        giveUpPending();
        run = job.run;
        inRun = true;
        failed = false;
        file.emplace(folder, job.fileName, sync, std::move(job.row));
        setPath(QString());
        const LapLogFile::Outcome created = file->create();
        setPath(file->path());
        if (created != LapLogFile::Outcome::Written)
            tellFailure(created);
        break;
    }
    case Job::Row:
        if (inRun) {
            pending.push_back(std::move(job.row));
        } else {
            const std::lock_guard lock(mutex);
            --outstanding;
        }
        break;
    case Job::End:
        writePending();
        // Rows the medium still refuses at Stop are given up: their loss was told.
        giveUpPending();
        file.reset();
        inRun = false;
        break;
    }
}

void LapLogWriter::Core::writePending()
{
    if (!inRun || pending.empty() || !file)
        return;
    QByteArray rows;
    for (const QByteArray& row : pending)
        rows += row;
    const LapLogFile::Outcome outcome = file->write(rows);
    setPath(file->path());
    const QString left = file->takeMovedFrom();
    if (!left.isEmpty()) {
        // Told once, whatever failed before: where the rows go now is what the operator needs.
        failed = false;
        tell(Notice::Moved, left);
    }
    if (outcome != LapLogFile::Outcome::Written) {
        tellFailure(outcome);
        return;
    }
    {
        const std::lock_guard lock(mutex);
        outstanding -= int(pending.size());
    }
    pending.clear();
    const bool reopened = file->takeReopened();
    if (failed || reopened)
        tell(Notice::Resumed);
    failed = false;
}

void LapLogWriter::Core::giveUpPending()
{
    {
        const std::lock_guard lock(mutex);
        outstanding -= int(pending.size());
        givenUp += int(pending.size());
    }
    pending.clear();
}

void LapLogWriter::Core::tellFailure(LapLogFile::Outcome outcome)
{
    if (failed)
        return;
    failed = true;
    tell(outcome == LapLogFile::Outcome::NoRoom ? Notice::NoRoom : Notice::Failed);
}

void LapLogWriter::Core::tell(Notice notice, const QString& left)
{
    const QString shown = file ? file->shownPath() : folder;
    const std::lock_guard lock(notifyMutex);
    if (!abandoned && notify)
        notify(run, notice, shown, left);
}

void LapLogWriter::Core::setPath(const QString& newPath)
{
    const std::lock_guard lock(mutex);
    path = newPath;
}

LapLogWriter::LapLogWriter(QString folder, Notify notify, Sync sync)
    : m_core(std::make_shared<Core>(std::move(folder), std::move(notify), std::move(sync))),
      m_thread([core = m_core] { core->loop(); })
{
}

LapLogWriter::~LapLogWriter()
{
    if (m_ending)
        return;
    {
        const std::lock_guard lock(m_core->mutex);
        m_core->quit = true;
    }
    m_core->wake.notify_one();
    m_thread.join();
}

void LapLogWriter::startRun(uint64_t run, const QString& fileName, const QByteArray& start)
{
    m_core->push(Core::Job{Core::Job::Start, run, fileName, start});
}

void LapLogWriter::addRow(QByteArray row)
{
    m_core->push(Core::Job{Core::Job::Row, 0, {}, std::move(row)});
}

void LapLogWriter::endRun()
{
    m_core->push(Core::Job{Core::Job::End, 0, {}, {}});
}

void LapLogWriter::waitUntilIdle()
{
    // After finish() there is nothing more to wait for; a thread left to itself may never be idle.
    if (m_ending)
        return;
    std::unique_lock lock(m_core->mutex);
    m_core->idle.wait(lock, [this] { return (m_core->jobs.empty() && !m_core->busy) || m_core->done; });
}

QString LapLogWriter::currentFile() const
{
    const std::lock_guard lock(m_core->mutex);
    return m_core->path;
}

LapLogWriter::Ending LapLogWriter::finish(std::chrono::milliseconds timeout)
{
    if (m_ending)
        return *m_ending;
    std::unique_lock lock(m_core->mutex);
    const int givenUpBefore = m_core->givenUp;
    m_core->quit = true;
    m_core->wake.notify_one();
    const bool ended = m_core->idle.wait_for(lock, timeout, [this] { return m_core->done; });
    Ending ending;
    ending.lost = m_core->givenUp - givenUpBefore + (ended ? 0 : m_core->outstanding);
    lock.unlock();
    if (ended) {
        m_thread.join();
    } else {
        {
            const std::lock_guard notifyLock(m_core->notifyMutex);
            m_core->abandoned = true;
        }
        m_thread.detach();
        ending.abandoned = true;
    }
    m_ending = ending;
    return ending;
}

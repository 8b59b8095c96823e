#include "laplog/lap_log_writer.h"

#include "laplog/lap_log_format.h"
#include "platform/durable_file.h"

#include <QDir>
#include <QFileInfo>

LapLogWriter::LapLogWriter(QString folder, Notify notify, Sync sync)
    : m_folder(std::move(folder)), m_notify(std::move(notify)), m_sync(std::move(sync)),
      m_thread([this] { loop(); })
{
}

LapLogWriter::~LapLogWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void LapLogWriter::startRun(uint64_t run, const QString& fileName)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{Job::Start, run, fileName, {}});
    }
    m_wake.notify_one();
}

void LapLogWriter::addRow(QByteArray row)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{Job::Row, 0, {}, std::move(row)});
    }
    m_wake.notify_one();
}

void LapLogWriter::endRun()
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(Job{Job::End, 0, {}, {}});
    }
    m_wake.notify_one();
}

void LapLogWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

QString LapLogWriter::currentFile() const
{
    const std::lock_guard lock(m_mutex);
    return m_path;
}

void LapLogWriter::loop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty())
            break;  // quitting, and nothing is left to write
        // Everything queued is taken at once: rows that came in during a slow sync share the
        // next one.
        std::deque<Job> jobs;
        jobs.swap(m_jobs);
        m_busy = true;
        lock.unlock();
        for (Job& job : jobs)
            handle(job);
        writePending();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
    lock.unlock();
    closeFile();
    m_idle.notify_all();
}

void LapLogWriter::handle(Job& job)
{
    switch (job.kind) {
    case Job::Start:
        writePending();
        closeFile();
        m_pending.clear();
        m_run = job.run;
        m_inRun = true;
        m_fileName = job.fileName;
        m_failed = false;
        m_lost = false;
        m_synced = 0;
        setPath(QString());
        // Created at once, so a folder that cannot be written is told at Start, not at the first lap.
        if (!ensureOpen() || !m_sync(m_file)) {
            closeFile();
            notify(Notice::Failed);
        } else {
            m_synced = m_file.size();
        }
        break;
    case Job::Row:
        if (m_inRun)
            m_pending.push_back(std::move(job.row));
        break;
    case Job::End:
        writePending();
        closeFile();
        // Rows the medium still refuses at Stop are given up: their loss was told.
        m_pending.clear();
        m_inRun = false;
        break;
    }
}

void LapLogWriter::writePending()
{
    if (!m_inRun || m_pending.empty())
        return;
    // Two tries: a file found gone, or written into just as it went, is opened again at once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureOpen())
            break;
        bool ok = true;
        for (const QByteArray& row : m_pending)
            ok = ok && m_file.write(row) == row.size();
        ok = ok && m_sync(m_file);
        if (ok && DurableFile::isStillAt(m_file, m_path)) {
            m_synced = m_file.size();
            m_pending.clear();
            if (m_failed || m_lost)
                notify(Notice::Resumed);
            m_failed = false;
            m_lost = false;
            return;
        }
        if (ok)
            m_lost = true;
        // What did not reach the medium is cut off where it can be, so that the rows written
        // again do not follow a torn one.
        if (!ok)
            m_file.resize(m_synced);
        closeFile();
    }
    notify(Notice::Failed);
}

bool LapLogWriter::ensureOpen()
{
    if (m_file.isOpen()) {
        if (DurableFile::isStillAt(m_file, m_path))
            return true;
        closeFile();
        m_lost = true;
    }
    if (!QDir().mkpath(m_folder))
        return false;
    return m_path.isEmpty() ? createNewFile() : reopen();
}

bool LapLogWriter::createNewFile()
{
    // Exclusive creation decides between two clients of one car started in the same second
    // into a shared folder: each gets a file of its own.
    const QDir dir(m_folder);
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? m_fileName : m_fileName.chopped(4) + QStringLiteral("_%1.csv").arg(n);
        const QString path = dir.filePath(name);
        if (openWithHeader(path)) {
            setPath(path);
            return true;
        }
        if (!QFileInfo::exists(path))
            return false;
    }
    return false;
}

bool LapLogWriter::reopen()
{
    m_file.setFileName(m_path);
    if (QFileInfo::exists(m_path)) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        // The medium came back with the file: anything past the last good sync is a row that
        // is about to be written again.
        if (m_file.size() > m_synced && !m_file.resize(m_synced)) {
            closeFile();
            return false;
        }
        return true;
    }
    return openWithHeader(m_path);
}

bool LapLogWriter::openWithHeader(const QString& path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QByteArray start = LapLogFormat::fileStart();
    if (m_file.write(start) != start.size() || !m_file.flush()) {
        closeFile();
        QFile::remove(path);
        return false;
    }
    // The header is the part no later failure cuts off.
    m_synced = start.size();
    DurableFile::syncFolder(m_folder);
    return true;
}

void LapLogWriter::closeFile()
{
    if (m_file.isOpen())
        m_file.close();
}

void LapLogWriter::notify(Notice notice)
{
    if (notice == Notice::Failed) {
        if (m_failed)
            return;
        m_failed = true;
    }
    const QString path = m_path.isEmpty() ? QDir(m_folder).filePath(m_fileName) : m_path;
    if (m_notify)
        m_notify(m_run, notice, path);
}

void LapLogWriter::setPath(const QString& path)
{
    const std::lock_guard lock(m_mutex);
    m_path = path;
}

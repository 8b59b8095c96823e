#include "platform/linux/canberra_alert_sound.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <canberra.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <vector>

namespace {

// Tones waiting beyond these are left out: a chime that comes seconds late tells the wrong moment.
constexpr std::size_t kMostWaiting = 2;
// How long the end of the program waits for a worker that is still talking to the sound server.
constexpr auto kEndWait = std::chrono::seconds(2);

void writeToStderr(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// A context is never destroyed. libcanberra's ALSA backend plays each sound on a detached thread
// that is still on its way out of the backend's code when the destruction of the context, woken
// by that thread, unloads the backend: the process crashes now and then (seen in our tests). The
// program makes one context; the process's end takes it, and its sounds, with it.
void keepToTheEnd(ca_context* context)
{
    static std::mutex mutex;
    // Never destroyed either, so that the contexts stay reachable to the very end.
    static auto* const kept = new std::vector<ca_context*>;
    const std::lock_guard lock(mutex);
    kept->push_back(context);
}

} // namespace

struct CanberraAlertSound::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<AlertTone> waiting;
    bool ending = false;
    bool ended = false;
};

void CanberraAlertSound::playTones(const std::shared_ptr<Queue>& queue, const QString& folder,
                                   const std::function<void(const QString& line)>& tell)
{
    ca_context* context = nullptr;
    bool told = false;
    auto failed = [&](int error) {
        if (told)
            return;
        told = true;
        tell(QStringLiteral("Rivect: the alert chimes cannot be played (%1); the alerts are still shown")
                 .arg(QString::fromUtf8(ca_strerror(error))));
    };
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->changed.wait(lock, [&] { return queue->ending || !queue->waiting.empty(); });
        if (queue->waiting.empty())
            break;
        const AlertTone tone = queue->waiting.front();
        queue->waiting.pop_front();
        lock.unlock();

        int result = context ? CA_SUCCESS : ca_context_create(&context);
        if (result == CA_SUCCESS && context) {
            const std::string_view name = alertToneName(tone);
            const QString file = QStringLiteral("chime-%1.wav").arg(QLatin1StringView(name.data(), qsizetype(name.size())));
            const QByteArray path = QFile::encodeName(QDir(folder).filePath(file));
            // No event id: with one, libcanberra looks the sound up in the desktop's theme and
            // never reads the file.
            result = ca_context_play(context, 0, CA_PROP_APPLICATION_NAME, "Rivect", CA_PROP_MEDIA_FILENAME,
                                     path.constData(), CA_PROP_EVENT_DESCRIPTION, "Rivect alert",
                                     CA_PROP_MEDIA_ROLE, "event", nullptr);
        }
        if (result != CA_SUCCESS)
            failed(result);
        lock.lock();
    }
    if (context)
        keepToTheEnd(context);
    queue->ended = true;
    queue->changed.notify_all();
}

CanberraAlertSound::CanberraAlertSound() : CanberraAlertSound(Access{}) {}

CanberraAlertSound::CanberraAlertSound(Access access) : m_queue(std::make_shared<Queue>())
{
    QString folder = access.soundFolder.isEmpty() ? soundFolderFor(QCoreApplication::applicationDirPath())
                                                  : access.soundFolder;
    auto tell = access.tell ? std::move(access.tell) : std::function<void(const QString&)>(writeToStderr);
    m_worker = std::thread([queue = m_queue, folder = std::move(folder), tell = std::move(tell)] {
        playTones(queue, folder, tell);
    });
}

CanberraAlertSound::~CanberraAlertSound()
{
    std::unique_lock lock(m_queue->mutex);
    m_queue->ending = true;
    m_queue->changed.notify_all();
    const bool ended = m_queue->changed.wait_for(lock, kEndWait, [this] { return m_queue->ended; });
    lock.unlock();
    // A worker stuck in a call to the sound server keeps the queue it shares; it goes with the
    // process.
    if (ended)
        m_worker.join();
    else
        m_worker.detach();
}

void CanberraAlertSound::play(AlertTone tone)
{
    const std::lock_guard lock(m_queue->mutex);
    if (m_queue->waiting.size() >= kMostWaiting)
        return;
    m_queue->waiting.push_back(tone);
    m_queue->changed.notify_all();
}

QString CanberraAlertSound::soundFolderFor(const QString& programFolder)
{
    const QDir program(programFolder);
    const QString beside = program.filePath(QStringLiteral("sounds"));
    if (QFileInfo(beside).isDir())
        return beside;
    return QDir::cleanPath(program.filePath(QStringLiteral("../share/rivect/sounds")));
}

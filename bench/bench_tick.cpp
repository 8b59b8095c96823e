// Tick count accuracy: the tick thread counting with Tick_Proc against the monotonic clock,
// idle and with every core loaded, and the ticks lost across a 500 ms stop of the process.
// Baselines in the same run: counters driven by a 10 ms precise QTimer and a coarse QTimer.

#include "bench_support.h"

#include "state/public_const.h"
#include "platform/linux/tick_thread_timer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int64_t kTickNs = 10'000'000;
constexpr int kCounters = 3;
const std::array<const char*, kCounters> kNames = {"TickThreadTimer + Tick_Proc", "QTimer 10 ms PreciseTimer",
                                                   "QTimer 10 ms CoarseTimer"};

/// The three counters, each with the moment it was started.
class CounterSet {
public:
    void start()
    {
        m_precise.setTimerType(Qt::PreciseTimer);
        m_coarse.setTimerType(Qt::CoarseTimer);
        for (QTimer* t : {&m_precise, &m_coarse})
            t->setInterval(10);
        QObject::connect(&m_precise, &QTimer::timeout, [this] {
            m_preciseCount.fetch_add(1);
            noteFirst(1);
        });
        QObject::connect(&m_coarse, &QTimer::timeout, [this] {
            m_coarseCount.fetch_add(1);
            noteFirst(2);
        });

        m_startNs[0] = Bench::monoNs();
        PublicConst& pub = m_pub;
        // Besides Tick_Proc the callback only notes the moment of its first run: one relaxed
        // load per tick once that is done.
        m_timerId = m_tick.timeSetEvent(10, [this, &pub] {
            Tick_Proc(pub);
            noteFirst(0);
        });
        m_startNs[1] = Bench::monoNs();
        m_precise.start();
        m_startNs[2] = Bench::monoNs();
        m_coarse.start();
    }

    void stop()
    {
        m_tick.timeKillEvent(m_timerId);
        m_precise.stop();
        m_coarse.stop();
    }

    /// When counter i was started.
    int64_t startNs(int i) const { return m_startNs[std::size_t(i)]; }
    /// When counter i ran for the first time (0: not yet).
    int64_t firstNs(int i) const { return m_firstNs[std::size_t(i)].load(); }
    /// The three counts now.
    std::array<double, kCounters> counts() const
    {
        return {double(m_pub.Pub_TickCount.load()), double(m_preciseCount.load()), double(m_coarseCount.load())};
    }
    /// Counts now, and the whole periods elapsed since each counter started.
    void sample(std::array<double, kCounters>& counts, std::array<double, kCounters>& expected) const
    {
        const int64_t now = Bench::monoNs();
        counts = this->counts();
        for (int i = 0; i < kCounters; ++i)
            expected[i] = double(now - m_startNs[i]) / double(kTickNs);
    }

private:
    void noteFirst(int i)
    {
        auto& first = m_firstNs[std::size_t(i)];
        if (first.load(std::memory_order_relaxed) == 0)
            first.store(Bench::monoNs());
    }

    PublicConst m_pub;
    TickThreadTimer m_tick;
    int32_t m_timerId = 0;
    QTimer m_precise;
    QTimer m_coarse;
    std::atomic<int64_t> m_preciseCount{0};
    std::atomic<int64_t> m_coarseCount{0};
    std::array<int64_t, kCounters> m_startNs{};
    std::array<std::atomic<int64_t>, kCounters> m_firstNs{};
};

/// One phase: all three counters for seconds, sampled every 100 ms from a thread of its own.
void accuracyPhase(const char* title, double seconds, bool loaded)
{
    Bench::heading(std::string("Tick count accuracy, ") + title + ", " + std::to_string(int(seconds)) + " s");
    std::unique_ptr<Bench::CpuLoad> load;
    if (loaded) {
        load = std::make_unique<Bench::CpuLoad>(seconds + 5);
        std::printf("  load: %zu spinning threads\n", load->threads());
    }

    CounterSet counters;
    std::array<std::vector<double>, kCounters> errors, absErrors, times;
    QEventLoop loop;
    counters.start();
    // The loop runs until the last sample is taken: a counter driven by the event loop stands
    // still once the loop has returned, and a sample then would count against it.
    const auto samples = int64_t(seconds * 10);
    // Samples fall half-way between two ticks of the tick thread's grid, where a count that is
    // exact reads -0.5 (plus the thread's start-up, a small constant): a sample at a tick's
    // deadline would catch that tick counted or not by chance.
    std::thread sampler([&] {
        const int64_t begin = counters.startNs(0) + kTickNs / 2;
        for (int64_t k = 1; k <= samples; ++k) {
            Bench::sleepUntilNs(begin + k * 100'000'000);
            std::array<double, kCounters> counts{}, expected{};
            counters.sample(counts, expected);
            for (int i = 0; i < kCounters; ++i) {
                errors[i].push_back(counts[i] - expected[i]);
                absErrors[i].push_back(std::fabs(counts[i] - expected[i]));
                times[i].push_back(expected[i] / 100.0);
            }
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    sampler.join();
    counters.stop();
    if (load)
        load->stop();

    for (int i = 0; i < kCounters; ++i) {
        const double perSecond = Bench::slope(times[i], errors[i]);
        std::printf(" %s%s\n", kNames[i], i == 0 ? "" : "  (baseline)");
        Bench::printSummary("error = count - elapsed/10 ms", Bench::summarize(errors[i]), "ticks", 2);
        Bench::printSummary("|error|", Bench::summarize(absErrors[i]), "ticks", 2);
        std::printf("  drift %+.3f ticks/min (%+.0f ppm of the tick rate), error at end %+.2f ticks\n",
                    perSecond * 60, perSecond / 100.0 * 1e6, errors[i].empty() ? 0.0 : errors[i].back());
    }
}

/// In a child: counts for childSeconds, tells the parent once every counter has ticked, then
/// reports the ticks each counter is short of the periods elapsed since its first tick.
[[noreturn]] void stallChild(int argc, char** argv, int readyFd, int resultFd, double childSeconds)
{
    QCoreApplication app(argc, argv);
    CounterSet counters;
    counters.start();
    // Each counter is measured from its own first tick: the tick thread's start-up (thread
    // creation) shifts its whole schedule, which is no loss of ticks. The sample is taken
    // halfway between two ticks, from a thread of its own while the loop still runs, so a
    // tick due a moment ago and not yet counted is not taken for a lost one.
    std::array<double, kCounters> lost{};
    QEventLoop loop;
    std::thread sampler([&] {
        const int64_t giveUp = Bench::monoNs() + 1'000'000'000;
        while (Bench::monoNs() < giveUp
               && (counters.firstNs(0) == 0 || counters.firstNs(1) == 0 || counters.firstNs(2) == 0))
            Bench::sleepUntilNs(Bench::monoNs() + 1'000'000);
        std::array<int64_t, kCounters> first{};
        for (int i = 0; i < kCounters; ++i)
            first[i] = counters.firstNs(i);
        const char ready = 'r';
        (void)!::write(readyFd, &ready, 1);
        Bench::sleepUntilNs(first[0] + int64_t(childSeconds * 100) * kTickNs + kTickNs / 2);
        const int64_t now = Bench::monoNs();
        const auto counts = counters.counts();
        for (int i = 0; i < kCounters; ++i)
            lost[i] = double(1 + (now - first[i]) / kTickNs) - counts[i];
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    sampler.join();
    counters.stop();
    char line[160];
    const int n = std::snprintf(line, sizeof line, "%.0f %.0f %.0f\n", lost[0], lost[1], lost[2]);
    (void)!::write(resultFd, line, size_t(n));
    std::fflush(nullptr);
    ::_exit(0);
}

/// Forks a counting child, stops it for stopMs (0: not at all) and returns its ticks lost.
bool stallRun(int argc, char** argv, int stopMs, std::array<double, kCounters>& lost)
{
    int ready[2], result[2];
    if (::pipe(ready) != 0 || ::pipe(result) != 0)
        return false;
    const double childSeconds = 3.0;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::close(ready[0]);
        ::close(result[0]);
        stallChild(argc, argv, ready[1], result[1], childSeconds);
    }
    ::close(ready[1]);
    ::close(result[1]);
    char c = 0;
    const bool started = ::read(ready[0], &c, 1) == 1;
    if (started && stopMs > 0) {
        Bench::sleepUntilNs(Bench::monoNs() + 1'000'000'000);
        ::kill(pid, SIGSTOP);
        Bench::sleepUntilNs(Bench::monoNs() + int64_t(stopMs) * 1'000'000);
        ::kill(pid, SIGCONT);
    }
    char buf[160] = {};
    ssize_t got = 0;
    while (got < ssize_t(sizeof buf) - 1) {
        const ssize_t n = ::read(result[0], buf + got, sizeof buf - 1 - size_t(got));
        if (n <= 0)
            break;
        got += n;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(ready[0]);
    ::close(result[0]);
    return std::sscanf(buf, "%lf %lf %lf", &lost[0], &lost[1], &lost[2]) == 3;
}

void stallRuns(int argc, char** argv, int runs)
{
    Bench::heading("Ticks lost after SIGSTOP 500 ms / SIGCONT of a counting child (3 s run, stop at 1 s)");
    std::array<std::vector<double>, kCounters> stopped, control;
    for (int r = 0; r < runs; ++r) {
        std::array<double, kCounters> lost{};
        if (stallRun(argc, argv, 500, lost))
            for (int i = 0; i < kCounters; ++i)
                stopped[i].push_back(lost[i]);
    }
    std::array<double, kCounters> lost{};
    if (stallRun(argc, argv, 0, lost))
        for (int i = 0; i < kCounters; ++i)
            control[i].push_back(lost[i]);
    for (int i = 0; i < kCounters; ++i) {
        std::printf(" %s%s\n", kNames[i], i == 0 ? "" : "  (baseline)");
        Bench::printSummary("ticks lost, stopped 500 ms", Bench::summarize(stopped[i]), "ticks", 0);
        Bench::printSummary("ticks lost, same run without the stop", Bench::summarize(control[i]), "ticks", 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const auto opt = Bench::Options::parse(argc, argv, "--seconds: length of each accuracy phase (60); --runs: stop runs (5)");
    std::printf("bench_tick: %s\n", Bench::machineLine().c_str());
    // The children are forked before this process starts any thread of its own.
    stallRuns(argc > 0 ? 1 : 0, argv, opt.repetitions(5, 1));

    QCoreApplication app(argc, argv);
    const double seconds = opt.duration(60, 3);
    accuracyPhase("idle", seconds, false);
    accuracyPhase("all cores loaded", seconds, true);
    return 0;
}

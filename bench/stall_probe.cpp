#include "stall_probe.h"

#include "bench_support.h"

#include "platform/thread_priority.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace StallProbe {

namespace {
constexpr int64_t kMs = 1'000'000;
constexpr int64_t kGapNs = 5 * kMs;
} // namespace

int runChild(double seconds)
{
    int argc = 1;
    char name[] = "stall-probe";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    raiseThreadPriority(ThreadUrgency::Raised);  // as the window thread is

    std::vector<std::pair<int64_t, int64_t>> gaps;
    std::atomic<bool> stop{false};
    std::thread fifo([&] {
        raiseThreadPriority(ThreadUrgency::RealTime);
        int64_t last = Bench::monoNs();
        for (int64_t next = last + kMs; !stop.load(std::memory_order_relaxed); next += kMs) {
            Bench::sleepUntilNs(next);
            const int64_t now = Bench::monoNs();
            if (now - last > kGapNs)
                gaps.emplace_back(last, now - last);
            last = now;
            next = std::max(next, now - kMs);
        }
    });

    std::vector<int64_t> ticks;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks.push_back(Bench::monoNs()); });
    timer.start(100);
    QTimer::singleShot(int(seconds * 1000), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    stop.store(true);
    fifo.join();
    for (int64_t t : ticks)
        std::printf("bare %" PRId64 "\n", t);
    for (const auto& [at, len] : gaps)
        std::printf("gap %" PRId64 " %" PRId64 "\n", at, len);
    std::printf("end\n");
    return 0;
}

Child::Child(const std::string& program, double seconds)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const std::string secs = std::to_string(seconds);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(program.c_str(), program.c_str(), "--stall-probe", secs.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    m_out = fds[0];
}

Child::~Child()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        finish();
    }
}

Seen Child::finish()
{
    Seen seen;
    if (m_out >= 0) {
        FILE* in = ::fdopen(m_out, "r");
        char line[128];
        while (in && std::fgets(line, sizeof line, in)) {
            int64_t a = 0, b = 0;
            if (std::sscanf(line, "bare %" SCNd64, &a) == 1)
                seen.bareTicks.push_back(a);
            else if (std::sscanf(line, "gap %" SCNd64 " %" SCNd64, &a, &b) == 2)
                seen.fifoGaps.emplace_back(a, b);
            else if (std::string(line) == "end\n")
                seen.ok = true;
        }
        if (in)
            std::fclose(in);
        m_out = -1;
    }
    if (m_pid > 0) {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return seen;
}

double stealMs()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    uint64_t v[8] = {};
    stat >> cpu >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5] >> v[6] >> v[7];
    return double(v[7]) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

void report(const Seen& seen, const std::vector<int64_t>& windowTicks, int64_t startNs, double lateMs)
{
    if (!seen.ok) {
        std::printf("  stall probe: no answer\n");
        return;
    }
    std::vector<double> bareDeviation;
    for (std::size_t i = 1; i < seen.bareTicks.size(); ++i)
        bareDeviation.push_back(std::fabs(double(seen.bareTicks[i] - seen.bareTicks[i - 1]) / 1e6 - 100.0));
    Bench::printSummary("bare 100 ms QTimer, other process |interval-100|", Bench::summarize(bareDeviation), "ms", 2);
    int64_t longestGap = 0;
    for (const auto& g : seen.fifoGaps)
        longestGap = std::max(longestGap, g.second);
    std::printf("  real-time 1 ms thread: %zu gaps over 5 ms, longest %.1f ms\n", seen.fifoGaps.size(),
                double(longestGap) / 1e6);

    // A late tick ends a stall that began up to its lateness earlier; the others count as hit
    // when they were held up somewhere in that span.
    int late = 0, bareToo = 0, fifoToo = 0;
    for (std::size_t i = 1; i < windowTicks.size(); ++i) {
        const double over = double(windowTicks[i] - windowTicks[i - 1]) / 1e6 - 100.0;
        if (over <= lateMs)
            continue;
        ++late;
        const int64_t from = windowTicks[i] - int64_t(over * 1e6) - 5 * kMs;
        const int64_t to = windowTicks[i] + 5 * kMs;
        bool bare = false, fifo = false;
        for (std::size_t k = 1; k < seen.bareTicks.size(); ++k) {
            const double bOver = double(seen.bareTicks[k] - seen.bareTicks[k - 1]) / 1e6 - 100.0;
            if (bOver > lateMs / 2 && seen.bareTicks[k] >= from && seen.bareTicks[k] - int64_t(bOver * 1e6) <= to)
                bare = true;
        }
        for (const auto& [at, len] : seen.fifoGaps)
            if (at <= to && at + len >= from)
                fifo = true;
        bareToo += bare;
        fifoToo += fifo;
        if (late <= 12)
            std::printf("  late period at %.1f s: %.1f ms over; bare timer %s, real-time thread %s\n",
                    double(windowTicks[i] - startNs) / 1e9, over, bare ? "late too" : "on time",
                    fifo ? "held up too" : "ran");
    }
    std::printf("  window periods over %.0f ms late: %d; of them the bare timer was late in %d, the real-time"
                " thread held up in %d\n",
                lateMs, late, bareToo, fifoToo);
    // And the other way round: the bare program's own late periods, and the longest of them.
    int bareLate = 0;
    double bareWorst = 0, bareWorstAt = 0;
    for (std::size_t k = 1; k < seen.bareTicks.size(); ++k) {
        const double over = double(seen.bareTicks[k] - seen.bareTicks[k - 1]) / 1e6 - 100.0;
        if (over > lateMs)
            ++bareLate;
        if (over > bareWorst) {
            bareWorst = over;
            bareWorstAt = double(seen.bareTicks[k] - startNs) / 1e9;
        }
    }
    std::printf("  bare timer periods over %.0f ms late: %d, the worst %.1f ms over at %.1f s\n", lateMs, bareLate,
                bareWorst, bareWorstAt);
}

} // namespace StallProbe

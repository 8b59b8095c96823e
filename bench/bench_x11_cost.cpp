// Cost of a run on a real X server: the program's windows (the harness) on an Xvfb display with
// a window manager, side by side with a naive program on a display of its own: one QLabel in
// the running-time font, re-captioned every 100 ms. Each display has its own Xvfb and openbox,
// so the server's share of each program's cost is measured too. Prints the ratio of the two.

#include "bench_support.h"
#include "child_process.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint16_t kCarPort = 7011;
constexpr uint16_t kHostPort = 7012;

/// An Xvfb display of its own with openbox on it.
struct Display {
    Bench::Child server;
    Bench::Child wm;
    std::string name;  ///< ":N"

    bool start()
    {
        int64_t at = 0;
        // -displayfd 1: the server picks a free display and writes its number to our pipe.
        server = Bench::spawn({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, at, {},
                              true);
        char buf[32] = {};
        if (!server.out || !std::fgets(buf, sizeof buf, server.out) || buf[0] < '0' || buf[0] > '9')
            return false;
        name = ":" + std::string(buf, std::strcspn(buf, "\n"));
        wm = Bench::spawn({"openbox", "--sm-disable"}, at, {"DISPLAY=" + name}, true);
        // openbox takes the screen within a second on this machine; waiting longer costs nothing.
        Bench::sleepUntilNs(Bench::monoNs() + 1'500'000'000);
        return wm.pid > 0;
    }
    ~Display()
    {
        Bench::terminate(wm);
        Bench::terminate(server);
    }
};

/// CPU and wake-ups of one process over the measured span. The CPU time is summed from each
/// thread's exact run time, sampled every second so that a thread that ends loses at most its
/// last second.
struct Meter {
    pid_t pid = -1;
    double cpu = 0;
    long switches0 = 0, switches = 0;
    std::vector<double> perSecond;
    std::map<pid_t, uint64_t> seen;
    std::map<std::string, double> byName;  ///< CPU seconds by thread name

    double advance()
    {
        uint64_t delta = 0;
        const bool first = seen.empty();
        for (const Bench::ThreadTime& t : Bench::threadTimes(pid)) {
            const auto it = seen.find(t.tid);
            // A thread started since the last sample ran all its time within the span.
            const uint64_t d = it == seen.end() ? (first ? 0 : t.ns) : t.ns - it->second;
            seen[t.tid] = t.ns;
            delta += d;
            byName[t.tid == pid ? "main" : t.name] += double(d) / 1e9;
        }
        return double(delta) / 1e9;
    }
    void begin(pid_t p)
    {
        pid = p;
        seen.clear();
        advance();
        switches0 = Bench::procSwitches(p);
    }
    void sample()
    {
        const double d = advance();
        perSecond.push_back(d * 100);
        cpu += d;
        const long s = Bench::procSwitches(pid);
        if (s >= 0)
            switches = s - switches0;
    }
};

void print(const char* name, const Meter& m, double seconds)
{
    std::printf("  %-34s CPU %.2f s = %.3f %% of one core, %.0f wake-ups/s\n", name, m.cpu, m.cpu / seconds * 100,
                double(m.switches) / seconds);
    std::string threads;
    for (const auto& [thread, cpu] : m.byName)
        if (cpu > 0)
            threads += "  " + thread + " " + std::to_string(cpu / seconds * 100).substr(0, 5) + " %";
    std::printf("    by thread:%s\n", threads.c_str());
}

bool run(double seconds)
{
    Bench::heading("Cost of a run on Xvfb with openbox: " + std::to_string(int(seconds))
                   + " s, a lap report every 10 s, against a naive label");
    Display forProgram, forNaive;
    if (!forProgram.start() || !forNaive.start()) {
        std::printf("  Xvfb or openbox did not start\n");
        return false;
    }
    int64_t at = 0;
    Bench::Child program = Bench::spawn({RIVECT_BENCH_HARNESS, "--run", std::to_string(seconds)}, at,
                                        {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + forProgram.name});
    Bench::Child naive = Bench::spawn({RIVECT_BENCH_HARNESS, "--run", std::to_string(seconds), "--naive-label"}, at,
                                      {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + forNaive.name});
    if (Bench::lineStarting(program.out, "started ").empty() || Bench::lineStarting(naive.out, "started ").empty()) {
        std::printf("  a harness did not start\n");
        Bench::terminate(program);
        Bench::terminate(naive);
        return false;
    }
    Meter p, n, ps, ns;
    p.begin(program.pid);
    n.begin(naive.pid);
    ps.begin(forProgram.server.pid);
    ns.begin(forNaive.server.pid);

    const int sender = Bench::openLoopbackUdp(0);
    const int host = Bench::openLoopbackUdp(kHostPort, 1);
    const int64_t begin = Bench::monoNs();
    long statusDatagrams = 0;
    char buf[2048];
    for (int s = 1; s <= int(seconds) - 1; ++s) {
        if ((s - 1) % 10 == 0) {
            char report[128];
            std::snprintf(report, sizeof report, " %3d%10d%10d%10d2026/05/0310:00:0010:00:00", s / 10 + 1,
                          60000 + s, 59000, 61000);
            Bench::sendLoopback(sender, kCarPort, report);
        }
        while (Bench::monoNs() < begin + int64_t(s) * 1'000'000'000) {
            while (::recv(host, buf, sizeof buf, MSG_DONTWAIT) >= 0)
                ++statusDatagrams;
            Bench::sleepUntilNs(std::min(Bench::monoNs() + 20'000'000, begin + int64_t(s) * 1'000'000'000));
        }
        for (Meter* m : {&p, &n, &ps, &ns})
            m->sample();
    }
    Bench::finish(program);
    Bench::finish(naive);
    ::close(sender);
    ::close(host);

    const double span = seconds - 1;
    std::printf("  status datagrams received %ld (expected about %d)\n", statusDatagrams, int(span * 10));
    print("program (client window)", p, span);
    print("  its Xvfb", ps, span);
    print("naive QLabel (baseline)", n, span);
    print("  its Xvfb", ns, span);
    Bench::printSummary("program, CPU per second", Bench::summarize(p.perSecond), "% of one core", 2);
    Bench::printSummary("naive label, CPU per second", Bench::summarize(n.perSecond), "% of one core", 2);
    if (n.cpu > 0)
        std::printf("  RATIO program / naive label: %.3f (target at most 0.25); with each one's X server: %.3f\n",
                    p.cpu / n.cpu, (p.cpu + ps.cpu) / (n.cpu + ns.cpu));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const auto opt = Bench::Options::parse(argc, argv, "--seconds: length of the run (120); --runs: runs (1)");
    std::printf("bench_x11_cost: %s\n  harness %s\n", Bench::machineLine().c_str(), RIVECT_BENCH_HARNESS);
    bool ok = true;
    for (int r = 0; r < opt.repetitions(1, 1); ++r)
        ok = run(opt.duration(120, 12)) && ok;
    return ok ? 0 : 1;
}

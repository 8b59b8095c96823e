// Cost of a run and start-up, measured from outside on the harness that runs the program's
// windows: CPU time and peak resident memory over a run with a lap report every 10 s, CPU use
// second by second from /proc, and exec to the opening window's first paint. Baseline in the
// same run: the same harness showing a bare window.

#include "bench_support.h"
#include "child_process.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Bench::Child;
using Bench::finish;
using Bench::lineStarting;
using Bench::procCpuSeconds;
using Bench::spawn;

constexpr uint16_t kCarPort = 7011;
constexpr uint16_t kHostPort = 7012;

void startupRuns(int runs)
{
    Bench::heading("Start-up: exec to the opening window's first paint, " + std::to_string(runs) + " runs each");
    std::vector<double> program, bare;
    for (int r = 0; r < runs; ++r) {
        for (bool base : {false, true}) {
            std::vector<std::string> args = {RIVECT_BENCH_HARNESS, "--startup"};
            if (base)
                args.push_back("--baseline");
            int64_t execNs = 0;
            Child c = spawn(args, execNs);
            const std::string line = lineStarting(c.out, "shown ");
            if (!line.empty())
                (base ? bare : program).push_back(double(std::stoll(line.substr(6)) - execNs) / 1e6);
            finish(c);
        }
    }
    Bench::printSummary("program (opening window)", Bench::summarize(program), "ms", 1);
    Bench::printSummary("bare QWidget  (baseline)", Bench::summarize(bare), "ms", 1);
}

struct Cost {
    double cpuRun = 0, cpuTotal = 0;
    long hwmKb = 0, rssKb = 0;
    std::vector<double> perSecond;  ///< CPU share of one core, second by second
    bool ok = false;
};

bool parseCost(const std::string& line, Cost& cost)
{
    return std::sscanf(line.c_str(), "cost cpu_run %lf cpu_total %lf hwm_kb %ld rss_kb %ld", &cost.cpuRun,
                       &cost.cpuTotal, &cost.hwmKb, &cost.rssKb) == 4;
}

void runCost(double seconds)
{
    Bench::heading("Cost of a run: " + std::to_string(int(seconds)) + " s measuring, a lap report every 10 s");
    int64_t execNs = 0;
    Child program = spawn({RIVECT_BENCH_HARNESS, "--run", std::to_string(seconds)}, execNs);
    Child bare = spawn({RIVECT_BENCH_HARNESS, "--run", std::to_string(seconds), "--baseline"}, execNs);
    const bool started = !lineStarting(program.out, "started ").empty();
    const bool bareStarted = !lineStarting(bare.out, "started ").empty();
    if (!started || !bareStarted) {
        std::printf("  the harness did not start a run\n");
        ::kill(program.pid, SIGTERM);
        ::kill(bare.pid, SIGTERM);
        finish(program);
        finish(bare);
        return;
    }

    const int sender = Bench::openLoopbackUdp(0);
    const int host = Bench::openLoopbackUdp(kHostPort, 1);
    Cost cp, cb;
    const int64_t begin = Bench::monoNs();
    double lastP = procCpuSeconds(program.pid), lastB = procCpuSeconds(bare.pid);
    int reports = 0;
    long statusDatagrams = 0;
    char buf[2048];
    for (int s = 1; s <= int(seconds); ++s) {
        if ((s - 1) % 10 == 0) {
            // A lap report as the host builds it (clock time equal to end time): lap s / 10 + 1.
            char report[128];
            std::snprintf(report, sizeof report, " %3d%10d%10d%10d2026/05/0310:00:0010:00:00", s / 10 + 1,
                          60000 + s, 59000, 61000);
            reports += Bench::sendLoopback(sender, kCarPort, report);
        }
        // Drains the status datagrams that arrived meanwhile, then sleeps to the next second.
        while (Bench::monoNs() < begin + int64_t(s) * 1'000'000'000) {
            while (::recv(host, buf, sizeof buf, MSG_DONTWAIT) >= 0)
                ++statusDatagrams;
            Bench::sleepUntilNs(std::min(Bench::monoNs() + 20'000'000, begin + int64_t(s) * 1'000'000'000));
        }
        const double p = procCpuSeconds(program.pid), b = procCpuSeconds(bare.pid);
        if (p >= 0 && lastP >= 0)
            cp.perSecond.push_back((p - lastP) * 100);
        if (b >= 0 && lastB >= 0)
            cb.perSecond.push_back((b - lastB) * 100);
        lastP = p;
        lastB = b;
    }
    cp.ok = parseCost(lineStarting(program.out, "cost "), cp);
    cb.ok = parseCost(lineStarting(bare.out, "cost "), cb);
    finish(program);
    finish(bare);
    ::close(sender);
    ::close(host);

    std::printf("  lap reports sent %d, status datagrams received %ld (expected about %d)\n", reports, statusDatagrams,
                int(seconds * 10));
    for (const auto& [name, c] : {std::pair<const char*, const Cost&>{"program (client window measuring)", cp},
                                  {"bare QWidget  (baseline)", cb}}) {
        if (!c.ok) {
            std::printf(" %s: no cost line\n", name);
            continue;
        }
        std::printf(" %s\n  CPU over the run %.2f s = %.3f %% of one core; CPU since exec %.2f s;"
                    " peak RSS (VmHWM) %.1f MiB, RSS at end %.1f MiB\n",
                    name, c.cpuRun, c.cpuRun / seconds * 100, c.cpuTotal, double(c.hwmKb) / 1024,
                    double(c.rssKb) / 1024);
        Bench::printSummary("CPU per second (/proc/PID/stat, 10 ms ticks)", Bench::summarize(c.perSecond),
                            "% of one core", 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const auto opt = Bench::Options::parse(argc, argv, "--seconds: length of the run (300); --runs: start-ups (10)");
    std::printf("bench_run_cost: %s\n  harness %s\n", Bench::machineLine().c_str(), RIVECT_BENCH_HARNESS);
    startupRuns(opt.repetitions(10, 3));
    runCost(opt.duration(300, 12));
    return 0;
}

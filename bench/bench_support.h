#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

/// Shared pieces of the benchmark programs: the monotonic clock, distributions, a bounded CPU
/// load, loopback sockets and the command line every program takes.
namespace Bench {

/// CLOCK_MONOTONIC in nanoseconds.
int64_t monoNs();
/// Sleeps until the monotonic clock reaches deadlineNs.
void sleepUntilNs(int64_t deadlineNs);

/// The five points of a distribution, by nearest rank, and the number of samples.
struct Summary {
    double min = 0, median = 0, p90 = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};
/// Summarises samples (copied and sorted); all zero when there are none.
Summary summarize(std::vector<double> samples);
/// Prints "label  n=... min .. median .. p90 .. p99 .. max .. unit" on one line.
void printSummary(const std::string& label, const Summary& s, const std::string& unit, int precision = 3);
/// Least-squares slope of ys over xs.
double slope(const std::vector<double>& xs, const std::vector<double>& ys);

/// Keeps every core busy with spinning threads until stopped, and never longer than maxSeconds.
class CpuLoad {
public:
    /// Starts one spinning thread per core (threads = 0) or the number given.
    explicit CpuLoad(double maxSeconds, unsigned threads = 0);
    /// Stops and joins the threads.
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;
    /// Stops the load now.
    void stop();
    /// Number of spinning threads.
    std::size_t threads() const { return m_threads.size(); }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

/// The options every benchmark program takes: --quick, --seconds N, and the program's own.
struct Options {
    bool quick = false;
    double seconds = 0;  ///< the main duration; 0 leaves the program's default
    int runs = 0;        ///< repetitions, where a program repeats; 0 leaves the default
    /// Reads argv; exits with a usage line on anything unknown.
    static Options parse(int argc, char** argv, const char* usage);
    /// The duration to use: --seconds if given, else quickDefault or fullDefault.
    double duration(double fullDefault, double quickDefault) const;
    /// The repetitions to use, likewise.
    int repetitions(int fullDefault, int quickDefault) const;
};

/// A UDP socket bound to 127.0.0.1:port (0: any free port) with a receive timeout; -1 on failure.
int openLoopbackUdp(uint16_t port, int receiveTimeoutMs = 200);
/// Sends bytes as one datagram to 127.0.0.1:port; true when the whole datagram went out.
bool sendLoopback(int fd, uint16_t port, const std::string& bytes);

/// Prints a section heading.
void heading(const std::string& title);
/// The machine the figures come from: cores, CPU model, kernel.
std::string machineLine();

} // namespace Bench

#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

/// Tells a stall of our window thread apart from a stall of the machine. Run beside a phase, in
/// a process of its own: a bare 100 ms precise QTimer on a thread raised as the window thread
/// is, and a real-time thread that wakes every millisecond, which only a stalled machine (a
/// paused virtual CPU, a long section with interrupts off) can keep from running.
namespace StallProbe {

/// The probe's own main(): runs for seconds, then prints what it saw on standard output.
int runChild(double seconds);

/// What the probe saw, on the monotonic clock.
struct Seen {
    std::vector<int64_t> bareTicks;                      ///< each firing of the bare timer
    std::vector<std::pair<int64_t, int64_t>> fifoGaps;  ///< start and length of every gap over 5 ms
    bool ok = false;
};

/// A probe started as program --stall-probe SECONDS.
class Child {
public:
    Child(const std::string& program, double seconds);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    /// Waits for the probe to end and reads what it saw.
    Seen finish();

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

/// Steal time of all CPUs from /proc/stat, in milliseconds.
double stealMs();

/// Prints the bare timer's deviation and, for each late period of the window (over lateMs),
/// whether the bare timer and the real-time thread were held up at the same moment.
void report(const Seen& seen, const std::vector<int64_t>& windowTicks, int64_t startNs, double lateMs);

} // namespace StallProbe

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

/// Programs a benchmark starts and watches from outside: started with a pipe on their standard
/// output, measured through /proc, ended by their pid.
namespace Bench {

/// A started program: its pid and the read end of its standard output.
struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
};

/// Starts args[0] with args, extra environment entries ("NAME=value") and its standard error
/// quietened when quiet; execNs is the monotonic time just before the fork.
Child spawn(const std::vector<std::string>& args, int64_t& execNs, const std::vector<std::string>& env = {},
            bool quiet = false);
/// Reads lines until one starts with prefix; empty when the output ends first.
std::string lineStarting(FILE* out, const std::string& prefix);
/// Closes the pipe and waits for the program; its wait status.
int finish(Child& c);
/// Asks the program to end (SIGTERM), then waits for it.
void terminate(Child& c);
/// utime + stime of pid in seconds, from /proc; negative when gone.
double procCpuSeconds(pid_t pid);
/// One live thread: its id, name and time on a CPU in nanoseconds, from its schedstat (exact,
/// where /proc/PID/stat counts in scheduler ticks).
struct ThreadTime {
    pid_t tid;
    std::string name;
    uint64_t ns;
};
/// The live threads of pid.
std::vector<ThreadTime> threadTimes(pid_t pid);
/// Voluntary plus involuntary context switches of all threads of pid: how often it woke.
long procSwitches(pid_t pid);

} // namespace Bench

#include "bench_support.h"

#include "platform/thread_priority.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

namespace Bench {

int64_t monoNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void sleepUntilNs(int64_t deadlineNs)
{
    timespec t{};
    t.tv_sec = time_t(deadlineNs / 1'000'000'000);
    t.tv_nsec = long(deadlineNs % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

Summary summarize(std::vector<double> samples)
{
    Summary s;
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: the smallest sample with at least p of the samples at or below it.
    const auto rank = [&](double p) {
        const auto n = samples.size();
        auto k = std::size_t(std::ceil(p * double(n)));
        return samples[std::clamp<std::size_t>(k, 1, n) - 1];
    };
    s.count = samples.size();
    s.min = samples.front();
    s.median = rank(0.5);
    s.p90 = rank(0.9);
    s.p99 = rank(0.99);
    s.max = samples.back();
    return s;
}

void printSummary(const std::string& label, const Summary& s, const std::string& unit, int precision)
{
    std::printf("  %-44s n=%-6zu min %.*f  median %.*f  p90 %.*f  p99 %.*f  max %.*f %s\n", label.c_str(),
                s.count, precision, s.min, precision, s.median, precision, s.p90, precision, s.p99, precision,
                s.max, unit.c_str());
    std::fflush(stdout);
}

double slope(const std::vector<double>& xs, const std::vector<double>& ys)
{
    const std::size_t n = std::min(xs.size(), ys.size());
    if (n < 2)
        return 0;
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += xs[i];
        my += ys[i];
    }
    mx /= double(n);
    my /= double(n);
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sxy += (xs[i] - mx) * (ys[i] - my);
        sxx += (xs[i] - mx) * (xs[i] - mx);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

CpuLoad::CpuLoad(double maxSeconds, unsigned threads)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    // Each spinner also watches its own deadline, so a benchmark that dies or forgets to stop
    // it never leaves the machine loaded for longer than asked.
    const int64_t deadline = monoNs() + int64_t(maxSeconds * 1e9);
    for (unsigned i = 0; i < threads; ++i) {
        m_threads.emplace_back([this, deadline] {
            // The load stands for other programs: ordinary threads, whatever the thread that
            // starts it was raised to.
            resetThreadPriority();
            volatile uint64_t sink = 0;
            while (!m_stop.load(std::memory_order_relaxed)) {
                for (int k = 0; k < 100000; ++k)
                    sink = sink + uint64_t(k);
                if (monoNs() >= deadline)
                    break;
            }
        });
    }
}

CpuLoad::~CpuLoad()
{
    stop();
}

void CpuLoad::stop()
{
    m_stop.store(true);
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
}

Options Options::parse(int argc, char** argv, const char* usage)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
        } else if (a == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
        } else if (a == "--runs" && i + 1 < argc) {
            o.runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--seconds N] [--runs N]\n  %s\n", argv[0], usage);
            std::exit(2);
        }
    }
    return o;
}

double Options::duration(double fullDefault, double quickDefault) const
{
    if (seconds > 0)
        return seconds;
    return quick ? quickDefault : fullDefault;
}

int Options::repetitions(int fullDefault, int quickDefault) const
{
    if (runs > 0)
        return runs;
    return quick ? quickDefault : fullDefault;
}

int openLoopbackUdp(uint16_t port, int receiveTimeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{};
    tv.tv_sec = receiveTimeoutMs / 1000;
    tv.tv_usec = (receiveTimeoutMs % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

bool sendLoopback(int fd, uint16_t port, const std::string& bytes)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t n = ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n == ssize_t(bytes.size());
}

void heading(const std::string& title)
{
    std::printf("\n== %s\n", title.c_str());
    std::fflush(stdout);
}

std::string machineLine()
{
    std::string model = "unknown CPU";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos)
                model = line.substr(colon + 2);
            break;
        }
    }
    utsname u{};
    uname(&u);
    return "cores " + std::to_string(std::thread::hardware_concurrency()) + ", " + model + ", kernel " + u.release;
}

} // namespace Bench

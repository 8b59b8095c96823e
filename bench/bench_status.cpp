// Status datagram cadence: the client window on its real socket and tick thread, its send
// timer driven by the view's precise timer binding, sending to a peer on 127.0.0.1 that takes
// the arrival times. Baseline in the same run: a second window, on the next car's ports, whose
// send timer is a coarse QTimer.

#include "bench_support.h"
#include "client_rig.h"
#include "stall_probe.h"

#include "client/datagram.h"
#include "platform/qt_udp_socket.h"
#include "platform/thread_priority.h"
#include "ui/timer_binding.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr double kPeriodMs = 100.0;

/// A host stand-in on 127.0.0.1 that notes when each status datagram arrives.
class Peer {
public:
    explicit Peer(uint16_t port) : m_fd(Bench::openLoopbackUdp(port, 50))
    {
        if (m_fd >= 0)
            m_thread = std::thread([this] { run(); });
    }
    ~Peer()
    {
        finish();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    void finish()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<int64_t> arrivals() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrivals;
    }

private:
    void run()
    {
        // The arrival time is the kernel's receive stamp, so the peer thread's own wake-up
        // latency does not count against the sender. The stamp is on the real-time clock; the
        // offset to the monotonic clock is taken once (nothing sets the clock during a run).
        const int on = 1;
        const bool stamped = ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
        timespec real{}, mono{};
        clock_gettime(CLOCK_REALTIME, &real);
        clock_gettime(CLOCK_MONOTONIC, &mono);
        const int64_t realToMono = (int64_t(mono.tv_sec) - int64_t(real.tv_sec)) * 1'000'000'000
            + (int64_t(mono.tv_nsec) - int64_t(real.tv_nsec));
        char buf[2048];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        while (!m_stop.load()) {
            iovec iov{buf, sizeof buf};
            msghdr msg{};
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd, &msg, 0);
            if (n < 0)
                continue;
            int64_t at = Bench::monoNs();
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); stamped && c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec t{};
                    std::memcpy(&t, CMSG_DATA(c), sizeof t);
                    at = int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec + realToMono;
                }
            }
            std::lock_guard lock(m_mutex);
            m_arrivals.push_back(at);
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<int64_t> m_arrivals;
};

/// One client window with the view's timer bindings for its running timers.
struct Sender {
    Sender(int car, Qt::TimerType type) : car(car), rig(winsock1, winsockChker)
    {
        ClientWindow& w = *rig.window;
        // The moment the window thread runs the send handler, to tell a late timer apart from
        // a late delivery.
        send = std::make_unique<TimerBinding>(w.Time_SendData, [this, &w] {
            sendCalls.push_back(Bench::monoNs());
            w.Time_SendData_Timer();
        });
        chk = std::make_unique<TimerBinding>(w.Time_Chk, [&w] { w.Time_Chk_Timer(); });
        jikan = std::make_unique<TimerBinding>(w.Time_Jikan, [&w] { w.Time_Jikan_Timer(); });
        // The binding always asks for a precise timer; the baseline changes only the type, while
        // the timer is still stopped, and keeps everything else of the binding.
        const_cast<QTimer&>(send->timer()).setTimerType(type);
        const_cast<QTimer&>(chk->timer()).setTimerType(type);
    }

    int car;
    QtUdpSocket winsock1;
    QtUdpSocket winsockChker;
    ClientRig rig;
    std::unique_ptr<TimerBinding> send, chk, jikan;
    int64_t startNs = 0;
    std::vector<int64_t> sendCalls;
};

void report(const char* name, const std::vector<int64_t>& arrivals, int64_t startNs, double seconds)
{
    // A datagram belongs to the run when it arrives before the end plus half a period.
    const double endMs = seconds * 1000 + kPeriodMs / 2;
    std::vector<double> at;
    for (int64_t a : arrivals) {
        const double ms = double(a - startNs) / 1e6;
        if (ms > 0 && ms <= endMs)
            at.push_back(ms);
    }
    const auto expected = int(std::lround(seconds * 1000 / kPeriodMs));
    std::vector<double> deviation, grid, n;
    for (std::size_t i = 1; i < at.size(); ++i)
        deviation.push_back(std::fabs(at[i] - at[i - 1] - kPeriodMs));
    for (std::size_t i = 0; i < at.size(); ++i) {
        grid.push_back(at[i] - double(i + 1) * kPeriodMs);
        n.push_back(double(i + 1) * kPeriodMs / 1000.0);
    }
    std::printf(" %s\n  datagrams %zu (target %d +- 1)%s\n", name, at.size(), expected,
                std::abs(int(at.size()) - expected) <= 1 ? "" : "  MISSED");
    Bench::printSummary("|interval - 100 ms|", Bench::summarize(deviation), "ms", 2);
    Bench::printSummary("grid offset: arrival - n x 100 ms", Bench::summarize(grid), "ms", 2);
    std::printf("  grid drift %+.2f ms/min, offset of the last datagram %+.2f ms\n", Bench::slope(n, grid) * 60,
                grid.empty() ? 0.0 : grid.back());
}

bool phase(const char* title, double seconds, bool loaded)
{
    Bench::heading(std::string("Status datagram cadence, ") + title + ", " + std::to_string(int(seconds)) + " s");
    std::unique_ptr<Bench::CpuLoad> load;
    if (loaded) {
        load = std::make_unique<Bench::CpuLoad>(seconds + 5);
        std::printf("  load: %zu spinning threads\n", load->threads());
    }
    // The probe runs the same span in a process of its own, under the same load.
    StallProbe::Child probe("/proc/self/exe", seconds + 0.6);
    const double stealBefore = StallProbe::stealMs();
    Sender precise(1, Qt::PreciseTimer);
    Sender coarse(2, Qt::CoarseTimer);
    Peer precisePeer(Datagram::hostPort(1));
    Peer coarsePeer(Datagram::hostPort(2));
    if (!precisePeer.ok() || !coarsePeer.ok()) {
        std::printf("  cannot bind the peer ports on 127.0.0.1\n");
        return false;
    }
    for (Sender* s : {&precise, &coarse}) {
        s->startNs = Bench::monoNs();
        if (!s->rig.start(s->car)) {
            std::printf("  car %d: Start did not start a run (port taken?)\n", s->car);
            return false;
        }
    }
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000) + 300, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    precise.rig.stop();
    coarse.rig.stop();
    precisePeer.finish();
    coarsePeer.finish();
    const StallProbe::Seen seen = probe.finish();
    const double steal = StallProbe::stealMs() - stealBefore;
    if (load)
        load->stop();
    report("Time_SendData on the view's binding (PreciseTimer)", precisePeer.arrivals(), precise.startNs, seconds);
    report("  the same window, at its send handler's call", precise.sendCalls, precise.startNs, seconds);
    report("same, CoarseTimer  (baseline)", coarsePeer.arrivals(), coarse.startNs, seconds);
    std::printf(" Stalls: the window thread against a bare timer program and the machine (steal %.0f ms)\n", steal);
    StallProbe::report(seen, precise.sendCalls, precise.startNs, 8);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--stall-probe") == 0)
        return StallProbe::runChild(std::atof(argv[2]));
    const auto opt = Bench::Options::parse(argc, argv, "--seconds: length of each phase (60)");
    QCoreApplication app(argc, argv);
    raiseThreadPriority(ThreadUrgency::Raised);  // as the program does
    std::printf("bench_status: %s\n", Bench::machineLine().c_str());
    const double seconds = opt.duration(60, 3);
    bool ok = phase("idle", seconds, false);
    ok = phase("all cores loaded", seconds, true) && ok;
    return ok ? 0 : 1;
}

#include "platform/thread_priority.h"
#include "platform/linux/tick_thread_timer.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 elapsedTicks(Clock::time_point from, Clock::time_point to, int periodMs)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count() / periodMs;
}

// Waits until the counter reaches at least target: the timer thread may be scheduled late on
// a loaded machine, but must catch up. The limit only ends a wait that would hang.
void waitFor(const std::atomic<int>& counter, qint64 target)
{
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (counter.load() < target && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The timer's schedule starts on its own thread, at some moment between timeSetEvent and the
// first callback one period later. Ticks due by a moment are therefore at least the periods
// from that first callback on, plus the first, and at most the periods since timeSetEvent
// was called; checks on these bounds hold however late any thread runs.
struct TickCount {
    std::atomic<int> ticks{0};
    std::atomic<Clock::rep> firstAt{0};

    void tick()
    {
        if (ticks.fetch_add(1) == 0)
            firstAt = Clock::now().time_since_epoch().count();
    }
    Clock::time_point first() const { return Clock::time_point(Clock::duration(firstAt.load())); }
};

// Counts up to a moment after the test's wait, then checks that every period due by then was
// counted, none ahead of time.
void checkCountedUpTo(TickCount& count, Clock::time_point before, int periodMs)
{
    waitFor(count.ticks, 1);
    QVERIFY(count.ticks.load() >= 1);
    const auto mark = Clock::now();
    const qint64 due = elapsedTicks(count.first(), mark, periodMs) + 1;
    waitFor(count.ticks, due);
    const int counted = count.ticks.load();
    const auto readAt = Clock::now();
    const qint64 upper = elapsedTicks(before, readAt, periodMs);
    QVERIFY2(counted >= due && counted <= upper,
             qPrintable(QStringLiteral("%1 ticks, expected %2..%3").arg(counted).arg(due).arg(upper)));
}

} // namespace

class TestTickThreadTimer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countsElapsedTime();
    void losesNoTickAfterStall();
    void killStopsCallbacks();
    void identifiersAndRefusals();
    void destructorStopsAll();
    void runsAheadOfOrdinaryThreads();
};

void TestTickThreadTimer::countsElapsedTime()
{
    TickThreadTimer timer;
    TickCount count;
    const auto before = Clock::now();
    const int32_t id = timer.timeSetEvent(10, [&] { count.tick(); });
    QVERIFY(id != 0);

    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    checkCountedUpTo(count, before, 10);
    timer.timeKillEvent(id);
}

void TestTickThreadTimer::losesNoTickAfterStall()
{
    TickThreadTimer timer;
    TickCount count;
    std::atomic<bool> stallOver{false};
    const auto before = Clock::now();
    const int32_t id = timer.timeSetEvent(10, [&] {
        count.tick();
        // One callback blocks for 300 ms: the thirty periods it covers must still be counted.
        if (count.ticks.load() == 20 && !stallOver) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            stallOver = true;
        }
    });
    QVERIFY(id != 0);

    // Judged once the stall is over, whenever the machine let it happen.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!stallOver && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QVERIFY(stallOver.load());
    checkCountedUpTo(count, before, 10);
    timer.timeKillEvent(id);
}

void TestTickThreadTimer::killStopsCallbacks()
{
    TickThreadTimer timer;
    std::atomic<int> ticks{0};
    const int32_t id = timer.timeSetEvent(1, [&] { ++ticks; });
    waitFor(ticks, 5);
    timer.timeKillEvent(id);
    const int atKill = ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QCOMPARE(ticks.load(), atKill);
    timer.timeKillEvent(id);  // a second kill of the same timer is harmless

    // A timer may end itself from its own callback without deadlock. Its first ticks may come
    // before its identifier is known here; it ends itself at the first tick that knows it.
    std::atomic<int32_t> selfId{0};
    std::atomic<int> selfTicks{0};
    std::atomic<int> atSelfKill{0};
    selfId = timer.timeSetEvent(1, [&] {
        const int tick = ++selfTicks;
        const int32_t me = selfId.load();
        if (tick >= 3 && me != 0 && atSelfKill.load() == 0) {
            atSelfKill = tick;
            timer.timeKillEvent(me);
        }
    });
    waitFor(atSelfKill, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QCOMPARE(selfTicks.load(), atSelfKill.load());
}

void TestTickThreadTimer::identifiersAndRefusals()
{
    TickThreadTimer timer;
    QCOMPARE(timer.timeSetEvent(0, [] {}), 0);
    QCOMPARE(timer.timeSetEvent(10, {}), 0);
    const int32_t a = timer.timeSetEvent(10, [] {});
    const int32_t b = timer.timeSetEvent(10, [] {});
    QVERIFY(a != 0 && b != 0 && a != b);
    timer.timeKillEvent(a);
    timer.timeKillEvent(b);
    timer.timeKillEvent(12345);
}

void TestTickThreadTimer::destructorStopsAll()
{
    std::atomic<int> ticks{0};
    {
        TickThreadTimer timer;
        timer.timeSetEvent(1, [&] { ++ticks; });
        timer.timeSetEvent(2, [&] { ++ticks; });
        waitFor(ticks, 10);
    }
    const int atEnd = ticks.load();
    QVERIFY(atEnd >= 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    QCOMPARE(ticks.load(), atEnd);
}

QTEST_GUILESS_MAIN(TestTickThreadTimer)
void TestTickThreadTimer::runsAheadOfOrdinaryThreads()
{
    if (geteuid() != 0)
        QSKIP("only a privileged process may raise a thread's priority");
    TickThreadTimer timer;
    std::atomic<int> policy{-1};
    std::atomic<int> nice{0};
    std::atomic<int> ticks{0};
    const int32_t id = timer.timeSetEvent(10, [&] {
        if (ticks.fetch_add(1) == 0) {
            sched_param param{};
            int p = -1;
            pthread_getschedparam(pthread_self(), &p, &param);
            nice.store(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
            policy.store(p);
        }
    });
    waitFor(ticks, 2);
    timer.timeKillEvent(id);
    QVERIFY(ticks.load() >= 2);
    // Real-time where the kernel grants it to us, else at least a raised nice value.
    QVERIFY2(policy.load() == SCHED_FIFO || nice.load() < 0,
             qPrintable(QStringLiteral("policy %1, nice %2").arg(policy.load()).arg(nice.load())));

    // The thread that started the timer keeps its own priority.
    int own = -1;
    sched_param ownParam{};
    pthread_getschedparam(pthread_self(), &own, &ownParam);
    QCOMPARE(own, SCHED_OTHER);

    // The window thread's level: a raised nice value for that thread alone, never real-time.
    const int ownNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    int raisedNice = 0;
    int raisedPolicy = -1;
    int inheritedNice = 1;
    int resetNice = 1;
    bool raised = false;
    std::thread([&] {
        raised = raiseThreadPriority(ThreadUrgency::Raised);
        raisedNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        sched_param param{};
        pthread_getschedparam(pthread_self(), &raisedPolicy, &param);
        // A thread it starts inherits the raise, and can put itself back among the ordinary.
        std::thread([&] {
            inheritedNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            resetThreadPriority();
            resetNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        }).join();
    }).join();
    QVERIFY(raised);
    QVERIFY(raisedNice < 0);
    QCOMPARE(inheritedNice, raisedNice);
    QCOMPARE(resetNice, 0);
    QCOMPARE(raisedPolicy, SCHED_OTHER);
    QCOMPARE(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), ownNice);
}

#include "test_tick_thread_timer.moc"

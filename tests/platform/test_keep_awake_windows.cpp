// What the Windows keep-awake asks of SetThreadExecutionState, recorded in its place: continuous
// system and display use, set on a thread of the run's own and cleared from that same thread at
// release, and at destruction for a run never released. A plain program without Qt, run on
// Windows (or under Wine).

#include "platform/windows/keep_awake_win.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct Call {
    unsigned long flags;
    DWORD thread;
};

/// The calls made, in order; waitFor lets the caller see a call made by another thread.
class Recorder {
public:
    unsigned long operator()(unsigned long flags)
    {
        const std::lock_guard lock(m_mutex);
        m_calls.push_back({flags, GetCurrentThreadId()});
        m_changed.notify_all();
        return ES_CONTINUOUS;
    }
    std::vector<Call> waitFor(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_calls.size() >= count; });
        return m_calls;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
};

int failures = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

} // namespace

int main()
{
    constexpr unsigned long kHold = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
    Recorder recorder;
    {
        WindowsKeepAwake keepAwake([&recorder](unsigned long flags) { return recorder(flags); });
        keepAwake.hold();
        keepAwake.hold();  // held already: nothing more
        std::vector<Call> calls = recorder.waitFor(1);
        check(calls.size() == 1 && calls[0].flags == kHold, "the run sets continuous system and display use");
        check(calls.size() == 1 && calls[0].thread != GetCurrentThreadId(), "on a thread of the run's own");
        keepAwake.release();
        keepAwake.release();  // released already: nothing more
        calls = recorder.waitFor(2);
        check(calls.size() == 2 && calls[1].flags == ES_CONTINUOUS && calls[1].thread == calls[0].thread,
              "release clears it from the run's thread");
        keepAwake.hold();  // the next run, ended by the program's end
        check(recorder.waitFor(3).size() == 3, "the next run sets it again");
    }
    const std::vector<Call> calls = recorder.waitFor(4);
    check(calls.size() == 4 && calls[3].flags == ES_CONTINUOUS && calls[3].thread == calls[2].thread,
          "the end clears a run never released");
    std::printf("%s: %d failed\n", failures ? "FAIL" : "PASS", failures);
    return failures ? 1 : 0;
}

#pragma once

#include "platform/keep_awake.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

/// Keeps a Windows PC and its display awake for a run: a thread that lives for the run sets
/// its execution state to continuous system and display use, and clears it as the run ends.
/// Windows drops the state with the thread, and with the process however it ends.
class WindowsKeepAwake : public IKeepAwake {
public:
    /// SetThreadExecutionState, or a stand-in that records what the thread asks.
    using StateSetter = std::function<unsigned long(unsigned long flags)>;

    /// Windows' own SetThreadExecutionState.
    WindowsKeepAwake();
    /// setState in place of SetThreadExecutionState.
    explicit WindowsKeepAwake(StateSetter setState);
    /// Clears the state, ending the run's thread.
    ~WindowsKeepAwake() override;
    WindowsKeepAwake(const WindowsKeepAwake&) = delete;
    WindowsKeepAwake& operator=(const WindowsKeepAwake&) = delete;

    void hold() override;
    void release() override;

private:
    StateSetter m_setState;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_holding = false;
    std::thread m_thread;
};

#include "platform/windows/keep_awake_win.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

WindowsKeepAwake::WindowsKeepAwake()
    : WindowsKeepAwake([](unsigned long flags) -> unsigned long { return SetThreadExecutionState(flags); })
{
}

WindowsKeepAwake::WindowsKeepAwake(StateSetter setState) : m_setState(std::move(setState)) {}

WindowsKeepAwake::~WindowsKeepAwake()
{
    release();
}

void WindowsKeepAwake::hold()
{
    if (m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_holding = true;
    }
    // The state is the thread's: it holds while the thread lives, so the thread lives for the run
    // and does nothing else.
    m_thread = std::thread([this] {
        m_setState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return !m_holding; });
        lock.unlock();
        m_setState(ES_CONTINUOUS);
    });
}

void WindowsKeepAwake::release()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_holding = false;
    }
    m_released.notify_one();
    // The thread has only its last call to make: the window thread waits for that, not for the OS
    // to do anything slow.
    m_thread.join();
}

#include "ui/window_frame.h"

#include <QWidget>

namespace {
// The window manager frames a window within a few event-loop turns of the map; two seconds
// of looking covers a loaded machine without watching for ever.
constexpr int kPollMs = 50;
constexpr int kPolls = 40;
} // namespace

WindowFrame::WindowFrame(QWidget& window, std::function<void(QSize)> grown)
    : QObject(&window), m_window(window), m_grown(std::move(grown))
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        check();
        if (--m_pollsLeft <= 0)
            m_poll.stop();
    });
}

void WindowFrame::measure()
{
    m_window.winId();
    m_extra = m_window.frameGeometry().size() - m_window.size();
}

void WindowFrame::watchAfterShow()
{
    m_pollsLeft = kPolls;
    m_poll.start();
}

void WindowFrame::check()
{
    if (!m_window.isVisible())
        return;
    const QSize extra = m_window.frameGeometry().size() - m_window.size();
    if (extra == m_extra)
        return;
    const QSize growth = extra - m_extra;
    m_extra = extra;
    if (m_grown)
        m_grown(growth);
}

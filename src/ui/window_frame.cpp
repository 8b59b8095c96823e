#include "ui/window_frame.h"

#include "client/client_window.h"
#include "ui/twips.h"

#include <QWidget>

namespace {
// The window manager frames a window within a few event-loop turns of the map; two seconds
// of looking covers a loaded machine without watching for ever.
constexpr int kPollMs = 50;
constexpr int kPolls = 40;
} // namespace

WindowFrame::WindowFrame(QWidget& window, std::function<void(QSize)> grown,
                         std::function<QPoint()> wanted)
    : QObject(&window), m_window(window), m_grown(std::move(grown)), m_wanted(std::move(wanted))
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        check();
        if (--m_pollsLeft <= 0)
            m_poll.stop();
    });
}

void WindowFrame::loadAndShow(FormModel& form, int dpiX, int dpiY, const std::function<void()>& load)
{
    // A frame the window manager adds only after the show is handled when it appears.
    measure();
    const QRect outer = m_window.frameGeometry();
    form.outerWidth = Twips::fromPx(outer.width(), dpiX);
    form.outerHeight = Twips::fromPx(outer.height(), dpiY);
    load();
    m_window.show();
    watchAfterShow();
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
    if (extra != m_extra) {
        const QSize growth = extra - m_extra;
        m_extra = extra;
        if (m_grown)
            m_grown(growth);
    }
    // A window manager may place the window by its client area although the frame was asked
    // for (its title bar then stands above the screen), depending on when it learns of the
    // frame: the position is checked, not assumed.
    if (m_wanted) {
        const QPoint want = m_wanted();
        if (m_window.frameGeometry().topLeft() != want)
            m_window.move(want);
    }
}

// The client window filling the screen: the layout drawn at one factor, fonts included.
#include "ui/client_view.h"

#include "ui/large_text_label.h"
#include "ui/twips.h"

#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {
// How often and how long a filling window looks for a frame put round it after the show.
constexpr int kFillWatchMs = 50;
constexpr int kFillWatchPolls = 100;
} // namespace

void ClientView::setFill(bool fill)
{
    m_fill = fill;
    // F11 is ours only once filling was asked for: without it the window keeps the keys it had.
    m_fillKey = m_fillKey || fill;
    applyScale();
    if (isVisible())
        mirrorForm();
}

void ClientView::setSideRoom(int px)
{
    m_sideRoom = std::max(0, px);
    applyScale();
    if (isVisible())
        mirrorForm();
}

bool ClientView::applyScale()
{
    double scale = 1.0;
    if (m_fill && screen()) {
        // Where the platform knows the frame as soon as the native window exists, the fit
        // takes it into account from the start; elsewhere it comes with the frame's growth.
        winId();
        const QSize room = screen()->availableGeometry().size() - QSize(m_sideRoom, 0);
        scale = Twips::fillFactor(QSize(m_layout.clientWidth, m_layout.clientHeight),
                                  frameExtra(), room, m_dpiX, m_dpiY);
    }
    if (scale == m_scale)
        return false;
    m_scale = scale;
    // The fonts scale with the geometry: the large captions are drawn afresh at their new
    // size, never stretched from smaller images.
    setFont(scaledFont(LayoutFont{}));
    resize(clientPxSize());
    for (std::size_t i = 0; i < kClientControlCount; ++i) {
        const auto c = ClientControl(i);
        const ControlLayout& lay = m_layout[c];
        if (lay.kind == ControlKind::Label) {
            // A caption condensed to fit is fitted afresh from the scaled font.
            static_cast<LargeTextLabel*>(m_widgets[i])->setDesignFont(scaledFont(lay.font));
            mirrorLabel(c);
        } else {
            m_widgets[i]->setFont(scaledFont(lay.font));
            m_widgets[i]->setGeometry(pxRect(lay.left, lay.top, lay.width, lay.height));
        }
    }
    if (isVisible())
        centreAcross();
    return true;
}

void ClientView::centreAcross()
{
    // As the load centres a window, from the outer size it has now: switching back and forth
    // lands on the same pixel each time.
    m_window.Form.outerWidth = Twips::fromPx(width() + frameExtra().width(), m_dpiX);
    m_window.Form.outerHeight = Twips::fromPx(height() + frameExtra().height(), m_dpiY);
    // A filling window leaves its side room free and is centred in what is left.
    const int side = m_fill ? Twips::fromPx(m_sideRoom, m_dpiX) : 0;
    const double left =
        (double(m_window.pub().Pub_ScreenWidth) - side - double(m_window.Form.outerWidth)) / 2.0;
    m_window.Form.move(int(std::lround(left)), m_window.Form.top());
}

QSize ClientView::frameExtra() const
{
    // The platform window's own margins: the widget's copy is refreshed only by a later move
    // or resize, and a window manager may set the frame after the last of those.
    const QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return {m.left() + m.right(), m.top() + m.bottom()};
}

void ClientView::watchFrameForFill()
{
    // A frame that comes after the show takes its room from a filling layout when it comes.
    m_fillWatch.setInterval(kFillWatchMs);
    connect(&m_fillWatch, &QTimer::timeout, this, [this, polls = 0]() mutable {
        if (m_fill)
            applyScale();
        if (++polls >= kFillWatchPolls)
            m_fillWatch.stop();
    });
    m_fillWatch.start();
}

void ClientView::keyPressEvent(QKeyEvent* event)
{
    // The controls leave F11 unused, so it reaches the window whichever control has the focus.
    if (m_fillKey && event->key() == Qt::Key_F11 && !event->isAutoRepeat()) {
        setFill(!m_fill);
        return;
    }
    QWidget::keyPressEvent(event);
}

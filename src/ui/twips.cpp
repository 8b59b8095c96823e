#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace Twips {

int toPx(int twips, double dpi)
{
    return int(std::lround(double(twips) * dpi / 1440.0));
}

int fromPx(int px, double dpi)
{
    return int(std::lround(double(px) * 1440.0 / dpi));
}

QRect toPxRect(int left, int top, int width, int height, double dpiX, double dpiY)
{
    const int x1 = toPx(left, dpiX);
    const int y1 = toPx(top, dpiY);
    const int x2 = toPx(left + width, dpiX);
    const int y2 = toPx(top + height, dpiY);
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

QSize screenSize(const QScreen* screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // With high-DPI scaling the screen reports scaled pixels at a scaled resolution; going
    // back to device pixels and the real resolution avoids rounding the size twice.
    const double ratio = screen->devicePixelRatio();
    const QSize px = screen->size();
    const int deviceWidth = int(std::lround(px.width() * ratio));
    const int deviceHeight = int(std::lround(px.height() * ratio));
    return QSize(fromPx(deviceWidth, screen->logicalDotsPerInchX() * ratio),
                 fromPx(deviceHeight, screen->logicalDotsPerInchY() * ratio));
}

double fillFactor(QSize clientTwips, QSize framePx, QSize availablePx, double dpiX, double dpiY)
{
    const double width = double(clientTwips.width()) * dpiX / 1440.0;
    const double height = double(clientTwips.height()) * dpiY / 1440.0;
    if (width <= 0 || height <= 0)
        return 1.0;
    const double room = std::min(double(availablePx.width() - framePx.width()) / width,
                                 double(availablePx.height() - framePx.height()) / height);
    // A screen too small for even the frame leaves nothing to fit: the window keeps its size.
    return room > 0 ? room : 1.0;
}

} // namespace Twips

#pragma once

#include <QRect>
#include <QSize>

class QScreen;

/// Conversions between twips (1/1440 inch) and pixels at a given resolution.
namespace Twips {

/// Pixels for a position in twips: round(twips * dpi / 1440).
int toPx(int twips, double dpi);
/// Twips for a length in pixels: round(px * 1440 / dpi).
int fromPx(int px, double dpi);
/// The pixel rectangle of a control placed in twips; each edge is converted on its own so
/// that neighbours that touch in twips touch in pixels.
QRect toPxRect(int left, int top, int width, int height, double dpiX, double dpiY);
/// The size of screen (the primary screen when null) in twips.
QSize screenSize(const QScreen* screen = nullptr);
/// The one factor by which a client area of clientTwips (at dpiX, dpiY) grows or shrinks to
/// the largest size that, with a frame of framePx around it, fits availablePx; aspect kept.
double fillFactor(QSize clientTwips, QSize framePx, QSize availablePx, double dpiX, double dpiY);

} // namespace Twips

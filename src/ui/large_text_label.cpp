#include "ui/large_text_label.h"

#include "ui/caption_fit.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {
// Captions of the large labels are a handful of characters; a longer text goes to QLabel.
constexpr qsizetype kMaxCharacters = 40;
// Colours, characters and offsets seen by one label stay few; this only bounds a surprise,
// whatever the size of the font.
constexpr qint64 kMaxImageBytes = 32 * 1024 * 1024;
// Room round a glyph's ink for the antialiased edge and the sub-pixel offset.
constexpr int kInkMargin = 2;

// Sub-pixel steps per pixel. A quarter pixel matters on a glyph of 64 pixels; on one of several
// hundred (a scaled window) it cannot be seen, and finer steps would only multiply the images.
// Offsets are kept in quarter pixels whatever the steps.
constexpr int kQuarters = 4;
int stepsFor(int pixelSize) { return pixelSize < 128 ? kQuarters : pixelSize < 256 ? 2 : 1; }

int step(qreal fraction, int steps) { return std::clamp(int(std::lround(fraction * steps)), 0, steps); }
} // namespace

void LargeTextLabel::setDesignFont(const QFont& font)
{
    m_designFont = font;
    setFont(font);
    refit();
}

void LargeTextLabel::refit()
{
    if (!m_designFont)
        return;
    const QString t = text();
    const int width = contentsRect().width();
    if (font() == *m_designFont && !m_designFont->italic() && isPlainLine(t)) {
        // The quick measure from the characters' own metrics: the advance, or the ink where a
        // glyph reaches past it.
        const Placement p = place(t);
        qreal left = 0, right = p.width;
        for (qsizetype i = 0; i < t.size(); ++i) {
            const QRectF ink = inkOf(t.at(i));
            left = std::min(left, p.pen[std::size_t(i)] - p.pen.front() + ink.left());
            right = std::max(right, p.pen[std::size_t(i)] - p.pen.front() + ink.right());
        }
        if (right - left > width)
            setFont(CaptionFit::condensedTo(*m_designFont, right - left, width));
    } else {
        const QFont fitted = CaptionFit::condensed(*m_designFont, t, width);
        if (!(fitted == font()))
            setFont(fitted);
    }
    fitHeight();
}

void LargeTextLabel::fitHeight()
{
    const QString t = text();
    const QRect cr = contentsRect();
    const int height = cr.height();
    m_lift = 0;
    if (!isPlainLine(t) || height <= 2)
        return;
    // Each smaller size is measured again: hinting rounds the ink to whole pixels.
    for (int round = 0; round < 4; ++round) {
        qreal top = 0, bottom = 0;
        for (QChar c : t) {
            const QRectF ink = inkOf(c);
            top = std::min(top, ink.top());
            bottom = std::max(bottom, ink.bottom());
        }
        // Rows the ink may touch, from the top of the contents: the glyphs stand on the
        // baseline's whole pixel, and a sub-pixel offset adds a row below.
        const qreal baseline = std::floor(baselineOffset());
        const int first = int(baseline + top), last = int(baseline + bottom);
        const bool ownImages = fitsCache(t);
        // The label's own images are clipped to the contents; QLabel's text only by the
        // widget's edge, so it may reach into a frame.
        const int above = ownImages ? 0 : cr.top(), below = ownImages ? 0 : rect().bottom() - cr.bottom();
        if (first >= -above && last <= height - 1 + below)
            return;
        if (last - first <= height - 1 && ownImages) {
            // The substitute faces set the baseline lower than the faces the windows were
            // sized for; where the ink is no taller than the label, moving it keeps the size.
            // A row is left free at the edge it came from where there is room for it.
            m_lift = last > height - 1 ? std::min(last - (height - 2), first) : std::max(first - 1, last - (height - 1));
            return;
        }
        // Taller than the label, or drawn by QLabel, which places it by the alignment alone.
        const int size = QFontInfo(font()).pixelSize();
        const qreal scale = qreal(height - 3) / std::max(last - first, last);
        QFont smaller = font();
        smaller.setPixelSize(std::max(1, std::min(size - 1, int(std::floor(size * scale)))));
        setFont(smaller);
    }
}

qreal LargeTextLabel::baselineOffset() const
{
    const QFontMetricsF fm(font());
    const int height = contentsRect().height();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    qreal top = 0;
    if (align & Qt::AlignBottom)
        top = height - fm.height();
    else if (align & Qt::AlignVCenter)
        top = (height - fm.height()) / 2;
    return top + fm.ascent();
}

void LargeTextLabel::setCaption(const QString& t)
{
    if (t == text())
        return;
    const QFont before = font();
    const QString old = text();
    // Updates held off from outside (a parent's setUpdatesEnabled) are left as they are.
    const bool partial = isVisible() && updatesEnabled() && fitsCache(old);
    // The old placement is taken before the text changes; the font may change with the text.
    const Placement was = partial ? place(old) : Placement{};
    if (!partial) {
        setText(t);
        refit();
        return;
    }
    // QLabel repaints its whole area on a new text; the characters that did not change are
    // already on screen, and repainting the rest is most of the cost of a run on an X server.
    setAttribute(Qt::WA_UpdatesDisabled, true);
    setText(t);
    refit();
    setAttribute(Qt::WA_UpdatesDisabled, false);
    if (!(font() == before) || !fitsCache(t)) {
        update();
        return;
    }
    const Placement now = place(t);
    QRegion dirty;
    for (qsizetype i = 0; i < std::max(old.size(), t.size()); ++i) {
        const bool same = i < old.size() && i < t.size() && old.at(i) == t.at(i) && was.pen[i] == now.pen[i]
                          && was.baseline == now.baseline;
        if (same)
            continue;
        if (i < old.size())
            dirty += inkRect(old, i, was);
        if (i < t.size())
            dirty += inkRect(t, i, now);
    }
    update(dirty & contentsRect());
}

bool LargeTextLabel::drawsFromCache() const
{
    return fitsCache(text());
}

bool LargeTextLabel::isPlainLine(const QString& t)
{
    if (t.isEmpty() || t.size() > kMaxCharacters)
        return false;
    // One character, one glyph: no line breaks, no marks that join the character before them,
    // nothing outside the basic plane, no right-to-left script.
    for (QChar c : t) {
        if (c == u'\n' || c == u'\r' || c.isSurrogate() || c.isMark() || c.direction() == QChar::DirR
            || c.direction() == QChar::DirAL)
            return false;
    }
    return true;
}

bool LargeTextLabel::fitsCache(const QString& t) const
{
    if (textFormat() != Qt::PlainText || indent() > 0 || margin() != 0 || layoutDirection() == Qt::RightToLeft)
        return false;
    if (m_pixelSize < 0)
        m_pixelSize = QFontInfo(font()).pixelSize();
    if (m_pixelSize < kLargePixelSize || !isPlainLine(t))
        return false;
    qreal width = 0;
    for (QChar c : t)
        width += advance(c);
    // A caption wider than the label is wrapped by QLabel.
    return width <= contentsRect().width();
}

qreal LargeTextLabel::advance(QChar c) const
{
    auto found = m_advances.constFind(c.unicode());
    if (found == m_advances.constEnd())
        found = m_advances.insert(c.unicode(), QFontMetricsF(font()).horizontalAdvance(c));
    return *found;
}

QRectF LargeTextLabel::inkOf(QChar c) const
{
    auto found = m_inks.constFind(c.unicode());
    if (found == m_inks.constEnd())
        found = m_inks.insert(c.unicode(), QFontMetricsF(font()).boundingRect(c));
    return *found;
}

LargeTextLabel::Placement LargeTextLabel::place(const QString& t) const
{
    Placement p;
    p.pen.reserve(std::size_t(t.size()));
    // The characters of the data faces neither kern nor join, so each stands at the sum of
    // the advances before it, where QLabel puts it too.
    for (QChar c : t) {
        p.pen.push_back(p.width);
        p.width += advance(c);
    }
    const QRect cr = contentsRect();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    qreal x = cr.left();
    if (align & Qt::AlignRight)
        x = cr.left() + cr.width() - p.width;
    else if (align & Qt::AlignHCenter)
        x = cr.left() + (cr.width() - p.width) / 2;
    for (qreal& pen : p.pen)
        pen += x;
    p.baseline = cr.top() + baselineOffset() - m_lift;
    return p;
}

QRect LargeTextLabel::inkRect(const QString& t, qsizetype i, const Placement& p) const
{
    const QRectF ink = inkOf(t.at(i));
    return ink.translated(std::floor(p.pen[std::size_t(i)]), std::floor(p.baseline))
        .toAlignedRect()
        .adjusted(-kInkMargin, -kInkMargin, kInkMargin + 1, kInkMargin + 1);
}

void LargeTextLabel::paintEvent(QPaintEvent* event)
{
    if (!drawsFromCache()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);

    const QString t = text();
    const Placement p = place(t);
    const QColor color = palette().color(foregroundRole());
    const QRect cr = contentsRect();
    painter.setClipRect(cr);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar ch = t.at(i);
        // A repaint of a few changed characters leaves the others alone.
        if (ch.isSpace() || !event->region().intersects(inkRect(t, i, p)))
            continue;
        const qreal gx = p.pen[std::size_t(i)];
        const qreal fx = std::floor(gx);
        const qreal fy = std::floor(p.baseline);
        const int steps = stepsFor(m_pixelSize);
        const int quarters = kQuarters / steps;
        const Glyph& g = glyph(ch, color, step(gx - fx, steps) * quarters, step(p.baseline - fy, steps) * quarters);
        painter.drawImage(QPoint(int(fx) + g.offset.x(), int(fy) + g.offset.y()), g.image);
    }
}

const LargeTextLabel::Glyph& LargeTextLabel::glyph(QChar ch, QColor color, int dx, int dy)
{
    const Key key{ch.unicode(), color.rgba(), quint8(dx), quint8(dy)};
    auto found = m_images.constFind(key);
    if (found != m_images.constEnd())
        return *found;
    if (m_imageBytes >= kMaxImageBytes) {
        m_images.clear();
        m_imageBytes = 0;
    }

    // The ink of the glyph from its pen position, with a margin for the antialiased edge and
    // the sub-pixel offset. Rendered at the device's pixel ratio, so it stays sharp at any size.
    const QRect box = QFontMetricsF(font()).boundingRect(ch).toAlignedRect().adjusted(
        -kInkMargin, -kInkMargin, kInkMargin + 1, kInkMargin + 1);
    const qreal dpr = devicePixelRatioF();
    Glyph g;
    g.offset = box.topLeft();
    g.image = QImage(box.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    g.image.setDevicePixelRatio(dpr);
    g.image.fill(Qt::transparent);
    {
        QPainter p(&g.image);
        p.setFont(font());
        p.setPen(color);
        p.drawText(QPointF(-box.left() + qreal(dx) / kQuarters, -box.top() + qreal(dy) / kQuarters), QString(ch));
    }
    m_imageBytes += g.image.sizeInBytes();
    return *m_images.insert(key, g);
}

void LargeTextLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        dropMetrics();
    QLabel::changeEvent(event);
}

void LargeTextLabel::dropMetrics()
{
    m_images.clear();
    m_imageBytes = 0;
    m_advances.clear();
    m_inks.clear();
    m_pixelSize = -1;
}

void LargeTextLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

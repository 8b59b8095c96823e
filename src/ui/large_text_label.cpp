#include "ui/large_text_label.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace {
// Captions of the large labels are a handful of characters; a longer text goes to QLabel.
constexpr qsizetype kMaxCharacters = 40;
// Colours, characters and offsets seen by one label stay few; this only bounds a surprise.
constexpr qsizetype kMaxImages = 1024;
constexpr int kSteps = 4;  // sub-pixel steps per pixel

int step(qreal fraction) { return std::clamp(int(std::lround(fraction * kSteps)), 0, kSteps); }
} // namespace

bool LargeTextLabel::drawsFromCache() const
{
    if (textFormat() != Qt::PlainText || text().isEmpty() || text().size() > kMaxCharacters)
        return false;
    if (QFontInfo(font()).pixelSize() < kLargePixelSize || indent() > 0 || margin() != 0)
        return false;
    if (layoutDirection() == Qt::RightToLeft)
        return false;
    // One character, one glyph: no line breaks, no marks that join the character before them,
    // nothing outside the basic plane, no right-to-left script.
    for (QChar c : text()) {
        if (c == u'\n' || c == u'\r' || c.isSurrogate() || c.isMark() || c.direction() == QChar::DirR
            || c.direction() == QChar::DirAL)
            return false;
    }
    const QFontMetricsF fm(font());
    // A caption wider than the label is wrapped by QLabel.
    return fm.horizontalAdvance(text()) <= contentsRect().width();
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
    const QRect cr = contentsRect();
    const QFontMetricsF fm(font());
    const qreal width = fm.horizontalAdvance(t);
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    qreal x = cr.left();
    if (align & Qt::AlignRight)
        x = cr.left() + cr.width() - width;
    else if (align & Qt::AlignHCenter)
        x = cr.left() + (cr.width() - width) / 2;
    qreal top = cr.top();
    if (align & Qt::AlignBottom)
        top = cr.top() + cr.height() - fm.height();
    else if (align & Qt::AlignVCenter)
        top = cr.top() + (cr.height() - fm.height()) / 2;
    const qreal baseline = top + fm.ascent();
    const QColor color = palette().color(foregroundRole());

    painter.setClipRect(cr);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar ch = t.at(i);
        if (ch.isSpace())
            continue;
        // Positions from the advance of the whole prefix keep the spacing QLabel gives.
        const qreal gx = x + (i == 0 ? 0.0 : fm.horizontalAdvance(t.left(i)));
        const qreal fx = std::floor(gx);
        const qreal fy = std::floor(baseline);
        int dx = step(gx - fx);
        int dy = step(baseline - fy);
        const Glyph& g = glyph(ch, color, dx, dy);
        painter.drawImage(QPoint(int(fx) + g.offset.x(), int(fy) + g.offset.y()), g.image);
    }
}

const LargeTextLabel::Glyph& LargeTextLabel::glyph(QChar ch, QColor color, int dx, int dy)
{
    const Key key{ch.unicode(), color.rgba(), quint8(dx), quint8(dy)};
    auto found = m_images.constFind(key);
    if (found != m_images.constEnd())
        return *found;
    if (m_images.size() >= kMaxImages)
        m_images.clear();

    // The ink of the glyph from its pen position, with a margin for the antialiased edge and
    // the sub-pixel offset.
    const QRect box = QFontMetricsF(font()).boundingRect(ch).toAlignedRect().adjusted(-2, -2, 3, 3);
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
        p.drawText(QPointF(-box.left() + qreal(dx) / kSteps, -box.top() + qreal(dy) / kSteps), QString(ch));
    }
    return *m_images.insert(key, g);
}

void LargeTextLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_images.clear();
    QLabel::changeEvent(event);
}

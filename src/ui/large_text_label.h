#pragma once

#include <QHash>
#include <QImage>
#include <QLabel>

#include <optional>
#include <vector>

/// A label for the figures of the client window (lap time, blinking lap, lap number, ...).
/// The raster engine caches glyphs only up to 64 pixels; larger text is filled as outlines on
/// every paint, which made the lap time, repainted ten times a second, the main cost of a run.
/// This label draws each character of a large single-line text from images of its own,
/// rendered once per character, colour and sub-pixel offset, and a new caption repaints only
/// the characters that changed. Any other text (small, wrapped, rich) is painted by QLabel.
/// A caption wider than the label is condensed until it fits, never cut; a line whose ink
/// reaches past the label's top or bottom is moved, or made smaller where it is taller.
class LargeTextLabel : public QLabel {
public:
    using QLabel::QLabel;

    /// Pixel size from which the label draws from its own images.
    static constexpr int kLargePixelSize = 64;

    /// The font as designed; captions too wide for the label are drawn in it condensed.
    void setDesignFont(const QFont& font);
    /// Shows text, condensed if it is too wide; repaints only the characters that changed.
    void setCaption(const QString& text);

    /// True when the next paint will use the label's own images.
    bool drawsFromCache() const;
    /// Number of character images held.
    int cachedImages() const { return int(m_images.size()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Key {
        char16_t ch;
        QRgb color;
        quint8 dx;  ///< horizontal offset in quarter pixels
        quint8 dy;  ///< vertical offset in quarter pixels
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& k, size_t seed) { return qHashMulti(seed, k.ch, k.color, k.dx, k.dy); }

    struct Glyph {
        QImage image;
        QPoint offset;  ///< top left of the image from the pen position, in pixels
    };
    const Glyph& glyph(QChar ch, QColor color, int dx, int dy);

    /// Where each character of a single-line text stands: pen positions, baseline, width.
    struct Placement {
        std::vector<qreal> pen;
        qreal baseline = 0;
        qreal width = 0;
    };
    Placement place(const QString& t) const;
    qreal advance(QChar c) const;
    QRectF inkOf(QChar c) const;
    /// The pixels that character i of t, placed at p, may ink.
    QRect inkRect(const QString& t, qsizetype i, const Placement& p) const;
    /// Whether t is one line of characters that each draw as one glyph of their own.
    static bool isPlainLine(const QString& t);
    /// Whether t can be drawn from the images, in the current font and size.
    bool fitsCache(const QString& t) const;
    void refit();
    void fitHeight();
    /// Distance of the baseline from the top of the contents, as the alignment puts it.
    qreal baselineOffset() const;
    void dropMetrics();

    QHash<Key, Glyph> m_images;
    qint64 m_imageBytes = 0;
    std::optional<QFont> m_designFont;
    // Metrics of the current font, kept because a caption changes ten times a second and
    // shaping the whole text for every measure was most of the cost of a change.
    mutable QHash<char16_t, qreal> m_advances;
    mutable QHash<char16_t, QRectF> m_inks;
    mutable int m_pixelSize = -1;
    int m_lift = 0;  ///< pixels the line is drawn higher than its alignment puts it
};

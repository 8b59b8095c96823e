#pragma once

#include <QHash>
#include <QImage>
#include <QLabel>

/// A label for the large figures of the client window (lap time, blinking lap, lap number).
/// The raster engine caches glyphs only up to 64 pixels; larger text is filled as outlines on
/// every paint, which made the lap time, repainted ten times a second, the main cost of a run.
/// This label draws each character of a large single-line text from images of its own,
/// rendered once per character, colour and sub-pixel offset. Any other text (small, wrapped,
/// rich) is painted by QLabel.
class LargeTextLabel : public QLabel {
public:
    using QLabel::QLabel;

    /// Pixel size from which the label draws from its own images.
    static constexpr int kLargePixelSize = 64;

    /// True when the next paint will use the label's own images.
    bool drawsFromCache() const;
    /// Number of character images held.
    int cachedImages() const { return int(m_images.size()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

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

    QHash<Key, Glyph> m_images;
};

#include "ui/caption_fit.h"

#include <QFontMetricsF>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace CaptionFit {

QFont condensed(QFont font, const QString& text, int width)
{
    if (text.isEmpty() || width <= 0)
        return font;
    const QFontMetricsF metrics(font);
    qreal needed = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        needed = std::max({needed, metrics.boundingRect(line).width(), metrics.horizontalAdvance(line)});
    return condensedTo(font, needed, width);
}

QFont condensedTo(QFont font, qreal needed, int width)
{
    // An italic face leans past its advance at the last letter, and stretching rounds to whole
    // percent: both are allowed for so that the last letter is never cut.
    if (font.italic())
        needed += QFontMetricsF(font).height() * 0.25;
    if (needed > width && width > 0) {
        const int stretch = font.stretch() > 0 ? font.stretch() : int(QFont::Unstretched);
        font.setStretch(std::max(1, int(stretch * width / needed) - 1));
    }
    return font;
}

QString elidedRuns(const QString& text, const QFont& font, int width)
{
    // Japanese text breaks between any two characters; a run of ASCII without a space does not,
    // and would stretch its box past the screen's edge.
    static const QRegularExpression run(QStringLiteral("[!-~]+"));
    const QFontMetricsF metrics(font);
    QString out;
    qsizetype from = 0;
    for (auto it = run.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        const QString word = m.captured();
        out += metrics.horizontalAdvance(word) > width ? metrics.elidedText(word, Qt::ElideMiddle, width) : word;
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

} // namespace CaptionFit

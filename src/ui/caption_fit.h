#pragma once

#include <QFont>
#include <QString>

/// Captions wider than their label are condensed, never cut: the substitute faces run wider
/// than the faces the windows were sized for, and some texts (three-digit lap numbers, long
/// differences) cannot fit at their stated size at all.
namespace CaptionFit {

/// font, condensed horizontally just enough for the widest line of text to fit width pixels;
/// font unchanged when the text already fits.
QFont condensed(QFont font, const QString& text, int width);
/// font, condensed so that a text needing needed pixels in it fits width pixels.
QFont condensedTo(QFont font, qreal needed, int width);

/// text with every run of ASCII letters, digits and signs (an address, which a line cannot
/// break) wider than width pixels in font shortened in the middle with an ellipsis.
QString elidedRuns(const QString& text, const QFont& font, int width);

} // namespace CaptionFit

#pragma once

#include "layouts/layout_types.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

/// The fixed look of every window: style, palette, fonts and colours independent of the desktop.
namespace Appearance {

/// Maps the two Japanese Gothic face names onto installed faces; call before any widget exists.
void installFontSubstitutions();
/// Gives the application the Fusion style, the fixed palette and the default window font.
void applyFixedLook();
/// The palette every window starts from, whatever the desktop theme says.
QPalette fixedPalette();
/// The value of one of the named system colours in the fixed palette.
QColor systemColor(SystemColor c);
/// The colour a layout states; invalid for transparent.
QColor toQColor(const LayoutColor& c);
/// The font a layout states, normal weight.
QFont toQFont(const LayoutFont& f);
/// A label's alignment: the horizontal one stated, text at the top as labels draw it.
Qt::Alignment labelAlignment(Alignment a);
/// Caption text for display: a carriage return, with or without line feed, breaks the line.
QString displayText(const QString& caption);

} // namespace Appearance

#include "ui/appearance.h"

#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

#include <cstring>

namespace Appearance {

namespace {
// The classic desktop values the windows were designed against.
const QColor kButtonFace(0xF0, 0xF0, 0xF0);
const QColor kButtonText(0x00, 0x00, 0x00);
const QColor kWindow(0xFF, 0xFF, 0xFF);
const QColor kWindowText(0x00, 0x00, 0x00);
const QColor kGrayText(0x6D, 0x6D, 0x6D);
const QColor kHighlight(0x00, 0x78, 0xD7);
} // namespace

void installFontSubstitutions()
{
    // IPA first: the setup installs it; the others only help where it is missing.
    QFont::insertSubstitutions(QString::fromUtf8(FontFace::Gothic),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("TakaoGothic"),
                                QStringLiteral("VL Gothic"), QStringLiteral("Droid Sans Fallback")});
    QFont::insertSubstitutions(QString::fromUtf8(FontFace::PGothic),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("TakaoPGothic"),
                                QStringLiteral("VL PGothic"), QStringLiteral("Droid Sans Fallback")});
}

QPalette fixedPalette()
{
    QPalette p(kButtonFace, kWindow);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::Window, kButtonFace);
        p.setColor(g, QPalette::WindowText, kWindowText);
        p.setColor(g, QPalette::Button, kButtonFace);
        p.setColor(g, QPalette::ButtonText, kButtonText);
        p.setColor(g, QPalette::Base, kWindow);
        p.setColor(g, QPalette::Text, kWindowText);
        p.setColor(g, QPalette::Highlight, kHighlight);
        p.setColor(g, QPalette::HighlightedText, kWindow);
    }
    p.setColor(QPalette::Disabled, QPalette::Window, kButtonFace);
    p.setColor(QPalette::Disabled, QPalette::Button, kButtonFace);
    p.setColor(QPalette::Disabled, QPalette::Base, kButtonFace);
    p.setColor(QPalette::Disabled, QPalette::WindowText, kGrayText);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, kGrayText);
    p.setColor(QPalette::Disabled, QPalette::Text, kGrayText);
    return p;
}

void applyFixedLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(fixedPalette());
    QApplication::setFont(toQFont(LayoutFont{}));
}

QColor systemColor(SystemColor c)
{
    switch (c) {
    case SystemColor::ButtonFace:
        return kButtonFace;
    case SystemColor::ButtonText:
        return kButtonText;
    case SystemColor::Window:
        return kWindow;
    case SystemColor::WindowText:
        break;
    }
    return kWindowText;
}

QColor toQColor(const LayoutColor& c)
{
    switch (c.kind) {
    case LayoutColor::Kind::Fixed:
        return QColor::fromRgb(QRgb(c.rgb));
    case LayoutColor::Kind::System:
        return systemColor(c.system);
    case LayoutColor::Kind::Transparent:
        break;
    }
    return {};
}

QFont toQFont(const LayoutFont& f)
{
    QFont font;
    font.setFamilies({QString::fromUtf8(f.face)});
    // If no substitute is installed at all, the hint still keeps the data displays fixed-pitch.
    font.setStyleHint(std::strcmp(f.face, FontFace::Gothic) == 0 ? QFont::TypeWriter : QFont::SansSerif);
    font.setPointSizeF(f.points);
    font.setWeight(QFont::Normal);
    font.setItalic(f.italic);
    return font;
}

Qt::Alignment labelAlignment(Alignment a)
{
    switch (a) {
    case Alignment::Left:
        return Qt::AlignLeft | Qt::AlignTop;
    case Alignment::Center:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Alignment::Right:
        break;
    }
    return Qt::AlignRight | Qt::AlignTop;
}

QString displayText(const QString& caption)
{
    QString text = caption;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace Appearance

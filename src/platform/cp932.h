#pragma once

#include <QByteArray>
#include <QString>

/// Text in Windows code page 932 (the Windows Shift-JIS table), converted as Windows converts
/// it, stateless per call: wraps the Qt-free conversion of cp932_codec.h.
namespace Cp932 {

/// Decodes code page 932 bytes; a lone lead byte, or a pair without a character, becomes U+FFFD.
QString decode(const QByteArray& bytes);

/// Encodes text as code page 932; a UTF-16 unit that has no code becomes '?'.
QByteArray encode(const QString& text);

} // namespace Cp932

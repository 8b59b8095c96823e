#pragma once

#include <QByteArray>
#include <QString>

/// Text in Windows code page 932 (the Windows Shift-JIS table), stateless per call.
namespace Cp932 {

/// Decodes code page 932 bytes; a byte sequence that is not valid becomes U+FFFD.
QString decode(const QByteArray& bytes);

/// Encodes text as code page 932; a character that has no code becomes '?'.
QByteArray encode(const QString& text);

} // namespace Cp932

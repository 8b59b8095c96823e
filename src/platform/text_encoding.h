#pragma once

#include <QByteArray>
#include <QString>

/// The encodings the program's own text files are found in: code page 932 as it writes them,
/// or UTF-8 as an editor on this system may save them.
namespace TextEncoding {

/// How a file's bytes are to be read, and written back.
enum class Kind { Cp932, Utf8, Utf8WithBom };

/// UTF-8 when the bytes start with the UTF-8 byte-order mark, or when they hold non-ASCII bytes
/// and all of them are strict UTF-8; otherwise code page 932.
Kind detect(const QByteArray& bytes);

/// Number of leading bytes that are the byte-order mark of kind (3 or 0).
qsizetype bomLength(Kind kind);

/// Decodes bytes (without a byte-order mark) in kind; invalid bytes become U+FFFD.
QString decode(Kind kind, const QByteArray& bytes);

/// Encodes text in kind, without a byte-order mark.
QByteArray encode(Kind kind, const QString& text);

/// The whole file's text: detected, the byte-order mark dropped, decoded.
QString decodeFile(const QByteArray& bytes);

} // namespace TextEncoding

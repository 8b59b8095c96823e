#include "platform/text_encoding.h"

#include "platform/cp932.h"

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF). Returns false for
// pure ASCII, which reads the same either way.
bool isUtf8WithNonAscii(const QByteArray& bytes)
{
    bool nonAscii = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int more = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= more; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        }
        i += 1 + more;
    }
    return nonAscii;
}

} // namespace

namespace TextEncoding {

// Japanese CP932 text practically never passes the strict check: the lead bytes of kana and
// most kanji (0x81-0x9F) cannot start a UTF-8 sequence, so the first such character after
// ASCII or a line start fails it.
Kind detect(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf8Bom))
        return Kind::Utf8WithBom;
    return isUtf8WithNonAscii(bytes) ? Kind::Utf8 : Kind::Cp932;
}

qsizetype bomLength(Kind kind)
{
    return kind == Kind::Utf8WithBom ? kUtf8Bom.size() : 0;
}

QString decode(Kind kind, const QByteArray& bytes)
{
    return kind == Kind::Cp932 ? Cp932::decode(bytes) : QString::fromUtf8(bytes);
}

QByteArray encode(Kind kind, const QString& text)
{
    return kind == Kind::Cp932 ? Cp932::encode(text) : text.toUtf8();
}

QString decodeFile(const QByteArray& bytes)
{
    const Kind kind = detect(bytes);
    return decode(kind, bytes.mid(bomLength(kind)));
}

} // namespace TextEncoding

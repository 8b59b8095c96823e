#include "platform/cp932.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

// Qt keeps QChar in host byte order; iconv must produce exactly that layout so the output
// buffer can be handed to QString without a copy.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char* kUtf16 = "UTF-16LE";
#else
constexpr const char* kUtf16 = "UTF-16BE";
#endif

constexpr char16_t kReplacement = 0xFFFD;

// One conversion descriptor per thread and direction: iconv_open is far too slow for the
// per-datagram path, and a descriptor must never be shared between threads. CP932 is
// stateless, but every call still resets the descriptor so a failed call cannot leak state.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle()
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return m_cd;
    }

private:
    iconv_t m_cd;
};

Converter& decoder()
{
    thread_local Converter conv(kUtf16, "CP932");
    return conv;
}

Converter& encoder()
{
    thread_local Converter conv("CP932", kUtf16);
    return conv;
}

bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isAscii(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

namespace Cp932 {

QString decode(const QByteArray& bytes)
{
    // The lap reports are almost all ASCII: skip iconv entirely for them. CP932 maps every
    // byte below 0x80 to the same code point (0x5C stays the backslash in the Windows table).
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);

    Converter& conv = decoder();
    if (!conv.valid())
        return QString(bytes.size(), QChar(kReplacement));

    // Every byte yields at most one UTF-16 unit (a pair yields one, a bad byte one U+FFFD).
    QString out(bytes.size(), Qt::Uninitialized);
    iconv_t cd = conv.handle();
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* const outBegin = reinterpret_cast<char*>(out.data());
    char* outPtr = outBegin;
    size_t outLeft = size_t(out.size()) * sizeof(char16_t);

    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen with the size above; stop rather than loop
        // EILSEQ (no such character) or EINVAL (a lead byte cut off at the end).
        const auto b = static_cast<unsigned char>(*in);
        size_t skip = 1;
        // A lead byte with a non-ASCII trail that has no character swallows both bytes;
        // an ASCII byte after a lead byte is kept as itself.
        if (errno == EILSEQ && isLeadByte(b) && inLeft >= 2) {
            const auto t = static_cast<unsigned char>(in[1]);
            if (t >= 0x80 && t <= 0xFC)
                skip = 2;
        }
        const char16_t rep = kReplacement;
        memcpy(outPtr, &rep, sizeof rep);
        outPtr += sizeof rep;
        outLeft -= sizeof rep;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.truncate(int((outPtr - outBegin) / qsizetype(sizeof(char16_t))));
    return out;
}

QByteArray encode(const QString& text)
{
    if (isAscii(text))
        return text.toLatin1();

    Converter& conv = encoder();
    if (!conv.valid())
        return QByteArray(text.size(), '?');

    // Every UTF-16 unit yields at most two bytes.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    iconv_t cd = conv.handle();
    char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.constData()));
    size_t inLeft = size_t(text.size()) * sizeof(char16_t);
    char* const outBegin = out.data();
    char* outPtr = outBegin;
    size_t outLeft = size_t(out.size());

    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            break;
        // A character without a code, or a lone surrogate: one '?' per character, so a
        // valid surrogate pair (always unmappable here) becomes a single '?'.
        char16_t unit;
        memcpy(&unit, in, sizeof unit);
        size_t skip = sizeof(char16_t);
        if (QChar::isHighSurrogate(unit) && inLeft >= 2 * sizeof(char16_t)) {
            char16_t next;
            memcpy(&next, in + sizeof(char16_t), sizeof next);
            if (QChar::isLowSurrogate(next))
                skip *= 2;
        }
        *outPtr++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.truncate(outPtr - outBegin);
    return out;
}

} // namespace Cp932

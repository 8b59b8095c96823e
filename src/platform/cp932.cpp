#include "platform/cp932.h"

#include "platform/cp932_codec.h"

namespace Cp932 {

QString decode(const QByteArray& bytes)
{
    // One byte or one pair gives one UTF-16 unit, so the byte count bounds the result.
    QString out(bytes.size(), Qt::Uninitialized);
    const std::size_t n = decodeInto(bytes.constData(), std::size_t(bytes.size()), reinterpret_cast<char16_t*>(out.data()));
    out.truncate(qsizetype(n));
    return out;
}

QByteArray encode(const QString& text)
{
    QByteArray out(2 * text.size(), Qt::Uninitialized);
    const std::size_t n = encodeInto(reinterpret_cast<const char16_t*>(text.constData()), std::size_t(text.size()), out.data());
    out.truncate(qsizetype(n));
    return out;
}

} // namespace Cp932

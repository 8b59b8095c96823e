// The leading-number parse of the lap report's number fields, against a reference written
// from the rule itself: blanks dropped everywhere, then sign, digits, point and digits, the
// value rounded half to even and kept only when it fits 32 bits.

#include "client/datagram.h"
#include "fuzz_support.h"
#include "platform/cp932.h"

#include <cstdio>
#include <optional>

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

std::optional<int64_t> reference(const QString& field)
{
    QString s;
    for (QChar c : field)
        if (!isBlank(c))
            s.append(c);

    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-'))
        negative = s.at(i++) == u'-';
    QString whole;
    while (i < s.size() && isDigit(s.at(i)))
        whole.append(s.at(i++));
    QString fraction;
    if (i < s.size() && s.at(i) == u'.') {
        ++i;
        while (i < s.size() && isDigit(s.at(i)))
            fraction.append(s.at(i++));
    }

    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    // More than 12 significant digits cannot be a 32-bit value, whatever the rounding does.
    if (whole.size() > 12)
        return std::nullopt;
    int64_t magnitude = whole.isEmpty() ? 0 : whole.toLongLong();
    if (!fraction.isEmpty()) {
        const QChar first = fraction.at(0);
        const bool overHalf = first > u'5' || (first == u'5' && fraction.size() > 1);
        const bool exactlyHalf = fraction == QLatin1String("5");
        if (overHalf || (exactlyHalf && magnitude % 2 != 0))
            ++magnitude;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString field = Cp932::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const std::optional<int32_t> got = Datagram::parseLeadingNumber(field);
    const std::optional<int64_t> want = reference(field);
    if (got.has_value() != want.has_value() || (got && *got != *want)) {
        FuzzSupport::dump("field", field);
        std::fprintf(stderr, "parsed %s%lld, reference %s%lld\n", got ? "" : "(none) ",
                     got ? static_cast<long long>(*got) : 0LL, want ? "" : "(none) ",
                     want ? static_cast<long long>(*want) : 0LL);
        FUZZ_CHECK(false);
    }
    // The lap number's three columns always give a value.
    FUZZ_CHECK(Datagram::parseLeadingNumber(field.left(3)).has_value());
    return 0;
}

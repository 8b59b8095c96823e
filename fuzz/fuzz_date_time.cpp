// The date and time texts of the lap report. An accepted text is a valid date or time whose
// figures are the text's own, and writing the value back in any accepted form reads the same.

#include "client/datagram.h"
#include "fuzz_support.h"
#include "platform/cp932.h"

#include <QStringList>

namespace {

using FuzzSupport::isBlank;
using FuzzSupport::trimBlanks;

bool asciiDigits(const QString& s, int minLength, int maxLength)
{
    if (s.size() < minLength || s.size() > maxLength)
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

void checkDate(const QString& text)
{
    const auto date = Datagram::parseDateText(text);
    if (!date)
        return;
    FUZZ_CHECK(date->isValid());
    const QString core = trimBlanks(text);
    // The figures come from the text: four-digit year, same separator twice.
    const QChar sep = core.size() > 4 ? core.at(4) : QChar();
    FUZZ_CHECK(sep == u'/' || sep == u'-' || sep == u'.');
    const QStringList parts = core.split(sep);
    if (parts.size() != 3) {
        FuzzSupport::dump("accepted date", text);
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(asciiDigits(parts[0], 4, 4) && asciiDigits(parts[1], 1, 2) && asciiDigits(parts[2], 1, 2));
    FUZZ_CHECK(parts[0].toInt() == date->year());
    FUZZ_CHECK(parts[1].toInt() == date->month());
    FUZZ_CHECK(parts[2].toInt() == date->day());

    for (const char* form : {"yyyy/MM/dd", "yyyy-M-d", "yyyy.MM.d"}) {
        const QString written = date->toString(QString::fromLatin1(form));
        FUZZ_CHECK(Datagram::parseDateText(written) == date);
        FUZZ_CHECK(Datagram::parseDateText(QStringLiteral(" \t") + written + QStringLiteral("\t ")) == date);
    }
    // The lap report's date column is ten characters wide and must hold the written form.
    FUZZ_CHECK(date->toString(QStringLiteral("yyyy/MM/dd")).size() == 10);
}

void checkTime(const QString& text)
{
    const auto time = Datagram::parseTimeText(text);
    if (!time)
        return;
    FUZZ_CHECK(time->isValid());
    FUZZ_CHECK(time->msec() == 0);
    const QStringList parts = trimBlanks(text).split(u':');
    if (parts.size() != 3) {
        FuzzSupport::dump("accepted time", text);
        FUZZ_CHECK(false);
    }
    for (const QString& p : parts)
        FUZZ_CHECK(asciiDigits(p, 1, 2));
    FUZZ_CHECK(parts[0].toInt() == time->hour());
    FUZZ_CHECK(parts[1].toInt() == time->minute());
    FUZZ_CHECK(parts[2].toInt() == time->second());

    for (const char* form : {"HH:mm:ss", "H:m:s"}) {
        const QString written = time->toString(QString::fromLatin1(form));
        FUZZ_CHECK(Datagram::parseTimeText(written) == time);
    }
    FUZZ_CHECK(time->toString(QStringLiteral("HH:mm:ss")).size() == 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = Cp932::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    checkDate(text);
    checkTime(text);
    // The lap report hands the parsers its fixed columns; cut the text the same way.
    checkDate(Datagram::column(text, 1, 10));
    checkTime(Datagram::column(text, 1, 8));
    return 0;
}

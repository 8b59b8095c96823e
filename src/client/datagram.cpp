#include "client/datagram.h"

#include <QRegularExpression>

namespace Datagram {

namespace {

const QString kCarTexts[] = {QStringLiteral("１号車"), QStringLiteral("２号車"), QStringLiteral("３号車"),
                             QStringLiteral("４号車"), QStringLiteral("５号車")};

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'); }

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// A number right-aligned in its column. A number wider than the column keeps its last
// characters, so every later column stays where the reader expects it.
QString numberColumn(int32_t value, int width)
{
    const QString digits = QString::number(value);
    if (digits.size() > width)
        return digits.right(width);
    return digits.rightJustified(width, QLatin1Char(' '));
}

} // namespace

int carOfText(const QString& text)
{
    for (int car = 1; car <= 5; ++car)
        if (text == kCarTexts[car - 1])
            return car;
    return 0;
}

QString carText(int car)
{
    return car >= 1 && car <= 5 ? kCarTexts[car - 1] : QString();
}

QString column(const QString& text, int first, int width)
{
    if (first < 1 || width <= 0 || first > text.size())
        return QString();
    return text.mid(first - 1, width);
}

std::optional<int32_t> parseLeadingNumber(const QString& field)
{
    bool negative = false;
    bool signAllowed = true;
    bool seenPoint = false;
    QString whole;
    QString fraction;
    for (const QChar c : field) {
        if (isBlank(c))
            continue;
        if (signAllowed && (c == QLatin1Char('+') || c == QLatin1Char('-'))) {
            negative = (c == QLatin1Char('-'));
            signAllowed = false;
        } else if (isDigit(c)) {
            (seenPoint ? fraction : whole).append(c);
            signAllowed = false;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            signAllowed = false;
        } else {
            break;
        }
    }

    // Work on the decimal digits themselves, so rounding is exact however long the field is.
    int firstSignificant = 0;
    while (firstSignificant < whole.size() && whole.at(firstSignificant) == QLatin1Char('0'))
        ++firstSignificant;
    whole = whole.mid(firstSignificant);
    if (whole.size() > 10)
        return std::nullopt;
    int64_t magnitude = 0;
    for (const QChar c : whole)
        magnitude = magnitude * 10 + (c.unicode() - '0');

    if (!fraction.isEmpty()) {
        const QChar head = fraction.at(0);
        const bool restNonZero = fraction.mid(1).contains(QRegularExpression(QStringLiteral("[1-9]")));
        if (head > QLatin1Char('5') || (head == QLatin1Char('5') && (restNonZero || magnitude % 2 == 1)))
            ++magnitude;
    }

    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return int32_t(value);
}

std::optional<QDate> parseDateText(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^[ \\t]*([0-9]{4})([/.-])([0-9]{1,2})\\2([0-9]{1,2})[ \\t]*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QTime> parseTimeText(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^[ \\t]*([0-9]{1,2}):([0-9]{1,2}):([0-9]{1,2})[ \\t]*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QTime time(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString statusText(int32_t lapNo, const QString& message)
{
    // The sign stands in front of the zero-filled digits, as a number format "000" writes it.
    const int64_t v = lapNo;
    const QString digits = QString::number(v < 0 ? -v : v).rightJustified(3, QLatin1Char('0'));
    return (v < 0 ? QStringLiteral("-") : QString()) + digits + message;
}

LapReportFields splitLapReport(const QString& text)
{
    LapReportFields f;
    f.kind = column(text, 1, 1);
    f.lapNo = column(text, 2, 3);
    f.lastLap = column(text, 5, 10);
    f.bestLap = column(text, 15, 10);
    f.aveLap = column(text, 25, 10);
    f.date = column(text, 35, 10);
    f.clock = column(text, 45, 8);
    f.endTime = column(text, 53, 8);
    f.hostText = text.size() > 60 ? text.mid(60) : QString();
    return f;
}

QString lapReportText(bool forced, int32_t lapNo, int32_t lastLap, int32_t bestLap, int32_t aveLap,
                      const QDate& date, const QTime& clock, const QTime& endTime,
                      const QString& hostText)
{
    // An invalid date or time leaves its columns blank, which the client cannot convert.
    const QString dateText = date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
    const QString clockText = clock.isValid() ? clock.toString(QStringLiteral("HH:mm:ss")) : QString();
    const QString endText = endTime.isValid() ? endTime.toString(QStringLiteral("HH:mm:ss")) : QString();
    return QString(forced ? QLatin1Char('C') : QLatin1Char(' ')) + numberColumn(lapNo, 3)
        + numberColumn(lastLap, 10) + numberColumn(bestLap, 10) + numberColumn(aveLap, 10)
        + dateText.leftJustified(10, QLatin1Char(' '), true)
        + clockText.leftJustified(8, QLatin1Char(' '), true)
        + endText.leftJustified(8, QLatin1Char(' '), true) + hostText;
}

} // namespace Datagram

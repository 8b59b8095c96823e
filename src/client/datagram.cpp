#include "client/datagram.h"

#include <QStringView>

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
    return columnView(text, first, width).toString();
}

QStringView columnView(const QString& text, int first, int width)
{
    if (first < 1 || width <= 0 || first > text.size())
        return QStringView();
    return QStringView(text).mid(first - 1, width);
}

std::optional<int32_t> parseLeadingNumber(QStringView field)
{
    // One pass over the characters: the whole part is accumulated until it cannot fit any
    // more, and of the fraction only what rounding needs is kept (its first digit and whether
    // any later digit is non-zero), so rounding is exact however long the field is.
    bool negative = false;
    bool signAllowed = true;
    bool seenPoint = false;
    bool tooLarge = false;
    int64_t magnitude = 0;
    int fractionHead = -1;
    bool restNonZero = false;
    for (const QChar c : field) {
        if (isBlank(c))
            continue;
        const char16_t u = c.unicode();
        if (signAllowed && (u == u'+' || u == u'-')) {
            negative = (u == u'-');
            signAllowed = false;
        } else if (isDigit(c)) {
            signAllowed = false;
            const int digit = u - u'0';
            if (!seenPoint) {
                if (!tooLarge) {
                    magnitude = magnitude * 10 + digit;
                    tooLarge = magnitude > int64_t(INT32_MAX) + 1;
                }
            } else if (fractionHead < 0) {
                fractionHead = digit;
            } else if (digit != 0) {
                restNonZero = true;
            }
        } else if (u == u'.' && !seenPoint) {
            seenPoint = true;
            signAllowed = false;
        } else {
            break;
        }
    }
    if (tooLarge)
        return std::nullopt;

    if (fractionHead > 5 || (fractionHead == 5 && (restNonZero || magnitude % 2 == 1)))
        ++magnitude;

    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return int32_t(value);
}

namespace {

// A small cursor over a date or time text: fields of digits, one separator between them,
// blanks (space, tab) allowed only around the whole text.
class TextCursor {
public:
    explicit TextCursor(QStringView text) : m_text(text)
    {
        while (m_pos < m_text.size() && isFieldBlank(m_text[m_pos]))
            ++m_pos;
        m_end = m_text.size();
        while (m_end > m_pos && isFieldBlank(m_text[m_end - 1]))
            --m_end;
    }
    // Reads minDigits to maxDigits digits; -1 when there are fewer.
    int number(int minDigits, int maxDigits)
    {
        int value = 0;
        int n = 0;
        while (n < maxDigits && m_pos < m_end && isDigit(m_text[m_pos])) {
            value = value * 10 + (m_text[m_pos].unicode() - u'0');
            ++m_pos;
            ++n;
        }
        return n >= minDigits ? value : -1;
    }
    // The separator character, or a null character at the end.
    QChar take() { return m_pos < m_end ? m_text[m_pos++] : QChar(); }
    bool atEnd() const { return m_pos == m_end; }

private:
    static bool isFieldBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

    QStringView m_text;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
};

} // namespace

std::optional<QDate> parseDateText(QStringView text)
{
    TextCursor in(text);
    const int year = in.number(4, 4);
    const QChar sep = in.take();
    if (year < 0 || (sep != QLatin1Char('/') && sep != QLatin1Char('-') && sep != QLatin1Char('.')))
        return std::nullopt;
    const int month = in.number(1, 2);
    if (month < 0 || in.take() != sep)
        return std::nullopt;
    const int day = in.number(1, 2);
    if (day < 0 || !in.atEnd())
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QTime> parseTimeText(QStringView text)
{
    TextCursor in(text);
    const int h = in.number(1, 2);
    if (h < 0 || in.take() != QLatin1Char(':'))
        return std::nullopt;
    const int m = in.number(1, 2);
    if (m < 0 || in.take() != QLatin1Char(':'))
        return std::nullopt;
    const int s = in.number(1, 2);
    if (s < 0 || !in.atEnd())
        return std::nullopt;
    const QTime time(h, m, s);
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

#include "sim_protocol.h"

#include "platform/cp932.h"

namespace SimProtocol {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A number right-aligned in a column of width characters; a longer one keeps its last digits
// so that the columns after it stay in place.
QString numberColumn(qint64 value, int width)
{
    const QString digits = QString::number(value);
    return digits.size() > width ? digits.right(width) : digits.rightJustified(width, u' ');
}

QString timeText(const QTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("HH:mm:ss")) : QString();
}

} // namespace

QString notRegistered()
{
    return QStringLiteral("未登録");
}

QString carName(int car)
{
    static const QString names[] = {QStringLiteral("１号車"), QStringLiteral("２号車"), QStringLiteral("３号車"),
                                    QStringLiteral("４号車"), QStringLiteral("５号車")};
    return car >= 1 && car <= 5 ? names[car - 1] : QString();
}

bool isDottedIPv4(QStringView text)
{
    int parts = 0;
    qsizetype i = 0;
    while (true) {
        const qsizetype start = i;
        int value = 0;
        while (i < text.size() && isDigit(text[i]) && i - start < 3)
            value = value * 10 + (text[i++].unicode() - u'0');
        const qsizetype digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == u'0'))
            return false;
        if (++parts == 4)
            return i == text.size();
        if (i >= text.size() || text[i] != u'.')
            return false;
        ++i;
    }
}

void splitStatus(const QString& text, int* lapNo, QString* message)
{
    const QStringView head = QStringView(text).left(3);
    bool digits = head.size() == 3;
    for (QChar c : head)
        digits = digits && isDigit(c);
    *lapNo = digits ? head.toInt() : -1;
    *message = text.mid(3);
}

StatusReading readStatus(const QByteArray& bytes)
{
    StatusReading r;
    r.text = Cp932::decode(bytes);
    // U+FFFD has no code in code page 932, so in the decoded text it can only stand for bytes
    // that are not a character.
    r.validCp932 = !r.text.contains(QChar(kReplacement));
    splitStatus(r.text, &r.lapNo, &r.message);
    return r;
}

QString LapReport::dateText() const
{
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QString LapReport::clockText() const
{
    return timeText(clock);
}

QString LapReport::endText() const
{
    return timeText(end);
}

QString LapReport::toText() const
{
    return QString(forced ? u'C' : u' ') + numberColumn(lapNo, 3) + numberColumn(lastMs, 10)
        + numberColumn(bestMs, 10) + numberColumn(aveMs, 10) + dateText().leftJustified(10, u' ', true)
        + clockText().leftJustified(8, u' ', true) + endText().leftJustified(8, u' ', true) + text;
}

QByteArray LapReport::encode() const
{
    return Cp932::encode(toText());
}

} // namespace SimProtocol

#include "client/time_format.h"

namespace {

// Formatting runs for every lap report and every display refresh, so the text is built in a
// small character buffer rather than through temporary strings.
class FieldWriter {
public:
    // A field of at least `digits` digits; a negative field keeps its own minus sign in front
    // of the zero-filled digits (-1 in two digits is "-01"). The magnitude is taken in 64 bits
    // so no 32-bit value can overflow.
    void field(int32_t value, int digits)
    {
        int64_t v = value;
        if (v < 0) {
            put('-');
            v = -v;
        }
        char reversed[20];
        int n = 0;
        do {
            reversed[n++] = char('0' + v % 10);
            v /= 10;
        } while (v != 0);
        for (int i = n; i < digits; ++i)
            put('0');
        while (n > 0)
            put(reversed[--n]);
    }
    void put(char c) { m_buf[m_len++] = c; }
    QString text() const { return QString::fromLatin1(m_buf, m_len); }

private:
    char m_buf[48];
    int m_len = 0;
};

// The two lap formats share their shape and differ only in the size of the trailing unit.
QString lapText(int32_t x, int32_t perSecond, int trailingDigits)
{
    // C++ division truncates toward zero and the remainder takes the dividend's sign, which is
    // what every field needs; no divisor is -1, so no quotient can overflow.
    const int32_t totalSeconds = x / perSecond;
    const int32_t minutes = totalSeconds / 60;
    const int32_t seconds = totalSeconds - minutes * 60;
    const int32_t fraction = x - totalSeconds * perSecond;
    FieldWriter w;
    w.field(minutes, 1);
    w.put('\'');
    w.field(seconds, 2);
    w.put('"');
    w.field(fraction, trailingDigits);
    return w.text();
}

} // namespace

QString Fmt_HMS(int32_t x)
{
    const int32_t totalMinutes = x / 60;
    const int32_t seconds = x - totalMinutes * 60;
    const int32_t hours = totalMinutes / 60;
    const int32_t minutes = totalMinutes - hours * 60;
    FieldWriter w;
    w.field(hours, 1);
    w.put(':');
    w.field(minutes, 2);
    w.put(':');
    w.field(seconds, 2);
    return w.text();
}

QString Fmt_LapCenti(int32_t x) { return lapText(x, 100, 2); }

QString Fmt_LapMilli(int32_t x) { return lapText(x, 1000, 3); }

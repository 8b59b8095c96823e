#include "client/time_format.h"

namespace {

// A field of at least `digits` digits; a negative field keeps its own minus sign in front of
// the zero-filled digits (-1 in two digits is "-01"). Fields here are always small, but the
// magnitude is taken in 64 bits so no value can overflow.
QString zeroFilled(int32_t value, int digits)
{
    const int64_t v = value;
    const QString body = QString::number(v < 0 ? -v : v).rightJustified(digits, QLatin1Char('0'));
    return v < 0 ? QLatin1Char('-') + body : body;
}

// The two lap formats share their shape and differ only in the size of the trailing unit.
QString lapText(int32_t x, int32_t perSecond, int trailingDigits)
{
    // C++ division truncates toward zero and the remainder takes the dividend's sign, which is
    // what every field needs; no divisor is -1, so no quotient can overflow.
    const int32_t totalSeconds = x / perSecond;
    const int32_t minutes = totalSeconds / 60;
    const int32_t seconds = totalSeconds - minutes * 60;
    const int32_t fraction = x - totalSeconds * perSecond;
    return QString::number(minutes) + QLatin1Char('\'') + zeroFilled(seconds, 2) + QLatin1Char('"')
        + zeroFilled(fraction, trailingDigits);
}

} // namespace

QString Fmt_HMS(int32_t x)
{
    const int32_t totalMinutes = x / 60;
    const int32_t seconds = x - totalMinutes * 60;
    const int32_t hours = totalMinutes / 60;
    const int32_t minutes = totalMinutes - hours * 60;
    return QString::number(hours) + QLatin1Char(':') + zeroFilled(minutes, 2) + QLatin1Char(':')
        + zeroFilled(seconds, 2);
}

QString Fmt_LapCenti(int32_t x) { return lapText(x, 100, 2); }

QString Fmt_LapMilli(int32_t x) { return lapText(x, 1000, 3); }

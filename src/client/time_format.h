#pragma once

#include <QString>
#include <cstdint>

/// Whole seconds as hours, ":", two-digit minutes, ":", two-digit seconds (90061 gives 25:01:01).
QString Fmt_HMS(int32_t seconds);

/// Hundredths of a second as minutes, "'", two-digit seconds, '"', two-digit hundredths.
QString Fmt_LapCenti(int32_t hundredths);

/// Thousandths of a second as minutes, "'", two-digit seconds, '"', three-digit thousandths.
QString Fmt_LapMilli(int32_t thousandths);

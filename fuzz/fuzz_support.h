#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

/// Ends the run with a report when an invariant does not hold; libFuzzer then keeps the input
/// as a crash artifact.
#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond))                                                                            \
            FuzzSupport::fail(__FILE__, __LINE__, #cond);                                       \
    } while (false)

/// Helpers shared by the fuzz targets.
namespace FuzzSupport {

/// The byte that separates records in a fuzz input; code page 932 never uses it.
constexpr char kSeparator = '\xFF';

/// Prints where and what failed, then aborts.
[[noreturn]] void fail(const char* file, int line, const char* what);

/// Prints a labelled text with its code points, for the report before a failing check.
void dump(const char* label, const QString& text);

/// A space or a tab, the blanks the parsers skip.
bool isBlank(QChar c);

/// The text without the blanks at either end.
QString trimBlanks(const QString& s);

/// Splits the input at every separator byte; an input without one is a single record.
QList<QByteArray> splitRecords(const uint8_t* data, size_t size);

/// A folder of this process, created on first use and removed when the process ends.
QString scratchFolder();

/// Replaces the file at path by bytes (created if missing).
void writeFile(const QString& path, const QByteArray& bytes);

/// The whole content of the file at path; empty when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace FuzzSupport

#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimBlanks(const QString& s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isBlank(s.at(from)))
        ++from;
    while (to > from && isBlank(s.at(to - 1)))
        --to;
    return s.mid(from, to - from);
}

void fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "FUZZ CHECK FAILED at %s:%d: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

void dump(const char* label, const QString& text)
{
    std::fprintf(stderr, "%s (%lld chars):", label, static_cast<long long>(text.size()));
    const qsizetype shown = std::min<qsizetype>(text.size(), 120);
    for (qsizetype i = 0; i < shown; ++i)
        std::fprintf(stderr, " %04X", text.at(i).unicode());
    std::fprintf(stderr, "%s\n", shown < text.size() ? " ..." : "");
}

QList<QByteArray> splitRecords(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size))
        .split(kSeparator);
}

QString scratchFolder()
{
    // One folder for the whole process: creating and removing a folder per input would cost
    // more than the code under test. Static, so its destructor removes it at exit. In memory
    // where possible: the atomic file writes sync to disk, which would dominate every run.
    static const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                                    : QDir::tempPath();
    static QTemporaryDir folder(base + QStringLiteral("/rivect-fuzz-XXXXXX"));
    if (!folder.isValid())
        fail(__FILE__, __LINE__, "no temporary folder");
    return folder.path();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(__FILE__, __LINE__, "cannot write the scratch file");
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace FuzzSupport

#include "laplog/lap_log_format.h"

#include "client/datagram.h"

#include <QStringList>

namespace LapLogFormat {

namespace {
const char kBom[] = "\xEF\xBB\xBF";
const QString kLocalMs = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
const QString kLocal = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
// Longest car text kept in a file name; a folder entry allows 255 bytes of UTF-8.
constexpr int kMaxCarText = 40;

// A free text that a spreadsheet would take for a formula (the host's text comes off the
// network) keeps a leading apostrophe, which shows it as the text it is.
QString textCell(const QString& text)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && kFormulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
}

QByteArray line(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& f : fields)
        quoted << field(f);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
} // namespace

QByteArray fileStart(const QStringList& extraColumns)
{
    const QStringList own = {QStringLiteral("received"), QStringLiteral("lap"), QStringLiteral("lap_ms"),
                             QStringLiteral("best_ms"), QStringLiteral("average_ms"), QStringLiteral("diff_ms"),
                             QStringLiteral("end_time"), QStringLiteral("host_text"), QStringLiteral("driver_message")};
    return QByteArray(kBom) + line(own + extraColumns);
}

QByteArray row(const LapLogRow& r)
{
    QStringList fields = {r.received.toString(kLocalMs), QString::number(r.lap), QString::number(r.lapMs),
                          QString::number(r.bestMs), QString::number(r.averageMs), QString::number(r.diffMs),
                          r.endTime ? r.endTime->toString(kLocal) : QString(), textCell(r.hostText),
                          textCell(r.driverMessage)};
    // The added columns carry names the crew typed (the roster) as well: guarded the same way.
    for (const QString& f : r.extra)
        fields << textCell(f);
    return line(fields);
}

QString field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\r'))
        && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString fileName(const QDateTime& start, const QString& carText)
{
    QString car;
    if (const int n = Datagram::carOfText(carText)) {
        car = QString::number(n);
    } else {
        // Characters that no file system of a pit PC takes, and controls, become '_'; a name
        // of dots alone would name a folder.
        for (const QChar c : carText.trimmed().left(kMaxCarText)) {
            const bool bad = c.unicode() < 0x20 || c == QChar(0x7F) || c.isSurrogate()
                || QStringLiteral("/\\:*?\"<>|").contains(c);
            car += bad ? QLatin1Char('_') : c;
        }
        if (car.isEmpty() || car.count(QLatin1Char('.')) == car.size())
            car = QStringLiteral("_");
    }
    return start.toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + QLatin1Char('_') + car + QStringLiteral(".csv");
}

} // namespace LapLogFormat

#include "lap_table.h"

#include <QStringDecoder>

QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool any = false;  // the record has begun, so a line end closes it
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u',') {
            record << field;
            field.clear();
            any = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            if (any || !field.isEmpty())
                records << (record << field);
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty())
        records << (record << field);
    return records;
}

namespace {

// The client keeps a text that a spreadsheet would take for a formula behind an apostrophe.
QString plainText(const QString& cell)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    return cell.size() > 1 && cell.front() == u'\'' && kFormulaStarts.contains(cell.at(1)) ? cell.mid(1) : cell;
}

} // namespace

LapTable readLapTable(const QByteArray& bytes)
{
    LapTable table;
    // The decoder drops the byte order mark that spreadsheet programs look for.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    const QList<QStringList> records = parseCsv(text);
    if (records.isEmpty()) {
        table.error = QStringLiteral("the file is empty");
        return table;
    }
    const QStringList& header = records.first();
    const QStringList names = {QStringLiteral("lap"), QStringLiteral("lap_ms"), QStringLiteral("best_ms"),
                               QStringLiteral("average_ms")};
    QList<qsizetype> at;
    for (const QString& name : names) {
        at << header.indexOf(name);
        if (at.last() < 0) {
            table.error = QStringLiteral("no column \"%1\" in the header row").arg(name);
            return table;
        }
    }
    const qsizetype stintAt = header.indexOf(QStringLiteral("stint"));
    const qsizetype driverAt = header.indexOf(QStringLiteral("driver"));
    const qsizetype pitAt = header.indexOf(QStringLiteral("pit"));
    table.stints = stintAt >= 0 && driverAt >= 0 && pitAt >= 0;
    // Every row the client writes ends with its line end; the file ends inside a row only
    // where writing stopped.
    const bool endsInsideRow = !text.endsWith(u'\n');
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QStringList& f = records.at(r);
        bool ok[4] = {};
        LapEntry e;
        const auto number = [&](int i) { return at[i] < f.size() ? f.at(at[i]).toLongLong(&ok[i]) : 0; };
        e.lap = int(number(0));
        e.lapMs = number(1);
        e.bestMs = number(2);
        e.averageMs = number(3);
        const bool torn = r == records.size() - 1 && endsInsideRow;
        if (torn && (f.size() < header.size() || !(ok[0] && ok[1] && ok[2] && ok[3]))) {
            table.warning = QStringLiteral("row %1 is cut short at the end of the file and is left out").arg(r + 1);
            break;
        }
        if (!(ok[0] && ok[1] && ok[2] && ok[3])) {
            table.error = QStringLiteral("row %1 is not a lap: %2").arg(r + 1).arg(f.join(QLatin1Char(',')));
            table.laps.clear();
            return table;
        }
        if (table.stints) {
            e.stint = f.value(stintAt).toInt();
            e.driver = plainText(f.value(driverAt));
            e.pit = f.value(pitAt);
        }
        table.laps << e;
    }
    unwrapLapNumbers(table.laps);
    return table;
}

void unwrapLapNumbers(QList<LapEntry>& laps)
{
    // The host counts laps in three digits. Each lap goes where it lies nearest to the lap
    // before on the chart: a drop of more than half the range is the count passing 999, and a
    // rise of more than half the range is the host correcting a lap back across that wrap.
    constexpr int kRange = 1000;
    int previous = 0;
    for (qsizetype i = 0; i < laps.size(); ++i) {
        int lap = laps[i].lap;
        if (i > 0) {
            lap += (previous - lap + kRange / 2) / kRange * kRange;
            if (lap < 0)
                lap += kRange;
        }
        laps[i].lap = previous = lap;
    }
}

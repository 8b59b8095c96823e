// rivect-laps on lap logs with and without the stint columns: --summary per driver (in- and
// out-laps out of the average) or for the whole run, and the chart's driver colours and rings.
#include "lap_chart.h"
#include "laplog/lap_log_format.h"
#include "laps_tool.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

/// A lap as a test writes it: lap time, and for a log with stints its stint, driver and pit.
struct Lap {
    qint64 lapMs;
    int stint = 0;
    QString driver = {};
    QString pit = {};
};

/// The log the client writes for laps, with the stint columns when stints.
QByteArray logOf(const QList<Lap>& laps, bool stints)
{
    QByteArray bytes = LapLogFormat::fileStart(
        stints ? QStringList{QStringLiteral("stint"), QStringLiteral("driver"), QStringLiteral("pit")} : QStringList());
    int n = 0;
    for (const Lap& l : laps) {
        LapLogRow r;
        r.received = QDateTime(QDate(2026, 5, 3), QTime(10, 0, 0)).addSecs(++n * 90);
        r.lap = n;
        r.lapMs = int32_t(l.lapMs);
        r.bestMs = r.averageMs = 80000;
        if (stints)
            r.extra = {QString::number(l.stint), l.driver, l.pit};
        bytes += LapLogFormat::row(r);
    }
    return bytes;
}

/// Runs the tool with arguments after the file's path; what it printed goes to out and err.
int runOn(const QByteArray& log, const QStringList& arguments, QString& out, QString& err, QTemporaryDir& dir)
{
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    QFile f(csv);
    if (!f.open(QIODevice::WriteOnly) || f.write(log) != log.size())
        return -1;
    f.close();
    QTextStream o(&out), e(&err);
    return runLapsTool(QStringList{QStringLiteral("rivect-laps"), csv} + arguments, o, e);
}

} // namespace

class LapsStintsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void summary_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("text");

        QTest::newRow("two drivers, one stop")
            << logOf({{80000, 1, "安藤"}, {78000, 1, "安藤"}, {90000, 1, "安藤", "in"},
                      {100000, 2, "Berg", "out"}, {79000, 2, "Berg"}, {81000, 2, "Berg"}},
                     true)
            << "安藤: laps 3  driving 0:04:08.000  best 1'18\"000  average 1'19\"000\n"
               "Berg: laps 3  driving 0:04:20.000  best 1'19\"000  average 1'20\"000\n"
               "stops 1\n";
        // A name the client kept behind an apostrophe reads back as typed; a driver who drove
        // only in- and out-laps has no average; each driver's stints add up.
        QTest::newRow("a stint of in- and out-laps only, a driver back for a second stint")
            << logOf({{90000, 1, "=Ann", "in"}, {100000, 2, "Berg", "out"}, {95000, 2, "Berg", "in"},
                      {99000, 3, "=Ann", "out"}, {80500, 3, "=Ann"}},
                     true)
            << "=Ann: laps 3  driving 0:04:29.500  best 1'20\"500  average 1'20\"500\n"
               "Berg: laps 2  driving 0:03:15.000  best 1'35\"000  average -\n"
               "stops 2\n";
        QTest::newRow("no roster, a run over an hour")
            << logOf({{3'000'000, 1}, {700'000, 1, "", "in"}, {200'000, 2, "", "out"}, {2'100'001, 2}}, true)
            << "(no name): laps 4  driving 1:40:00.001  best 3'20\"000  average 42'30\"000\n"
               "stops 1\n";
        QTest::newRow("a log without stints: the whole run")
            << logOf({{80000}, {78000}, {90000}}, false) << "laps 3  best 1'18\"000  average 1'22\"666\n";
    }
    void summary()
    {
        QFETCH(QByteArray, log);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QString out, err;
        QCOMPARE(runOn(log, {QStringLiteral("--summary")}, out, err, dir), 0);
        QCOMPARE(out, text);
        QCOMPARE(err, QString());
    }

    void chartColoursLapsByDriver()
    {
        const QList<Lap> laps = {{80000, 1, "安藤"}, {86000, 1, "安藤", "in"}, {95000, 2, "Berg", "out"},
                                 {79000, 2, "Berg"}, {81000, 3, "Cruz", "out"}};
        QTemporaryDir dir;
        QString out, err;
        const QString png = dir.filePath(QStringLiteral("run.png"));
        QCOMPARE(runOn(logOf(laps, true), {QStringLiteral("-o"), png, QStringLiteral("--size"), QStringLiteral("900x500")},
                       out, err, dir),
                 0);
        const QImage image(png);
        QCOMPARE(image.size(), QSize(900, 500));

        QList<LapEntry> entries;
        for (qsizetype i = 0; i < laps.size(); ++i)
            entries.append({int(i + 1), laps[i].lapMs, 80000, 80000, laps[i].stint, laps[i].driver, laps[i].pit});
        const LapChart chart(entries, QSize(900, 500));
        QCOMPARE(chart.drivers(), (QStringList{"安藤", "Berg", "Cruz"}));
        QCOMPARE(chart.header().legend.size(), 3 + 3);  // the drivers, the rings, best and average
        for (const LapEntry& e : entries) {
            const QPointF at = chart.pointAt(e.lap, double(e.lapMs));
            QCOMPARE(image.pixelColor(at.toPoint()), LapChart::driverColor(chart.drivers().indexOf(e.driver)));
            // The ring stands just outside the point (larger for a lap over the average), drawn
            // smooth: about where it runs, some pixel is darker than any driver's colour.
            const double ringAt = ((LapChart::overAverage(e) ? 7 : 5) + 4) * 500.0 / 720;
            int darkest = 3 * 255;
            for (int dy = -2; dy <= 2; ++dy) {
                const QRgb px = image.pixel(QPointF(at.x(), at.y() - ringAt + dy).toPoint());
                darkest = std::min(darkest, qRed(px) + qGreen(px) + qBlue(px));
            }
            QVERIFY2((darkest < 220) == e.pitLap(), qPrintable(QStringLiteral("lap %1: %2").arg(e.lap).arg(darkest)));
        }
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    LapsStintsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_laps_stints.moc"

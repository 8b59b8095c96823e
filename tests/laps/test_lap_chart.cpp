// rivect-laps on a small lap log as the client writes it (quoted host texts over two lines
// included): the chart's size, and the points and lines standing where the values put them.
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

// Whether this build has the SVG module (the Windows build has not).
constexpr bool kSvgWritten = LAPS_WRITE_SVG;

// lap, lap_ms, best_ms, average_ms; laps 3 and 5 are slower than the average.
const QList<LapEntry> kLaps = {
    {1, 83000, 83000, 83000}, {2, 81000, 81000, 82000}, {3, 84500, 81000, 82833},
    {4, 82000, 81000, 82625}, {5, 83500, 81000, 82800},
};

QByteArray logOf(const QList<LapEntry>& laps)
{
    QByteArray bytes = LapLogFormat::fileStart();
    for (const LapEntry& e : laps) {
        LapLogRow r;
        r.received = QDateTime(QDate(2026, 5, 3), QTime(10, 0, e.lap));
        r.lap = e.lap;
        r.lapMs = int32_t(e.lapMs);
        r.bestMs = int32_t(e.bestMs);
        r.averageMs = int32_t(e.averageMs);
        r.hostText = QStringLiteral("ピット,\"IN\"\r\n次の周");  // quoted, over two lines
        bytes += LapLogFormat::row(r);
    }
    return bytes;
}

/// Runs the tool on csv, drawing a 900x500 chart into out.
int run(const QString& csv, const QString& out)
{
    QString text;
    QTextStream o(&text), e(&text);
    return runLapsTool({"rivect-laps", csv, "-o", out, "--size", "900x500"}, o, e);
}

int distance(QRgb a, const QColor& b)
{
    return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue());
}

} // namespace

class LapChartTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void drawsThePointsWhereTheValuesSay()
    {
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("run.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(logOf(kLaps)) > 0);
        f.close();
        const QString png = dir.filePath(QStringLiteral("run.png"));
        QCOMPARE(run(csv, png), 0);
        const QImage image(png);
        QCOMPARE(image.size(), QSize(900, 500));

        const LapChart chart(kLaps, QSize(900, 500));
        // Later laps further right, slower laps higher, both in equal steps, all inside the axes.
        const QPointF a = chart.pointAt(1, 81000), b = chart.pointAt(2, 82000), c = chart.pointAt(3, 83000);
        QVERIFY(b.x() > a.x() && b.y() < a.y() && chart.plotArea().contains(chart.pointAt(3, 84500)));
        QVERIFY(qAbs((c - b).x() - (b - a).x()) < 1e-9 && qAbs((c - b).y() - (b - a).y()) < 1e-9);
        for (const LapEntry& e : kLaps) {
            const QPoint at = chart.pointAt(e.lap, double(e.lapMs)).toPoint();
            const QColor want = e.lap == 3 || e.lap == 5 ? LapChart::kOverColor : LapChart::kLapColor;
            QCOMPARE(image.pixelColor(at), want);
        }
        // The best line runs at 81000 from lap 2 on.
        const auto lineNear = [&](double lap, double ms, const QColor& c) {
            const QPoint at = chart.pointAt(lap, ms).toPoint();
            int best = 1000;
            for (int dy = -2; dy <= 2; ++dy)
                best = std::min(best, distance(image.pixel(at.x(), at.y() + dy), c));
            return best < 60;
        };
        QVERIFY(lineNear(3.5, 81000, LapChart::kBestColor));
        QVERIFY(!lineNear(3.5, 82000, LapChart::kBestColor));

        // A build without the SVG module says so and writes nothing.
        const QString svg = dir.filePath(QStringLiteral("run.svg"));
        QCOMPARE(run(csv, svg), kSvgWritten ? 0 : 1);
        QFile s(svg);
        QCOMPARE(s.open(QIODevice::ReadOnly) && s.readAll().contains("viewBox=\"0 0 900 500\""), kSvgWritten);
    }

    void readsWhatTheClientWrote()
    {
        const QByteArray five = logOf(kLaps);
        const QByteArray wrapped = logOf({{998, 83000, 81000, 82000}, {999, 82000, 81000, 82000},
                                          {0, 81500, 81000, 82000}, {1, 82500, 81000, 82000},
                                          {0, 82500, 81000, 82000}});
        const QByteArray corrected = logOf({{998, 83000, 81000, 82000}, {999, 82000, 81000, 82000},
                                            {0, 81500, 81000, 82000}, {999, 81500, 81000, 82000}});
        const qsizetype lastRow = five.indexOf("2026-05-03T10:00:05");  // where lap 5's row begins
        struct Case {
            const char* what;
            QByteArray bytes;
            QList<int> laps;  ///< the lap numbers on the chart; empty: an error
            bool warned;
        };
        const Case cases[] = {
            {"999 runs on; a lap taken again stays", wrapped, {998, 999, 1000, 1001, 1000}, false},
            {"a correction back across the wrap undoes it", corrected, {998, 999, 1000, 999}, false},
            {"last row cut in a number", five.left(lastRow + 30), {1, 2, 3, 4}, true},
            {"last row cut in its host text", five.left(five.size() - 20), {1, 2, 3, 4}, true},
            {"zeros where the last row should be", five.left(lastRow) + QByteArray(40, '\0'), {1, 2, 3, 4}, true},
            {"whole last row without its line end", five.chopped(2), {1, 2, 3, 4, 5}, false},
            {"malformed last row with its line end", five + "6,x\r\n", {}, false},
            {"malformed row before the last", five.left(lastRow) + "6,x\r\n" + five.mid(lastRow), {}, false},
        };
        for (const Case& c : cases) {
            const LapTable t = readLapTable(c.bytes);
            QList<int> laps;
            for (const LapEntry& e : t.laps)
                laps << e.lap;
            QVERIFY2(laps == c.laps && t.error.isEmpty() == !c.laps.isEmpty() && t.warning.isEmpty() != c.warned,
                     c.what);
        }

        // The tool draws the laps before a torn row and says that it left one out.
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("torn.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(five.left(lastRow + 30)) > 0);
        f.close();
        QString out, err;
        QTextStream o(&out), e(&err);
        QCOMPARE(runLapsTool({"rivect-laps", csv, "-o", dir.filePath(QStringLiteral("torn.png"))}, o, e), 0);
        QVERIFY2(err.contains(QStringLiteral("warning")) && err.contains(QStringLiteral("row 6")), qPrintable(err));
    }

    void headerFitsAcrossAnySize()
    {
        for (const QSize size : {QSize(1280, 720), QSize(900, 500), QSize(640, 720), QSize(400, 1000),
                                 QSize(200, 200), QSize(8000, 200)}) {
            const LapChart chart(kLaps, size);
            const LapChart::Header h = chart.header();
            const QString what = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            QList<QRectF> taken = {h.title, h.subtitle};
            for (const QRectF& r : h.legend) {
                QVERIFY2(r.left() >= 0 && r.right() <= size.width() && r.top() >= 0
                             && r.bottom() <= chart.plotArea().top(),
                         qPrintable(what));
                for (const QRectF& other : taken)
                    QVERIFY2(!r.intersects(other), qPrintable(what));
                taken << r;
            }
            QVERIFY2(h.legend.size() == 4 && h.subtitle.right() <= size.width(), qPrintable(what));
        }
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    LapChartTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_lap_chart.moc"

#include "fakes/file_bytes.h"
#include "pit/stint_rules.h"
#include "platform/cp932.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The rules in the order of the file, then the roster: "45 120 30 30 0 0 | 山田,佐藤".
QString describe(const StintRules& r)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 | %7")
        .arg(r.maxStintMin).arg(r.minPitS).arg(r.pitsClosedStartMin).arg(r.pitsClosedEndMin)
        .arg(r.minDriverMin).arg(r.maxDriverMin).arg(r.drivers.join(u','));
}

const QByteArray kMissing = "<missing>";
const QByteArray kFolder = "<folder>";

} // namespace

class TestStintRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
};

void TestStintRules::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("problems");  // "<line>:<words of the problem>"
    QTest::addColumn<bool>("missing");

    const QString example = QStringLiteral(
        "[rules]\r\nmax_stint_min=45\r\nmin_pit_s=120\r\npits_closed_start_min=30\r\npits_closed_end_min=30\r\n"
        "min_driver_min=0\r\nmax_driver_min=0\r\n[drivers]\r\n1=山田\r\n2=佐藤\r\n3=鈴木\r\n");
    const QString full = QStringLiteral("45 120 30 30 0 0 | 山田,佐藤,鈴木");
    QTest::newRow("utf-8") << example.toUtf8() << full << QStringList{} << false;
    QTest::newRow("utf-8 with bom") << "\xEF\xBB\xBF" + example.toUtf8() << full << QStringList{} << false;
    QTest::newRow("cp932") << Cp932::encode(example) << full << QStringList{} << false;
    QTest::newRow("lf, comments, spaces, any case")
        << QByteArray("; team\n[Rules]\n # note\n MAX_STINT_MIN = 50 \n\n[drivers]\n2 = B\n") << "50 0 0 0 0 0 | B"
        << QStringList{} << false;
    QTest::newRow("driver gaps keep key order")
        << QByteArray("[drivers]\n7=G\r\n2=B\r\n40=Z\r\n") << "0 0 0 0 0 0 | B,G,Z" << QStringList{} << false;
    QTest::newRow("bad lines leave their rule off, reading goes on")
        << QByteArray("min_pit_s=5\n[rules]\nmax_stint_min\nmin_pit_s=-1\nmax_stint_min=4.5\nmax_driver_min=12x\n"
                      "fuel_l=80\n=3\npits_closed_end_min=7\nmin_driver_min=20\n")
        << "0 0 0 7 20 0 | "
        << QStringList{"1:セクションの外", "3:キー=値", "4:0 以上の整数ではありません", "5:0 以上の整数ではありません",
                       "6:0 以上の整数ではありません", "7:知らないキー", "8:キー=値"}
        << false;
    QTest::newRow("bad driver keys and names")
        << QByteArray("[drivers]\n0=A\n1=B\n100=C\nx=D\n-2=E\n3=\n1=F\n99=G\n")
        << "0 0 0 0 0 0 | B,G"
        << QStringList{"2:は 1 から 99 ではありません", "4:は 1 から 99 ではありません", "5:は 1 から 99 ではありません", "6:は 1 から 99 ではありません",
                       "7:名前がありません", "8:二度あります"}
        << false;
    QTest::newRow("a rule given twice: the first stays")
        << QByteArray("[rules]\nmin_pit_s=60\nmin_pit_s=90\n") << "0 60 0 0 0 0 | " << QStringList{"3:二度あります"}
        << false;
    QTest::newRow("an unknown section is told once and passed over")
        << QByteArray("[fuel]\nmax_stint_min=9\nx\n[rules]\nmin_pit_s=30\n") << "0 30 0 0 0 0 | "
        << QStringList{"1:知らないセクション [fuel]"} << false;
    QTest::newRow("a number too large for the book is refused")
        << QByteArray("[rules]\nmax_stint_min=99999999999\n") << "0 0 0 0 0 0 | "
        << QStringList{"2:0 以上の整数ではありません"} << false;
    QTest::newRow("missing: the default's rules, all off")
        << kMissing << "0 0 0 0 0 0 | 山田,佐藤,鈴木" << QStringList{} << true;
    QTest::newRow("unreadable: all off, told, not missing")
        << kFolder << "0 0 0 0 0 0 | " << QStringList{"0:読めません"} << false;
}

void TestStintRules::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, rules);
    QFETCH(QStringList, problems);
    QFETCH(bool, missing);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(StintsFile::kFileName);
    if (file == kFolder)
        QVERIFY(QDir(dir.path()).mkdir(StintsFile::kFileName));
    else if (file != kMissing)
        writeBytes(path, file);

    const StintsFile::Reading reading = StintsFile::read(path);
    QCOMPARE(describe(reading.rules), rules);
    QCOMPARE(reading.missing, missing);
    QCOMPARE(reading.problems.size(), problems.size());
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const QString line = problems.at(i).section(u':', 0, 0);
        const QString words = problems.at(i).section(u':', 1);
        const QString where = line == u'0' ? path : QStringLiteral("%1 %2行目").arg(StintsFile::kFileName, line);
        QVERIFY2(reading.problems.at(i).startsWith(where + u':') && reading.problems.at(i).contains(words),
                 qPrintable(reading.problems.at(i)));
    }
    if (missing) {
        // What the caller saves for next time reads back as the same rules, in CR LF lines.
        const QString text = StintsFile::defaultText();
        QVERIFY(text.endsWith(QStringLiteral("\r\n")) && !text.contains(QStringLiteral("\n\n")));
        QCOMPARE(text.count(QStringLiteral("\r\n")), text.count(u'\n'));
        const StintsFile::Reading saved = StintsFile::parse(text, StintsFile::kFileName);
        QCOMPARE(describe(saved.rules), rules);
        QVERIFY(saved.problems.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestStintRules)
#include "test_stint_rules.moc"

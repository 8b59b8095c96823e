#include "client/datagram.h"

#include <QTest>
#include <optional>

Q_DECLARE_METATYPE(std::optional<int32_t>)

class DatagramTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void carsAndPorts();
    void columnsCountCharacters();
    void leadingNumber_data();
    void leadingNumber();
    void dateText_data();
    void dateText();
    void timeText_data();
    void timeText();
    void statusText();
    void lapReportRoundTrip();
    void lapReportKeepsColumnsFixed();
};

void DatagramTest::carsAndPorts()
{
    for (int car = 1; car <= 5; ++car) {
        QCOMPARE(Datagram::carOfText(Datagram::carText(car)), car);
        QCOMPARE(int(Datagram::clientPort(car)), 7001 + 10 * car);
        QCOMPARE(int(Datagram::hostPort(car)), 7002 + 10 * car);
    }
    QCOMPARE(Datagram::carText(3), QStringLiteral("３号車"));
    QCOMPARE(Datagram::carOfText(QStringLiteral("3号車")), 0);    // half-width digit
    QCOMPARE(Datagram::carOfText(QStringLiteral("３号車 ")), 0);  // trailing blank
    QCOMPARE(Datagram::carOfText(QString()), 0);
    QCOMPARE(Datagram::carText(0), QString());
    QCOMPARE(Datagram::carText(6), QString());
}

void DatagramTest::columnsCountCharacters()
{
    const QString text = QStringLiteral("ab号車cd");
    QCOMPARE(Datagram::column(text, 3, 2), QStringLiteral("号車"));
    QCOMPARE(Datagram::column(text, 5, 10), QStringLiteral("cd"));
    QCOMPARE(Datagram::column(text, 7, 3), QString());
    QCOMPARE(Datagram::column(QString(), 1, 1), QString());
}

void DatagramTest::leadingNumber_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<std::optional<int32_t>>("expected");
    using R = std::optional<int32_t>;
    QTest::newRow("leading blanks") << "  7" << R(7);
    QTest::newRow("leading zeros") << "007" << R(7);
    QTest::newRow("trailing blanks") << "7  " << R(7);
    QTest::newRow("blanks inside") << " 1 2\t3\n4" << R(1234);
    QTest::newRow("blank after sign") << "- 5" << R(-5);
    QTest::newRow("plus") << "+42" << R(42);
    QTest::newRow("minus") << "-42" << R(-42);
    QTest::newRow("stops at other") << "12ab34" << R(12);
    QTest::newRow("second point stops") << "1.2.7" << R(1);
    QTest::newRow("second sign stops") << "-+5" << R(0);
    QTest::newRow("empty") << "" << R(0);
    QTest::newRow("blanks only") << "          " << R(0);
    QTest::newRow("not a number") << "abc" << R(0);
    QTest::newRow("full-width digit") << "７" << R(0);
    QTest::newRow("half to even down") << "2.5" << R(2);
    QTest::newRow("half to even up") << "3.5" << R(4);
    QTest::newRow("negative half") << "-2.5" << R(-2);
    QTest::newRow("above half") << "2.51" << R(3);
    QTest::newRow("below half") << "2.49999" << R(2);
    QTest::newRow("point only") << "." << R(0);
    QTest::newRow("fraction only") << ".6" << R(1);
    QTest::newRow("max") << "2147483647" << R(2147483647);
    QTest::newRow("min") << "-2147483648" << R(-2147483647 - 1);
    QTest::newRow("max rounds over") << "2147483647.5" << R();
    QTest::newRow("over max") << "2147483648" << R();
    QTest::newRow("ten nines") << "9999999999" << R();
    QTest::newRow("under min") << "-2147483649" << R();
    QTest::newRow("many leading zeros") << "000000000000000012" << R(12);
}

void DatagramTest::leadingNumber()
{
    QFETCH(QString, field);
    QFETCH(std::optional<int32_t>, expected);
    QCOMPARE(Datagram::parseLeadingNumber(field), expected);
}

void DatagramTest::dateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");  // invalid: rejected
    QTest::newRow("slashes") << "2026/05/03" << QDate(2026, 5, 3);
    QTest::newRow("dashes, short") << "2026-5-3  " << QDate(2026, 5, 3);
    QTest::newRow("dots, blanks") << " 2024.2.29" << QDate(2024, 2, 29);
    QTest::newRow("mixed separators") << "2026/05-03" << QDate();
    QTest::newRow("no leap day") << "2025/02/29" << QDate();
    QTest::newRow("month 13") << "2026/13/01" << QDate();
    QTest::newRow("day 0") << "2026/01/00" << QDate();
    QTest::newRow("two-digit year") << "26/05/03" << QDate();
    QTest::newRow("blank") << "          " << QDate();
    QTest::newRow("trailing junk") << "2026/05/03x" << QDate();
    QTest::newRow("full-width digits") << "２０２６/05/03" << QDate();
}

void DatagramTest::dateText()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    const auto parsed = Datagram::parseDateText(text);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void DatagramTest::timeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QTime>("expected");  // invalid: rejected
    QTest::newRow("full") << "09:05:03" << QTime(9, 5, 3);
    QTest::newRow("short fields") << "9:5:3   " << QTime(9, 5, 3);
    QTest::newRow("last second") << "23:59:59" << QTime(23, 59, 59);
    QTest::newRow("hour 24") << "24:00:00" << QTime();
    QTest::newRow("minute 60") << "12:60:00" << QTime();
    QTest::newRow("no seconds") << "12:30   " << QTime();
    QTest::newRow("letters") << "ab:cd:ef" << QTime();
    QTest::newRow("blank") << "        " << QTime();
}

void DatagramTest::timeText()
{
    QFETCH(QString, text);
    QFETCH(QTime, expected);
    const auto parsed = Datagram::parseTimeText(text);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void DatagramTest::statusText()
{
    QCOMPARE(Datagram::statusText(0, QString()), QStringLiteral("000"));
    QCOMPARE(Datagram::statusText(12, QStringLiteral("ドライバ交代して")), QStringLiteral("012ドライバ交代して"));
    QCOMPARE(Datagram::statusText(1234, QStringLiteral("x")), QStringLiteral("1234x"));
    QCOMPARE(Datagram::statusText(-5, QString()), QStringLiteral("-005"));
    QCOMPARE(Datagram::statusText(-2147483647 - 1, QString()), QStringLiteral("-2147483648"));
}

void DatagramTest::lapReportRoundTrip()
{
    const QString text = Datagram::lapReportText(true, 7, 83456, 82222, 84000, QDate(2026, 5, 3),
                                                 QTime(10, 1, 2), QTime(11, 0, 0), QStringLiteral("ピット"));
    QCOMPARE(text.size(), 63);
    const Datagram::LapReportFields f = Datagram::splitLapReport(text);
    QCOMPARE(f.kind, QStringLiteral("C"));
    QCOMPARE(f.lapNo, QStringLiteral("  7"));
    QCOMPARE(f.lastLap, QStringLiteral("     83456"));
    QCOMPARE(Datagram::parseLeadingNumber(f.bestLap), std::optional<int32_t>(82222));
    QCOMPARE(Datagram::parseLeadingNumber(f.aveLap), std::optional<int32_t>(84000));
    QCOMPARE(f.date, QStringLiteral("2026/05/03"));
    QCOMPARE(f.clock, QStringLiteral("10:01:02"));
    QCOMPARE(f.endTime, QStringLiteral("11:00:00"));
    QCOMPARE(f.hostText, QStringLiteral("ピット"));

    const Datagram::LapReportFields shortOne = Datagram::splitLapReport(QStringLiteral(" 12"));
    QCOMPARE(shortOne.kind, QStringLiteral(" "));
    QCOMPARE(shortOne.lapNo, QStringLiteral("12"));
    QCOMPARE(shortOne.date, QString());
    QCOMPARE(shortOne.hostText, QString());
}

void DatagramTest::lapReportKeepsColumnsFixed()
{
    const QString text = Datagram::lapReportText(false, 1001, -2147483647 - 1, 0, 0, QDate(), QTime(),
                                                 QTime(25, 0, 0), QString());
    QCOMPARE(text.size(), 60);
    const Datagram::LapReportFields f = Datagram::splitLapReport(text);
    QCOMPARE(f.kind, QStringLiteral(" "));
    QCOMPARE(f.lapNo, QStringLiteral("001"));
    QCOMPARE(f.date.trimmed(), QString());
    QCOMPARE(f.clock.trimmed(), QString());
    QCOMPARE(f.endTime.trimmed(), QString());
}

QTEST_APPLESS_MAIN(DatagramTest)
#include "test_datagram.moc"

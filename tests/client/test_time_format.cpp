#include "client/time_format.h"

#include <QTest>
#include <limits>

namespace {
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
} // namespace

class TimeFormatTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hms_data();
    void hms();
    void lapCenti_data();
    void lapCenti();
    void lapMilli_data();
    void lapMilli();
};

void TimeFormatTest::hms_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "0:00:00";
    QTest::newRow("59") << 59 << "0:00:59";
    QTest::newRow("minute") << 60 << "0:01:00";
    QTest::newRow("3599") << 3599 << "0:59:59";
    QTest::newRow("6000") << 6000 << "1:40:00";
    QTest::newRow("12345") << 12345 << "3:25:45";
    QTest::newRow("86399") << 86399 << "23:59:59";
    QTest::newRow("no days") << 90061 << "25:01:01";
    QTest::newRow("max") << kMax << "596523:14:07";
    QTest::newRow("-61") << -61 << "0:-01:-01";
    QTest::newRow("-3661") << -3661 << "-1:-01:-01";
    QTest::newRow("min") << kMin << "-596523:-14:-08";
}

void TimeFormatTest::hms()
{
    QFETCH(int, input);
    QFETCH(QString, expected);
    QCOMPARE(Fmt_HMS(input), expected);
}

void TimeFormatTest::lapCenti_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "0'00\"00";
    QTest::newRow("59") << 59 << "0'00\"59";
    QTest::newRow("100") << 100 << "0'01\"00";
    QTest::newRow("no carry") << 5999 << "0'59\"99";
    QTest::newRow("6000") << 6000 << "1'00\"00";
    QTest::newRow("12345") << 12345 << "2'03\"45";
    QTest::newRow("no hours") << 360000 << "60'00\"00";
    QTest::newRow("max") << kMax << "357913'56\"47";
    QTest::newRow("-1") << -1 << "0'00\"-01";
    QTest::newRow("-6150") << -6150 << "-1'-01\"-50";
    QTest::newRow("min") << kMin << "-357913'-56\"-48";
}

void TimeFormatTest::lapCenti()
{
    QFETCH(int, input);
    QFETCH(QString, expected);
    QCOMPARE(Fmt_LapCenti(input), expected);
}

void TimeFormatTest::lapMilli_data()
{
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "0'00\"000";
    QTest::newRow("59") << 59 << "0'00\"059";
    QTest::newRow("6000") << 6000 << "0'06\"000";
    QTest::newRow("12345") << 12345 << "0'12\"345";
    QTest::newRow("no carry") << 59999 << "0'59\"999";
    QTest::newRow("60000") << 60000 << "1'00\"000";
    QTest::newRow("83456") << 83456 << "1'23\"456";
    QTest::newRow("no hours") << 600000 << "10'00\"000";
    QTest::newRow("max") << kMax << "35791'23\"647";
    QTest::newRow("-1") << -1 << "0'00\"-001";
    QTest::newRow("-61500") << -61500 << "-1'-01\"-500";
    QTest::newRow("min") << kMin << "-35791'-23\"-648";
}

void TimeFormatTest::lapMilli()
{
    QFETCH(int, input);
    QFETCH(QString, expected);
    QCOMPARE(Fmt_LapMilli(input), expected);
}

QTEST_APPLESS_MAIN(TimeFormatTest)
#include "test_time_format.moc"

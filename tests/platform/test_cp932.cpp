#include "platform/cp932.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

class TestCp932 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void windowsTableOnDecode();
    void windowsCompatibleEncode();
    void invalidBytesBecomeReplacement_data();
    void invalidBytesBecomeReplacement();
    void unmappableBecomesQuestionMark_data();
    void unmappableBecomesQuestionMark();
    void threadsDoNotInterfere();
};

void TestCp932::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("section name") << QStringLiteral("環境設定") << QByteArray("\x8A\xC2\x8B\xAB\x90\xDD\x92\xE8");
    QTest::newRow("full-width digit car") << QStringLiteral("１号車") << QByteArray("\x82\x50\x8D\x86\x8E\xD4");
    QTest::newRow("full-width digits") << QStringLiteral("１２３") << QByteArray("\x82\x50\x82\x51\x82\x52");
    QTest::newRow("half-width katakana") << QStringLiteral("ｱｲ") << QByteArray("\xB1\xB2");
    QTest::newRow("ascii with backslash and tilde") << QStringLiteral("a\\b~c") << QByteArray("a\\b~c");
    QTest::newRow("mixed") << QStringLiteral("012ドライバ") << QByteArray("012\x83\x68\x83\x89\x83\x43\x83\x6F");
    QTest::newRow("single bytes outside JIS") << QStringLiteral("\u0080\uF8F0\uF8F1\uF8F2\uF8F3")
                                              << QByteArray("\x80\xA0\xFD\xFE\xFF");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestCp932::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp932::encode(text), bytes);
    QCOMPARE(Cp932::decode(bytes), text);
}

// The bytes whose meaning differs between the Windows table and JIS-based Shift-JIS tables.
void TestCp932::windowsTableOnDecode()
{
    QCOMPARE(Cp932::decode("\x81\x60"), QString(QChar(0xFF5E)));  // full-width tilde, not wave dash
    QCOMPARE(Cp932::decode("\x81\x7C"), QString(QChar(0xFF0D)));  // full-width hyphen-minus
    QCOMPARE(Cp932::decode("\x81\x5C"), QString(QChar(0x2015)));  // horizontal bar
    QCOMPARE(Cp932::decode("\x81\x8F"), QString(QChar(0xFFE5)));  // full-width yen
    QCOMPARE(Cp932::decode("\x5C"), QStringLiteral("\\"));         // backslash, not yen
    QCOMPARE(Cp932::decode("\x87\x40"), QStringLiteral("①"));       // row 13 special characters
}

// Characters typed on this system in their JIS forms still reach the host as the bytes a
// Windows PC would send.
void TestCp932::windowsCompatibleEncode()
{
    QCOMPARE(Cp932::encode(QString(QChar(0x301C))), QByteArray("\x81\x60"));  // wave dash
    QCOMPARE(Cp932::encode(QString(QChar(0xFF5E))), QByteArray("\x81\x60"));
    QCOMPARE(Cp932::encode(QString(QChar(0x2212))), QByteArray("\x81\x7C"));  // minus sign
    QCOMPARE(Cp932::encode(QString(QChar(0xFFE5))), QByteArray("\x81\x8F"));
    QCOMPARE(Cp932::encode(QString(QChar(0x00A5))), QByteArray("\x5C"));
    QCOMPARE(Cp932::encode(QString(QChar(0x2016))), QByteArray("\x81\x61"));  // double vertical line
    QCOMPARE(Cp932::encode(QStringLiteral("é«")), QByteArray("e\x81\xE1"));      // Windows' best fits
}

void TestCp932::invalidBytesBecomeReplacement_data()
{
    const QChar r(0xFFFD);
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("lone lead at end") << QByteArray("A\x81") << (QStringLiteral("A") + r);
    QTest::newRow("lone lead alone") << QByteArray("\x8A") << QString(r);
    QTest::newRow("lead before NUL keeps the NUL") << QByteArray("\x81\0x", 3) << (QString(r) + QChar(0) + u'x');
    // Windows takes any other byte after a lead byte as its trail, an ASCII one included.
    QTest::newRow("unassigned pair, ascii trail") << QByteArray("\x85\x40Z") << (QString(r) + u'Z');
    QTest::newRow("lead before space") << QByteArray("\x81 x") << (QString(r) + u'x');
    QTest::newRow("unassigned pair, high trail") << QByteArray("\x85\x85Z") << (QString(r) + u'Z');
    QTest::newRow("between good characters") << QByteArray("\x8A\xC2\x81\x7F\x8B\xAB")
                                             << (QStringLiteral("環") + r + QStringLiteral("境"));
}

void TestCp932::invalidBytesBecomeReplacement()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Cp932::decode(bytes), text);
}

void TestCp932::unmappableBecomesQuestionMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("euro") << QStringLiteral("€") << QByteArray("?");
    QTest::newRow("between kanji") << QStringLiteral("環€境") << QByteArray("\x8A\xC2?\x8B\xAB");
    QTest::newRow("surrogate pair is two units") << QStringLiteral("a😀b") << QByteArray("a??b");
    QTest::newRow("lone high surrogate") << (QStringLiteral("a") + QChar(0xD800) + u'b') << QByteArray("a?b");
    QTest::newRow("lone surrogate at end") << (QStringLiteral("環") + QChar(0xD83D)) << QByteArray("\x8A\xC2?");
    QTest::newRow("hangul") << QStringLiteral("한x") << QByteArray("?x");
}

void TestCp932::unmappableBecomesQuestionMark()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp932::encode(text), bytes);
}

void TestCp932::threadsDoNotInterfere()
{
    const QString text = QStringLiteral("012ドライバ交代して€");
    const QByteArray bytes = Cp932::encode(text);
    const QByteArray broken("\x8A\xC2\x80\x81");
    const QString brokenText = Cp932::decode(broken);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 3000; ++i) {
                if (Cp932::encode(text) != bytes || Cp932::decode(bytes) != QStringLiteral("012ドライバ交代して?")
                    || Cp932::decode(broken) != brokenText)
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(TestCp932)
#include "test_cp932.moc"

#include "fakes/file_bytes.h"
#include "config/messages.h"
#include "platform/cp932.h"
#include "read_only_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QStringList kDefaultMessages = {QString(), QStringLiteral("ドライバ交代して"),
                                      QStringLiteral("エア抜きPitIN準備"), QStringLiteral("グラベル君とは友達さ")};

} // namespace

class TestMessages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void missingFileWritesDefault();
    void lines_data();
    void lines();
    void reloadReplacesList();
    void unreadableFileEndsAtOnce();
    void defaultFileNotWritable();
    void readOnlyFolderUsesDefaults();
    void tooManyMessagesAreCut();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    PublicConst m_pub;
};

void TestMessages::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pub.Pub_MessPath = m_dir->filePath(Messages::kFileName);
    m_pub.Pub_MessList = QStringList{QStringLiteral("stale")};
    m_pub.Pub_MessCount = 7;
}

void TestMessages::missingFileWritesDefault()
{
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessCount, int16_t(3));
    QCOMPARE(m_pub.Pub_MessList, kDefaultMessages);

    const QByteArray bytes = readBytes(m_pub.Pub_MessPath);
    QCOMPARE(bytes.size(), 658);
    QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(),
             QByteArray("d7b4d766d61d870327260a47a16dd1e1ad28c975dc503cc6628ded49e57db32b"));
    QVERIFY(bytes.endsWith("\r\n"));
    const QStringList lines = Cp932::decode(bytes.chopped(2)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.at(0), QString(27, u'#'));
    QCOMPARE(lines.at(2), QString(89, u'#'));
    QCOMPARE(lines.at(7), QString(89, u'#'));
    QVERIFY(lines.at(4).endsWith(QString(16, QChar(0x3000)) + QStringLiteral("##")));
    QVERIFY(lines.at(5).endsWith(QString(6, QChar(0x3000)) + QStringLiteral("##")));
    QVERIFY(lines.at(6).endsWith(QString(29, QChar(0x3000)) + QStringLiteral("##")));
    QCOMPARE(lines.mid(8), kDefaultMessages.mid(1));

    // Loading again reads the file now there, and leaves it as it is.
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, kDefaultMessages);
    QCOMPARE(readBytes(m_pub.Pub_MessPath), bytes);
}

void TestMessages::lines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("messages");  // without entry 0

    const QByteArray sjisA = Cp932::encode(QStringLiteral("ドライバ"));
    const QByteArray utf8A = QStringLiteral("ドライバ").toUtf8();
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("comments only") << QByteArray("#a\r\n#\r\n##\r\n") << QStringList{};
    QTest::newRow("empty line is a message") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("blanks kept") << QByteArray("  \r\n\tx \r\n") << QStringList{"  ", "\tx "};
    QTest::newRow("hash alone is a comment") << QByteArray("#\r\nm\r\n") << QStringList{"m"};
    QTest::newRow("blank then hash is a message") << QByteArray(" #x\r\n") << QStringList{" #x"};
    QTest::newRow("full-width number sign is a message") << QByteArray("\x81\x94x\r\n") << QStringList{"＃x"};
    QTest::newRow("no final line ending") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("LF only") << QByteArray("a\n#c\n\nb\n") << QStringList{"a", "", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("cp932") << QByteArray("#\x83\x68\r\n" + sjisA + "\r\n") << QStringList{"ドライバ"};
    QTest::newRow("utf-8") << QByteArray("# コメント\n" + utf8A + "\n") << QStringList{"ドライバ"};
    QTest::newRow("utf-8 with BOM, comment first") << QByteArray("\xEF\xBB\xBF#c\r\n" + utf8A + "\r\n")
                                                   << QStringList{"ドライバ"};
    QTest::newRow("utf-8 BOM then message") << QByteArray("\xEF\xBB\xBFm\r\n") << QStringList{"m"};
    QTest::newRow("invalid utf-8 read as cp932") << QByteArray(sjisA + "\xE3\x83\r\n")
                                                 << QStringList{QStringLiteral("ドライバ繝")};
    QTest::newRow("long message whole") << QByteArray(QByteArray(3000, 'x') + "\r\n") << QStringList{QString(3000, u'x')};
}

void TestMessages::lines()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, messages);
    writeBytes(m_pub.Pub_MessPath, file);
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, QStringList{QString()} + messages);
    QCOMPARE(m_pub.Pub_MessCount, int16_t(messages.size()));
    QCOMPARE(readBytes(m_pub.Pub_MessPath), file);
}

void TestMessages::reloadReplacesList()
{
    writeBytes(m_pub.Pub_MessPath, "a\r\nb\r\nc\r\n");
    Mess_Load(m_pub);
    m_pub.Pub_MessIndex = 3;
    writeBytes(m_pub.Pub_MessPath, "z\r\n");
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, (QStringList{"", "z"}));
    QCOMPARE(m_pub.Pub_MessCount, int16_t(1));
    QCOMPARE(m_pub.Pub_MessIndex, int16_t(3));
}

void TestMessages::unreadableFileEndsAtOnce()
{
    // A folder in the file's place: it exists but can never be read, even by root.
    QVERIFY(QDir().mkdir(m_pub.Pub_MessPath));
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, QStringList{QString()});  // the stale list was not whole
    QCOMPARE(m_pub.Pub_MessCount, int16_t(0));

    m_pub.Pub_MessList = QStringList{"", "kept"};
    m_pub.Pub_MessCount = 1;
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, (QStringList{"", "kept"}));
    QCOMPARE(m_pub.Pub_MessCount, int16_t(1));
    QVERIFY(QFileInfo(m_pub.Pub_MessPath).isDir());
}

void TestMessages::defaultFileNotWritable()
{
    m_pub.Pub_MessPath = m_dir->filePath(QStringLiteral("no-such-folder/OutMess.txt"));
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, kDefaultMessages);
    QCOMPARE(m_pub.Pub_MessCount, int16_t(3));
    QVERIFY(!QFile::exists(m_pub.Pub_MessPath));
}

void TestMessages::readOnlyFolderUsesDefaults()
{
    const QString folder = m_dir->filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(folder));
    ReadOnlyFolder readOnly(folder, QString(), QByteArray());
    if (!readOnly.available())
        QSKIP("cannot make a folder read-only here (root outside the sandbox)");
    m_pub.Pub_MessPath = QDir(folder).filePath(Messages::kFileName);
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessList, kDefaultMessages);
    QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestMessages::tooManyMessagesAreCut()
{
    QByteArray file = "#head\r\n";
    for (int i = 0; i < 40000; ++i)
        file += "m" + QByteArray::number(i) + "\r\n";
    writeBytes(m_pub.Pub_MessPath, file);
    Mess_Load(m_pub);
    QCOMPARE(m_pub.Pub_MessCount, int16_t(Messages::kMaxMessages));
    QCOMPARE(m_pub.Pub_MessList.size(), Messages::kMaxMessages + 1);
    QCOMPARE(m_pub.Pub_MessList.at(1), QStringLiteral("m0"));
    QCOMPARE(m_pub.Pub_MessList.last(), QStringLiteral("m32765"));
}

QTEST_GUILESS_MAIN(TestMessages)
#include "test_messages.moc"

// The program's two files under trouble: a folder that cannot be written, a disk that is full,
// a writer killed in the middle, and a message file taken away or made unreadable while the
// window runs.
#include "fakes/file_bytes.h"
#include "live_window.h"
#include "read_only_folder.h"

#include "config/messages.h"
#include "config/settings.h"
#include "fakes/fake_udp_socket.h"
#include "platform/cp932.h"
#include "startup/open_window.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace live;

namespace {

const QStringList kDefaultList = {QString(), QStringLiteral("ドライバ交代して"), QStringLiteral("エア抜きPitIN準備"),
                                  QStringLiteral("グラベル君とは友達さ")};

bool writeBytesOk(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/// A settings file with the host address and a large section of the operator's own after it.
QByteArray settingsFile(const QString& host, int paddingLines)
{
    QByteArray bytes = Cp932::encode(QStringLiteral("[環境設定]\r\nHostIPNo=") + host + QStringLiteral("\r\n"));
    bytes += "[Pit]\r\n";
    for (int i = 0; i < paddingLines; ++i)
        bytes += "Note" + QByteArray::number(i) + "=" + QByteArray(40, char('a' + i % 26)) + "\r\n";
    return bytes;
}

/// A small tmpfs of the sandbox's own mount namespace; available() is false elsewhere.
class SmallTmpfs {
public:
    SmallTmpfs(const QString& path, const char* size) : m_path(QFile::encodeName(path))
    {
        if (geteuid() == 0 && qgetenv("RIVECT_SANDBOX") == "isolated")
            m_ok = ::mount("tmpfs", m_path.constData(), "tmpfs", 0, size) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_ok)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    bool available() const { return m_ok; }

private:
    QByteArray m_path;
    bool m_ok = false;
};

/// Opens a FIFO for writing, again and again, after a grace period unless cancelled first, so
/// every reader blocked on it is released and a test that would hang fails instead.
class FifoRescue {
public:
    explicit FifoRescue(const QString& path, int graceMs) : m_path(QFile::encodeName(path))
    {
        m_thread = std::thread([this, graceMs] {
            std::unique_lock lock(m_mutex);
            if (m_cv.wait_for(lock, std::chrono::milliseconds(graceMs), [this] { return m_cancel; }))
                return;
            while (!m_cancel) {
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                    m_rescued = true;
                }
                m_cv.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_cancel; });
            }
        });
    }
    ~FifoRescue()
    {
        {
            std::lock_guard lock(m_mutex);
            m_cancel = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    FifoRescue(const FifoRescue&) = delete;
    FifoRescue& operator=(const FifoRescue&) = delete;
    bool rescued() const { return m_rescued; }

private:
    QByteArray m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_cancel = false;
    std::atomic<bool> m_rescued{false};
};

} // namespace

class FilesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpInReadOnlyFolder();
    void fullDiskKeepsOldFiles();
    void killedWriterNeverTearsSettings();
    void messageFileTroubleWhileRunning_data();
    void messageFileTroubleWhileRunning();
    void settingsFileThatNeverEnds();
};

void FilesTest::startUpInReadOnlyFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkdir(folder));
    ReadOnlyFolder readOnly(folder, QString(), QByteArray());
    if (!readOnly.available())
        QSKIP("cannot make a folder read-only here (root outside the sandbox)");

    PublicConst pub;
    FakeTickTimer tick;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress local;
    FakeUdpSocket winsock1;
    FakeUdpSocket chker;
    std::unique_ptr<ClientWindow> client;
    const auto screen = [] { return QSize(15360, 11520); };
    // As when no folder at all could be written: the operator is told so once, at the load.
    OpenWindow open(pub, OpenServices{folder, screen, [] {}, [&](ClientChoice) {
                                          client = std::make_unique<ClientWindow>(
                                              pub, ClientServices{tick, clock, dialogs, editor, local, winsock1,
                                                                  chker, folder, screen, [] {}});
                                          client->Form_Load();
                                      }, &dialogs, {folder}});
    open.Form_Load();
    open.Timer1_Timer();
    QVERIFY(client);
    QCOMPARE(pub.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(pub.Pub_IniResult, 0);
    QCOMPARE(pub.Pub_MessList, kDefaultList);
    QCOMPARE(pub.Pub_MessCount, int16_t(3));
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY(dialogs.boxes[0].prompt.startsWith(QStringLiteral("設定を保存できるフォルダがありません。\r")));
    QVERIFY(dialogs.boxes[0].prompt.endsWith(QLatin1Char('\r') + folder));
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    // A new host address is used for this run although it cannot be kept, and the operator
    // hears so at once.
    dialogs.boxes.clear();
    dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
    client->Btn_HostIP_Click();
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY(dialogs.boxes[0].prompt.startsWith(QStringLiteral("ホストＩＰ番号「127.0.0.1」を設定ファイルに保存できませんでした。")));
    QCOMPARE(dialogs.boxes[0].style, MsgBox::vbOKOnly | MsgBox::vbExclamation);
    dialogs.boxes.clear();
    QCOMPARE(pub.Pub_IniResult, 0);
    QCOMPARE(pub.Pub_HostIP, QStringLiteral("127.0.0.1"));
    QCOMPARE(chker.sent, QStringList{QStringLiteral("127.0.0.1")});
    QCOMPARE(chker.remoteHost(), QStringLiteral("127.0.0.1"));

    // Editing cannot save either; the reload keeps the default messages, silently.
    editor.onOpen = [&](int n) { editor.finish(n); };
    client->Btn_EditMess_Click();
    QCOMPARE(client->Lbl_OutMess.caption(), QString());
    QCOMPARE(pub.Pub_MessList, kDefaultList);
    QVERIFY(dialogs.boxes.isEmpty());
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void FilesTest::fullDiskKeepsOldFiles()
{
    QTemporaryDir dir;
    SmallTmpfs disk(dir.path(), "size=128k");
    if (!disk.available())
        QSKIP("cannot mount a small file system here (root outside the sandbox)");
    const QString path = dir.filePath(Settings::kFileName);
    const QByteArray old = settingsFile(QStringLiteral("10.0.0.1"), 300);  // about 16 KiB
    QVERIFY(writeBytesOk(path, old));

    // Fill what is left.
    const QByteArray filler = QFile::encodeName(dir.filePath(QStringLiteral("filler")));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    ::close(fd);

    PublicConst pub;
    pub.Pub_IniPath = path;
    QCOMPARE(Ini_Write(pub, Settings::kSection, Settings::kKey, QStringLiteral("10.9.9.9")), 0);
    QCOMPARE(readBytes(path), old);
    QStringList entries = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    entries.sort();
    QCOMPARE(entries, (QStringList{"Rivect.ini", "filler"}));
    Ini_ReadHost(pub);
    QCOMPARE(pub.Pub_HostIP, QStringLiteral("10.0.0.1"));

    // The default message file cannot be written either: the defaults are used and no empty
    // file is left for the next start to take as the operator's.
    pub.Pub_MessPath = dir.filePath(Messages::kFileName);
    Mess_Load(pub);
    QCOMPARE(pub.Pub_MessList, kDefaultList);
    QVERIFY(!QFile::exists(pub.Pub_MessPath));

    // With room again the same write goes through: the failure was the full disk.
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("filler"))));
    QVERIFY(Ini_Write(pub, Settings::kSection, Settings::kKey, QStringLiteral("10.9.9.9")) != 0);
    QCOMPARE(readBytes(path), settingsFile(QStringLiteral("10.9.9.9"), 300));
}

void FilesTest::killedWriterNeverTearsSettings()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(Settings::kFileName);
    const QByteArray first = settingsFile(QStringLiteral("10.0.0.1"), 1500);  // about 80 KiB
    const QByteArray second = settingsFile(QStringLiteral("10.0.0.2"), 1500);
    QVERIFY(writeBytesOk(path, second));

    constexpr int kKills = 300;
    int old = 0;
    int renewed = 0;
    QRandomGenerator random(20260503);
    for (int i = 0; i < kKills; ++i) {
        QProcess writer;
        writer.start(QStringLiteral(SETTINGS_WRITER), {path});
        QVERIFY2(writer.waitForReadyRead(10000), "the writer did not start");
        const QByteArray before = readBytes(path);
        QThread::usleep(random.bounded(3000));
        writer.kill();
        QVERIFY(writer.waitForFinished(5000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QByteArray after = readBytes(path);
        if (after != first && after != second)
            QFAIL(qPrintable(QStringLiteral("kill %1 left a torn file of %2 bytes").arg(i).arg(after.size())));
        ++(after == before ? old : renewed);
    }
    // The writer never pauses, so every kill lands inside some write: reading, the temporary
    // file, its flush or the rename.
    qInfo("%d kills: %d left the file as it was, %d after a further write", kKills, old, renewed);
    // The temporary file has no name until the moment before the rename: a kill just there
    // leaves a whole copy under a temporary name, never a part of one.
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.removeAll(QStringLiteral("Rivect.ini")) == 1, qPrintable(left.join(u' ')));
    for (const QString& name : left) {
        const QByteArray copy = readBytes(dir.filePath(name));
        QVERIFY2(left.size() <= 2 && (copy == first || copy == second), qPrintable(left.join(u' ')));
    }
}

void FilesTest::messageFileTroubleWhileRunning_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::newRow("removed") << "removed";
    QTest::newRow("a folder in its place") << "folder";
    QTest::newRow("a pipe nobody writes to") << "fifo";
    QTest::newRow("no read permission") << "unreadable";
}

void FilesTest::messageFileTroubleWhileRunning()
{
    QFETCH(QString, trouble);
    if (trouble == QLatin1String("unreadable") && geteuid() == 0)
        QSKIP("root reads a file whatever its permissions");

    LiveWindow lw;
    ClientWindow& w = lw.w();
    const QString path = lw.pub.Pub_MessPath;
    QVERIFY(writeBytesOk(path, Cp932::encode(QStringLiteral("# own\r\nピットイン\r\n給油\r\n"))));
    lw.editor.onOpen = [&](int n) { lw.editor.finish(n); };
    w.Btn_EditMess_Click();
    const QStringList own = {QString(), QStringLiteral("ピットイン"), QStringLiteral("給油")};
    QCOMPARE(lw.pub.Pub_MessList, own);

    QVERIFY(QFile::remove(path));
    const QByteArray native = QFile::encodeName(path);
    if (trouble == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));
    else if (trouble == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(native.constData(), 0644), 0);
    else if (trouble == QLatin1String("unreadable"))
        QVERIFY(writeBytesOk(path, "x\r\n") && ::chmod(native.constData(), 0) == 0);

    FifoRescue rescue(path, 3000);
    QElapsedTimer clock;
    clock.start();
    w.Btn_EditMess_Click();
    const qint64 took = clock.elapsed();
    QVERIFY2(!rescue.rescued(), "the reload hung on the file until it was released");
    // Generous: writing the default file waits for the disk, which a busy machine can slow.
    QVERIFY2(took < 2500, qPrintable(QStringLiteral("the reload took %1 ms").arg(took)));
    QVERIFY(lw.dialogs.boxes.isEmpty());
    QCOMPARE(w.Lbl_OutMess.caption(), QString());
    if (trouble == QLatin1String("removed")) {
        QCOMPARE(lw.pub.Pub_MessList, kDefaultList);
        QVERIFY(QFileInfo(path).isFile());
    } else {
        QCOMPARE(lw.pub.Pub_MessList, own);  // the list in use is kept
    }
    QCOMPARE(lw.pub.Pub_MessCount, int16_t(lw.pub.Pub_MessList.size() - 1));
    w.Btn_MessChg_Click();
    QCOMPARE(w.Lbl_OutMess.caption(), lw.pub.Pub_MessList.at(1));
}

void FilesTest::settingsFileThatNeverEnds()
{
    // A pipe in the settings file's place, as another program might leave it: the start-up
    // read must not wait for a writer that never comes.
    QTemporaryDir dir;
    PublicConst pub;
    pub.Pub_IniPath = dir.filePath(Settings::kFileName);
    QCOMPARE(::mkfifo(QFile::encodeName(pub.Pub_IniPath).constData(), 0644), 0);
    FifoRescue rescue(pub.Pub_IniPath, 3000);
    Ini_ReadHost(pub);
    QVERIFY2(!rescue.rescued(), "the read hung on the file until it was released");
    QCOMPARE(pub.Pub_HostIP, Settings::kDefaultHostIP);
    QCOMPARE(pub.Pub_IniResult, 0);
}

QTEST_GUILESS_MAIN(FilesTest)
#include "test_files.moc"

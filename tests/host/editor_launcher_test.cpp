// The desktop launcher against fake editors made visible through temporary XDG folders, PATH
// and $VISUAL; each case runs the launcher in a fresh probe process.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

/// A temporary desktop: XDG folders, a bin folder for PATH, and the files a fake editor uses.
struct FakeDesktop {
    QTemporaryDir root;
    QString dataHome, configHome, systemData, systemConfig, bin, record, release;

    FakeDesktop()
    {
        const QString r = root.path();
        dataHome = r + "/data";
        configHome = r + "/config";
        systemData = r + "/sysdata";
        systemConfig = r + "/sysconfig";
        bin = r + "/bin";
        record = r + "/record";
        release = r + "/release";
        for (const QString& d : {dataHome + "/applications", configHome, systemData, systemConfig, bin})
            QDir().mkpath(d);
    }

    void write(const QString& path, const QByteArray& content, bool executable = false) const
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        if (executable)
            f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
    }

    /// An editor that records its arguments (NUL-separated), runs until release exists and
    /// exits with status.
    void addEditorScript(const QString& name, int status = 0) const
    {
        write(bin + "/" + name,
              "#!/bin/sh\nPATH=/usr/bin:/bin\n"
              "printf '%s\\0' \"$@\" > '" + record.toUtf8() + ".tmp' && mv '" + record.toUtf8()
                  + ".tmp' '" + record.toUtf8() + "'\n"
                  "while [ ! -e '" + release.toUtf8() + "' ]; do sleep 0.05; done\n"
                  "exit " + QByteArray::number(status) + "\n",
              true);
    }

    /// Makes a desktop entry for the editor script the default application for plain text.
    void addDefaultTextApplication() const
    {
        addEditorScript("fake-editor");
        write(dataHome + "/applications/rivect-fake-editor.desktop",
              "[Desktop Entry]\nType=Application\nName=Fake Editor\n"
              "Exec=\"" + bin.toUtf8() + "/fake-editor\" %f\nMimeType=text/plain;\n");
        write(configHome + "/mimeapps.list",
              "[Default Applications]\ntext/plain=rivect-fake-editor.desktop\n");
    }

    /// A terminal emulator that runs what follows its -e option.
    void addTerminal() const
    {
        write(bin + "/x-terminal-emulator",
              "#!/bin/sh\n[ \"$1\" = \"-e\" ] || exit 3\nshift\nexec \"$@\"\n", true);
    }

    QProcessEnvironment environment(const QString& visual = {}) const
    {
        QProcessEnvironment env;
        env.insert("HOME", root.path());
        env.insert("PATH", bin);
        env.insert("XDG_DATA_HOME", dataHome);
        env.insert("XDG_CONFIG_HOME", configHome);
        env.insert("XDG_DATA_DIRS", systemData);
        env.insert("XDG_CONFIG_DIRS", systemConfig);
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/rivect-no-session-bus");
        env.insert("LC_ALL", "C.UTF-8");
        if (!visual.isEmpty())
            env.insert("VISUAL", visual);
        const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
        if (!asan.isEmpty())
            env.insert("ASAN_OPTIONS", asan);
        return env;
    }

    /// Runs the probe on file; returns its output lines.
    QStringList probe(const QString& file, const QString& visual = {}) const
    {
        QProcess p;
        p.setProcessEnvironment(environment(visual));
        p.start(QStringLiteral(EDITOR_PROBE), {file, record, release});
        if (!p.waitForFinished(30000))
            return {"probe hung"};
        return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    QStringList recordedArguments() const
    {
        QFile f(record);
        if (!f.open(QIODevice::ReadOnly))
            return {"no record"};
        QByteArray data = f.readAll();
        if (data.endsWith('\0'))
            data.chop(1);
        QStringList args;
        for (const QByteArray& a : data.split('\0'))
            args.append(QString::fromUtf8(a));
        return args;
    }
};

const QStringList kRanAndEnded{"opened", "active=1", "ended", "succeeded=1"};

} // namespace

class EditorLauncherTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaultApplication_getsPathAsOneArgument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "OutMess.txt";
        QTest::newRow("spaces and quotes") << "my folder/Out 'Mess' \"x\".txt";
        QTest::newRow("shell characters") << "a;b $HOME `id` & |c*.txt";
    }
    void defaultApplication_getsPathAsOneArgument()
    {
        QFETCH(QString, name);
        FakeDesktop desk;
        desk.addDefaultTextApplication();
        const QString file = desk.root.path() + "/" + name;
        QDir().mkpath(QFileInfo(file).path());
        desk.write(file, "x\r\n");
        QCOMPARE(desk.probe(file), kRanAndEnded);
        QCOMPARE(desk.recordedArguments(), QStringList{file});
    }

    void visualEditor_runsInTerminalWithItsOwnArguments()
    {
        FakeDesktop desk;
        desk.addEditorScript("term-editor");
        desk.addTerminal();
        const QString file = desk.root.path() + "/Out Mess.txt";
        QCOMPARE(desk.probe(file, "term-editor --wait"), kRanAndEnded);
        QCOMPARE(desk.recordedArguments(), (QStringList{"--wait", file}));
    }

    void visualEditor_withoutTerminal_fallsBackToXdgOpen()
    {
        FakeDesktop desk;
        desk.addEditorScript("term-editor");
        desk.addEditorScript("xdg-open");
        const QString file = desk.root.path() + "/Out;Mess.txt";
        QCOMPARE(desk.probe(file, "term-editor"), kRanAndEnded);
        QCOMPARE(desk.recordedArguments(), QStringList{file});
    }

    void launcherThatFailsAfterStarting_reportsIt()
    {
        // xdg-open finding no application says so only in its exit status (3).
        FakeDesktop desk;
        desk.addEditorScript("xdg-open", 3);
        const QString file = desk.root.path() + "/OutMess.txt";
        QCOMPARE(desk.probe(file), (QStringList{"opened", "active=1", "ended", "succeeded=0"}));
    }

    void noEditorAnywhere_givesNull()
    {
        FakeDesktop desk;
        QCOMPARE(desk.probe(desk.root.path() + "/OutMess.txt"), QStringList{"null"});
        QCOMPARE(desk.probe(desk.root.path() + "/OutMess.txt", "missing-editor"), QStringList{"null"});
    }
};

QTEST_GUILESS_MAIN(EditorLauncherTest)
#include "editor_launcher_test.moc"

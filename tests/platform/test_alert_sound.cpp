// The Linux chimes through libcanberra's ALSA backend, whatever sound this machine has: ALSA's
// default device is a null device of the test's own, or a device that does not exist. Every
// chime file is found and played; a missing file or device is told once, play never waits,
// and the end does not hang. The folder of the chimes in the build tree and installed.
#include "platform/linux/canberra_alert_sound.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestAlertSound : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QFile conf(m_config.filePath(QStringLiteral("alsa.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("pcm.!default { type null }\n");
        conf.close();
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(conf.fileName()));
        qputenv("CANBERRA_DRIVER", "alsa");
    }

    void playedOrToldOnce_data()
    {
        QTest::addColumn<bool>("filesThere");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("told");
        QTest::newRow("every chime on a device") << true << QByteArray() << false;
        QTest::newRow("files missing") << false << QByteArray() << true;
        QTest::newRow("no such device") << true << QByteArray("rivect-no-such-device") << true;
    }

    void playedOrToldOnce()
    {
        QFETCH(bool, filesThere);
        QFETCH(QByteArray, device);
        QFETCH(bool, told);
        QTemporaryDir empty;
        const QString folder = filesThere ? QStringLiteral(RIVECT_SOUNDS) : empty.path();
        if (device.isEmpty())
            qunsetenv("CANBERRA_DEVICE");
        else
            qputenv("CANBERRA_DEVICE", device);
        // Shared with the workers: one that a loaded machine keeps past its sound's end is let go
        // and may still tell its line afterwards.
        struct Told {
            QMutex mutex;
            QStringList lines;
            qsizetype size()
            {
                const QMutexLocker lock(&mutex);
                return lines.size();
            }
        };
        const auto heard = std::make_shared<Told>();
        const CanberraAlertSound::Access access{folder, [heard](const QString& line) {
                                                    const QMutexLocker lock(&heard->mutex);
                                                    heard->lines << line;
                                                }};
        // One sound each, each failure told by its own sound.
        for (const AlertTone tone : kAlertTones)
            CanberraAlertSound(access).play(tone);
        QTRY_COMPARE_WITH_TIMEOUT(heard->size(), told ? qsizetype(kAlertTones.size()) : 0, 60000);
        // More tones at once than are kept waiting: each call returns, the first two at least
        // reach the device, and what fails is told once.
        {
            CanberraAlertSound sound(access);
            for (const AlertTone tone : kAlertTones)
                sound.play(tone);
        }
        QTRY_COMPARE_WITH_TIMEOUT(heard->size(), told ? qsizetype(kAlertTones.size()) + 1 : 0, 60000);
        const QMutexLocker lock(&heard->mutex);
        for (const QString& line : std::as_const(heard->lines))
            QVERIFY2(line.startsWith(QStringLiteral("Rivect: the alert chimes cannot be played")), qPrintable(line));
    }

    void soundFolderBuiltOrInstalled()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("usr/bin")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("usr/share/rivect/sounds")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("build/src/app/sounds")));
        QCOMPARE(CanberraAlertSound::soundFolderFor(root.filePath(QStringLiteral("usr/bin"))),
                 root.filePath(QStringLiteral("usr/share/rivect/sounds")));
        QCOMPARE(CanberraAlertSound::soundFolderFor(root.filePath(QStringLiteral("build/src/app"))),
                 root.filePath(QStringLiteral("build/src/app/sounds")));
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(TestAlertSound)
#include "test_alert_sound.moc"

// The host registration check over a fake socket: the request, the reply, the watchdog and
// the failures of the socket.
#include "window_fixture.h"

#include "config/settings.h"
#include "platform/cp932.h"

#include <QTest>

using namespace MsgBox;

namespace {

const QString kNoAnswer = QStringLiteral("ホスト側から応答がありません。\r確認してください。");

/// A loaded window whose operator answers the input box with the loopback address.
struct Registration : WindowFixture {
    Registration() { dialogs.inputAnswers = {QStringLiteral("127.0.0.1")}; }
    void pressHostIP(const QString& answer = QStringLiteral("127.0.0.1"))
    {
        dialogs.inputAnswers = {answer};
        w().Btn_HostIP_Click();
    }
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class RegistrationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void press_storesAddress_setsUpSocket_andSendsLocalAddress()
    {
        Registration f;
        ClientWindow& w = f.w();
        w.setFocus(w.Btn_Start);
        f.pressHostIP(QStringLiteral("127.0.0.1"));
        QCOMPARE(f.pub.Pub_HostIP, QStringLiteral("127.0.0.1"));
        QCOMPARE(f.pub.Pub_IniSection, Settings::kSection);
        QCOMPARE(f.pub.Pub_IniKey, Settings::kKey);
        QVERIFY(f.pub.Pub_IniResult != 0);
        QVERIFY(Cp932::decode(readFile(f.pub.Pub_IniPath)).contains(QStringLiteral("HostIPNo=127.0.0.1")));
        QCOMPARE(f.chker.log, (QStringList{"close", "bind 7001", "send 127.0.0.1"}));
        QCOMPARE(f.chker.remoteHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(f.chker.remotePort(), uint16_t(7002));
        QCOMPARE(w.m_HostWait, VbTrue);
        QVERIFY(w.Time_HostChk.enabled());
        QCOMPARE(w.focus(), &w.Btn_MessChg);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QVERIFY(f.winsock1.log.isEmpty());
    }

    void press_keepsOtherSectionsOfSettingsFile()
    {
        Registration f;
        const QByteArray before = Cp932::encode(QStringLiteral(
            "[表示]\r\nフォント=ＭＳ ゴシック\r\n[環境設定]\r\nHostIPNo=127.0.0.2\r\nOther=1\r\n[末尾]\r\nx=y\r\n"));
        WindowFixture::writeFile(f.pub.Pub_IniPath, before);
        f.pressHostIP(QStringLiteral("127.0.0.1"));
        QCOMPARE(Cp932::decode(readFile(f.pub.Pub_IniPath)),
                 QStringLiteral("[表示]\r\nフォント=ＭＳ ゴシック\r\n[環境設定]\r\nHostIPNo=127.0.0.1\r\n"
                                "Other=1\r\n[末尾]\r\nx=y\r\n"));
    }

    void press_socketFailure_tellsOperator_andWaitsForNothing_data()
    {
        QTest::addColumn<QList<SocketError>>("bindErrors");
        QTest::addColumn<QList<SocketError>>("sendErrors");
        QTest::addColumn<QString>("textPart");
        QTest::newRow("port busy") << QList<SocketError>{SocketError::AddressInUse} << QList<SocketError>{}
                                   << QStringLiteral("使用中");
        QTest::newRow("bind refused") << QList<SocketError>{SocketError::Other} << QList<SocketError>{}
                                      << QStringLiteral("開けませんでした");
        QTest::newRow("unreachable") << QList<SocketError>{} << QList<SocketError>{SocketError::HostUnreachable}
                                     << QStringLiteral("送れませんでした");
    }
    void press_socketFailure_tellsOperator_andWaitsForNothing()
    {
        QFETCH(QList<SocketError>, bindErrors);
        QFETCH(QList<SocketError>, sendErrors);
        QFETCH(QString, textPart);
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();  // an earlier request whose watchdog still runs
        w.setFocus(w.Btn_Start);
        f.chker.bindErrors = bindErrors;
        f.chker.sendErrors = sendErrors;
        f.pressHostIP();
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QVERIFY2(f.dialogs.boxes[0].prompt.contains(textPart), qPrintable(f.dialogs.boxes[0].prompt));
        QCOMPARE(f.dialogs.boxes[0].style, vbOKOnly | vbCritical);
        QCOMPARE(w.m_HostWait, VbFalse);
        QVERIFY(!w.Time_HostChk.enabled());
        QCOMPARE(f.chker.sent.size(), 1);
        QCOMPARE(w.focus(), &w.Btn_MessChg);
        // The window stays usable: the next press sets the check up again.
        f.pressHostIP();
        QCOMPARE(w.m_HostWait, VbTrue);
        QCOMPARE(f.chker.sent.size(), 2);
    }

    void reply_carName_setsCar_andWatchdogStaysSilent_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("car 3") << QStringLiteral("３号車");
        QTest::newRow("none of the items") << QStringLiteral("６号車");
        QTest::newRow("not registered with a blank") << QStringLiteral("未登録 ");
    }
    void reply_carName_setsCar_andWatchdogStaysSilent()
    {
        QFETCH(QString, reply);
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();
        f.chker.deliver(reply);
        QCOMPARE(w.m_HostWait, VbFalse);
        QCOMPARE(w.Cmb_CarNo.text(), reply);
        w.Time_HostChk_Timer();
        QVERIFY(!w.Time_HostChk.enabled());
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void watchdog_newRequestDuringWarning_isStillAwaited()
    {
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();
        bool pressed = false;
        f.dialogs.whileOpen = [&] {
            if (!pressed) {
                pressed = true;
                f.pressHostIP();
            }
        };
        w.Time_HostChk_Timer();
        QCOMPARE(w.m_HostWait, VbTrue);
        QVERIFY(w.Time_HostChk.enabled());
        w.Time_HostChk_Timer();
        QCOMPARE(f.dialogs.boxes.size(), 2);
        QCOMPARE(w.m_HostWait, VbFalse);
    }

    void reply_connectionReset_rebindsAndRetriesOnce()
    {
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();
        w.Time_HostChk.setEnabled(true);
        f.chker.log.clear();
        f.chker.takeErrors = {SocketError::ConnectionReset, SocketError::ConnectionReset,
                              SocketError::ConnectionReset};
        f.chker.deliver(QStringLiteral("３号車"));
        QCOMPARE(w.m_HostWait, VbFalse);
        QCOMPARE(f.chker.log, (QStringList{"close", "bind 7001"}));
        QCOMPARE(f.chker.takeErrors.size(), 1);  // the first take and one retry, no more
        QVERIFY(f.chker.isBound());
        QVERIFY(w.Cmb_CarNo.text().isEmpty());
        QVERIFY(f.dialogs.boxes.isEmpty());
        w.Time_HostChk_Timer();
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void reply_otherTakeError_retriesWithoutRebind()
    {
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();
        f.chker.log.clear();
        f.chker.dataArrival = nullptr;  // two datagrams queued before the event runs
        f.chker.deliver(QStringLiteral("１号車"));
        f.chker.deliver(QStringLiteral("２号車"));
        f.chker.takeErrors = {SocketError::Other};
        w.WinsockChker_DataArrival();
        QVERIFY(f.chker.log.isEmpty());
        QCOMPARE(w.Cmb_CarNo.text(), QStringLiteral("２号車"));
    }

    void reply_duringRun_setsDisabledBox_andLeavesTimingSocketAlone()
    {
        Registration f;
        ClientWindow& w = f.w();
        f.pressHostIP();
        w.Cmb_CarNo.setEnabled(false);
        f.winsock1.log.clear();
        f.chker.deliver(QStringLiteral("５号車"));
        QCOMPARE(w.Cmb_CarNo.text(), QStringLiteral("５号車"));
        QVERIFY(!w.Cmb_CarNo.enabled());
        QVERIFY(f.winsock1.log.isEmpty());
    }
};

QTEST_GUILESS_MAIN(RegistrationTest)
#include "registration_test.moc"

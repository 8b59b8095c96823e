// Qt's own Japanese texts on the message boxes' standard buttons, with their accelerators: as
// on a Japanese Windows, whatever language the PC runs in.
#include "ui/qt_translation.h"
#include "ui_test_main.h"

#include <QMessageBox>
#include <QPushButton>

class TestQtTranslation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(installQtTranslation(*QCoreApplication::instance()), "qtbase_ja.qm was found nowhere");
    }

    void standardButtons_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("button");
        QTest::addColumn<QString>("text");
        // The key that answers with the button; none where the text has no accelerator.
        QTest::addColumn<int>("key");
        QTest::newRow("Yes") << QMessageBox::Yes << QStringLiteral("はい(&Y)") << int(Qt::Key_Y);
        QTest::newRow("No") << QMessageBox::No << QStringLiteral("いいえ(&N)") << int(Qt::Key_N);
        QTest::newRow("OK") << QMessageBox::Ok << QStringLiteral("OK") << 0;
        QTest::newRow("Cancel") << QMessageBox::Cancel << QStringLiteral("キャンセル") << 0;
    }

    void standardButtons()
    {
        QFETCH(QMessageBox::StandardButton, button);
        QFETCH(QString, text);
        QFETCH(int, key);
        QMessageBox box(QMessageBox::Question, QStringLiteral("Rivect"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(button)->text(), text);
        if (key == 0)
            return;
        box.open();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        // Through the window, as the platform delivers keys, so that the shortcut map sees it.
        QTest::keyClick(box.windowHandle(), Qt::Key(key), Qt::AltModifier);
        // A mnemonic presses the button as a click the eye can see: it is answered a moment later.
        QTRY_COMPARE_WITH_TIMEOUT(box.clickedButton(), box.button(button), 30000);
    }
};

RIVECT_UI_TEST_MAIN(TestQtTranslation, SCREEN_CONFIG)
#include "test_qt_translation.moc"

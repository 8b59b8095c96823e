// The pieces the windows are made of: timers bound to their models, the real message and
// input boxes, the fixed look (fonts, palette, caption line breaks) and the large labels.
#include "ui/appearance.h"
#include "ui/large_text_label.h"
#include "ui/qt_dialogs.h"
#include "ui/timer_binding.h"
#include "ui_test_main.h"

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <tuple>

namespace {

/// Runs check on the modal dialog as soon as it is open.
void whenModalOpens(std::function<void(QWidget*)> check)
{
    QTimer::singleShot(0, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        check(modal);
    });
}

/// A label of the given class set up as the view sets up its labels.
template <typename Label>
QImage renderLabel(const QString& text, const QFont& font, Qt::Alignment align, bool box, QColor fore)
{
    Label label;
    label.setTextFormat(Qt::PlainText);
    label.setFont(font);
    label.setAlignment(align);
    label.setWordWrap(true);
    label.setMargin(0);
    label.setIndent(0);
    if (box) {
        label.setFrameShape(QFrame::Box);
        label.setFrameShadow(QFrame::Plain);
        label.setLineWidth(1);
    }
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, fore);
    p.setColor(QPalette::Window, Qt::black);
    label.setPalette(p);
    label.setAutoFillBackground(true);
    label.setText(text);
    label.resize(640, 220);
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct ImageDiff {
    int ink = 0;        ///< pixels the reference draws in
    int different = 0;  ///< pixels that differ by more than an antialiasing step
};

ImageDiff compareImages(const QImage& reference, const QImage& other)
{
    ImageDiff d;
    const QRgb background = reference.pixel(reference.width() / 2, reference.height() - 2);
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            const QRgb a = reference.pixel(x, y);
            const QRgb b = other.pixel(x, y);
            if (a != background)
                ++d.ink;
            const int delta = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
            if (delta > 96)
                ++d.different;
        }
    }
    return d;
}

/// A large label that collects the region of every paint.
struct PaintedLabel : LargeTextLabel {
    QRegion painted;
    void paintEvent(QPaintEvent* event) override
    {
        painted += event->region();
        LargeTextLabel::paintEvent(event);
    }
};

} // namespace

class TestViewParts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void timerRunsExactlyWhileItsModelIsEnabled()
    {
        // A minute's interval: no tick can come during the test, however slowly it runs.
        constexpr int kIntervalMs = 60000;
        TimerModel model("Time_Test", kIntervalMs, true);
        int calls = 0;
        {
            TimerBinding binding(model, [&] { ++calls; });
            QVERIFY(binding.timer().isActive());
            QCOMPARE(binding.timer().interval(), kIntervalMs);
            QCOMPARE(binding.timer().timerType(), Qt::PreciseTimer);
            model.setEnabled(false);
            QVERIFY(!binding.timer().isActive());
            model.setEnabled(true);
            QVERIFY(binding.timer().isActive());

            // Enabling a running timer leaves its interval alone; restart() begins it afresh.
            QTest::qWait(400);
            const int before = binding.timer().remainingTime();
            QVERIFY2(before <= kIntervalMs - 400 + 1, qPrintable(QString::number(before)));
            model.setEnabled(true);
            QVERIFY(binding.timer().remainingTime() <= before);
            QElapsedTimer sinceRestart;
            sinceRestart.start();
            model.restart();
            const int after = binding.timer().remainingTime();
            QVERIFY2(after >= kIntervalMs - sinceRestart.elapsed() - 1,
                     qPrintable(QStringLiteral("%1 after a restart, %2 before").arg(after).arg(before)));
        }
        QVERIFY(!model.changed);
        QCOMPARE(calls, 0);
    }

    void ticksCallTheHandlerUntilTheModelIsDisabled()
    {
        TimerModel model("Time_Test", 20, false);
        int calls = 0;
        TimerBinding binding(model, [&] {
            if (++calls == 3)
                model.setEnabled(false);
        });
        QTest::qWait(80);
        QCOMPARE(calls, 0);
        model.setEnabled(true);
        QTRY_COMPARE(calls, 3);
        QTest::qWait(100);
        QCOMPARE(calls, 3);
    }

    void ticksMissedInAStallAreMadeUpAndTheGridIsKept()
    {
        // A stalled window thread (here: one handler that blocks for 350 ms) must not cost
        // ticks: each wake-up of the timer runs the ticks due by then, never one ahead, and
        // aims its next shot at the grid of the start. Each wake-up is judged against the
        // times around it, so a machine that runs the timer late changes the figures, not the
        // verdict. The binding's own clock starts inside setEnabled, between the two here.
        constexpr qint64 kInterval = 100;
        constexpr qint64 kMaxCatchUp = 5;  // the binding runs at most this many late ticks at once
        constexpr qint64 kSlackMs = 3;     // rounding to whole milliseconds, and the grid's tolerance
        TimerModel model("Time_Test", int(kInterval), false);
        int calls = 0;
        TimerBinding binding(model, [&] {
            if (++calls == 2)
                QThread::msleep(350);
        });
        // Read in this order, the two clocks bracket the binding's at the reading of the shot.
        struct WakeUp {
            int callsAfter;
            qint64 notBefore;  ///< its end, on the clock started after the binding's
            int remainingMs;   ///< of the next shot, right after it
            qint64 notAfter;   ///< its end, on the clock started before the binding's
        };
        QList<WakeUp> wakeUps;
        QElapsedTimer before, after;
        // Connected after the binding: runs right after each of its wake-ups.
        QObject::connect(&binding.timer(), &QTimer::timeout, [&] {
            wakeUps.append(WakeUp{calls, after.elapsed(), binding.timer().remainingTime(), before.elapsed()});
        });
        before.start();
        model.setEnabled(true);
        after.start();
        QTRY_VERIFY_WITH_TIMEOUT(calls >= 12, 30000);
        model.setEnabled(false);

        int callsBefore = 0;
        qint64 previousEnd = 0;  // lower bound of the binding's clock at the end of the wake-up before
        bool stallJudged = false;
        for (const WakeUp& w : wakeUps) {
            const qint64 dueAtMost = (w.notAfter + 1) / kInterval;
            const qint64 dueAtLeast = previousEnd / kInterval;
            if (dueAtMost - callsBefore > kMaxCatchUp)
                break;  // held up past the catch-up limit: the count no longer follows the calls
            const QString at = QStringLiteral("wake-up after %1 calls, at %2..%3 ms: %4 calls, next in %5 ms")
                                   .arg(callsBefore).arg(w.notBefore).arg(w.notAfter).arg(w.callsAfter)
                                   .arg(w.remainingMs);
            QVERIFY2(w.callsAfter >= dueAtLeast, qPrintable(QStringLiteral("ticks lost: ") + at));
            QVERIFY2(w.callsAfter <= std::max<qint64>(callsBefore + 1, dueAtMost),
                     qPrintable(QStringLiteral("ticks ahead of time: ") + at));
            // The next shot lands on the grid, or at once when ticks are already owed.
            const qint64 nextTick = (w.callsAfter + 1) * kInterval;
            QVERIFY2(w.remainingMs == 0
                         || (w.notBefore + w.remainingMs <= nextTick + kSlackMs + 2
                             && w.notAfter + w.remainingMs + kSlackMs + 2 >= nextTick),
                     qPrintable(QStringLiteral("next shot off the grid: ") + at));
            if (callsBefore == 2)
                stallJudged = true;
            callsBefore = w.callsAfter;
            previousEnd = w.notBefore;
        }
        if (!stallJudged)
            QSKIP("the machine held the timer back past the catch-up limit: the stall was not judged");
        // The wake-up after the stall made up the ticks the stall cost: the count followed
        // the clock, which stood at 550 ms or later by then.
        const auto afterStall = std::find_if(wakeUps.begin(), wakeUps.end(), [](const WakeUp& w) { return w.callsAfter > 2; });
        QVERIFY(afterStall != wakeUps.end() && afterStall->callsAfter >= 5);
    }

    void messageBoxFollowsItsStyle()
    {
        QtDialogs dialogs;
        whenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("終了確認"));
            QCOMPARE(box->text(), QStringLiteral("終了します。\nよろしいですか？"));
            QCOMPARE(box->icon(), QMessageBox::Information);
            QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
            box->button(QMessageBox::No)->click();
        });
        const int answer = dialogs.msgBox(QStringLiteral("終了します。\rよろしいですか？"),
                                          MsgBox::vbYesNo | MsgBox::vbInformation | MsgBox::vbDefaultButton1,
                                          QStringLiteral("終了確認"));
        QCOMPARE(answer, MsgBox::vbNo);
    }

    void messageBoxDefaultsAndTitle()
    {
        QtDialogs dialogs;
        whenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Rivect"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(dialogs.msgBox(QStringLiteral("x"), MsgBox::vbYesNo | MsgBox::vbCritical | MsgBox::vbDefaultButton2,
                                QString()),
                 MsgBox::vbNo);

        whenModalOpens([](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(dialogs.msgBox(QStringLiteral("y"), MsgBox::vbOKOnly, QString()), MsgBox::vbOK);
    }

    void inputBoxReturnsTheTextOrEmptyOnCancel()
    {
        QtDialogs dialogs;
        whenModalOpens([](QWidget* w) {
            auto* input = qobject_cast<QInputDialog*>(w);
            QVERIFY(input);
            QCOMPARE(input->windowTitle(), QStringLiteral("Rivect"));
            QCOMPARE(input->labelText(), QStringLiteral("一\n二"));
            QCOMPARE(input->textValue(), QStringLiteral("192.168.1.10"));
            input->setTextValue(QStringLiteral("127.0.0.1"));
            input->accept();
        });
        QCOMPARE(dialogs.inputBox(QStringLiteral("一\r二"), QString(), QStringLiteral("192.168.1.10")),
                 QStringLiteral("127.0.0.1"));

        whenModalOpens([](QWidget* w) {
            auto* input = qobject_cast<QInputDialog*>(w);
            QVERIFY(input);
            QCOMPARE(input->windowTitle(), QStringLiteral("ホスト"));
            input->reject();
        });
        QCOMPARE(dialogs.inputBox(QStringLiteral("p"), QStringLiteral("ホスト"), QStringLiteral("keep")), QString());
    }

    void captionsBreakOnCarriageReturns()
    {
        QCOMPARE(Appearance::displayText(QStringLiteral("a\rb")), QStringLiteral("a\nb"));
        QCOMPARE(Appearance::displayText(QStringLiteral("a\r\nb")), QStringLiteral("a\nb"));
        QCOMPARE(Appearance::displayText(QStringLiteral("a\nb")), QStringLiteral("a\nb"));
        QCOMPARE(Appearance::displayText(QStringLiteral("a\r\rb\r")), QStringLiteral("a\n\nb\n"));
    }

    void japaneseFacesResolveToInstalledGothics()
    {
        const QFontInfo fixed(Appearance::toQFont({FontFace::Gothic, 36, false}));
        const QFontInfo proportional(Appearance::toQFont({FontFace::PGothic, 9, false}));
        if (QFontDatabase::families().contains(QStringLiteral("IPAGothic"))) {
            QCOMPARE(fixed.family(), QStringLiteral("IPAGothic"));
            QCOMPARE(proportional.family(), QStringLiteral("IPAPGothic"));
        } else {
            QSKIP("the IPA Gothic fonts are not installed");
        }
        QCOMPARE(Appearance::toQFont({FontFace::PGothic, 21.75, true}).pointSizeF(), 21.75);
        QVERIFY(Appearance::toQFont({FontFace::PGothic, 21.75, true}).italic());
    }

    void largeLabelsLookLikeTheLabelTheyStandFor()
    {
        // The lap time's font in the largest layout and in the smallest.
        const QFont large = Appearance::toQFont({FontFace::Gothic, 95.25, false});
        const QFont small = Appearance::toQFont({FontFace::Gothic, 36, false});
        QVERIFY(QFontInfo(large).pixelSize() >= LargeTextLabel::kLargePixelSize);
        struct Case {
            QString text;
            QFont font;
            Qt::Alignment align;
            bool box;
            bool cached;
        };
        const Case cases[] = {
            {QStringLiteral("1:23.45"), large, Qt::AlignLeft | Qt::AlignTop, false, true},
            {QStringLiteral("12:34.56"), large, Qt::AlignHCenter | Qt::AlignTop, true, true},
            {QStringLiteral("0:07.9"), large, Qt::AlignRight | Qt::AlignTop, false, true},
            {QStringLiteral("１号車 8"), large, Qt::AlignHCenter | Qt::AlignVCenter, false, true},
            // Glyphs over 128 pixels are placed to the half pixel.
            {QStringLiteral("1:23"), Appearance::toQFont({FontFace::Gothic, 155.25, false}), Qt::AlignHCenter, false, true},
            {QStringLiteral("1:23.45"), small, Qt::AlignLeft | Qt::AlignTop, false, false},
            // Too wide for one line: QLabel wraps it.
            {QStringLiteral("123456789:123456789"), large, Qt::AlignLeft | Qt::AlignTop, false, false},
            {QStringLiteral("1\n2"), large, Qt::AlignLeft | Qt::AlignTop, false, false},
        };
        for (const Case& c : cases) {
            LargeTextLabel probe;
            probe.setFont(c.font);
            probe.setTextFormat(Qt::PlainText);
            probe.setText(c.text);
            probe.resize(640, 220);
            QCOMPARE(probe.drawsFromCache(), c.cached);

            const QImage reference = renderLabel<QLabel>(c.text, c.font, c.align, c.box, Qt::white);
            const QImage drawn = renderLabel<LargeTextLabel>(c.text, c.font, c.align, c.box, Qt::white);
            const ImageDiff d = compareImages(reference, drawn);
            QVERIFY2(d.ink > 500, qPrintable(c.text));
            // Glyphs land within a quarter pixel of where QLabel puts them: only some edge
            // pixels may differ by more than an antialiasing step.
            QVERIFY2(d.different * 50 <= d.ink,
                     qPrintable(QStringLiteral("%1: %2 of %3 ink pixels differ").arg(c.text).arg(d.different).arg(d.ink)));
            if (!c.cached)
                QCOMPARE(d.different, 0);
        }
    }

    void largeLabelsRenderEachCharacterOnce()
    {
        LargeTextLabel label;
        label.setFont(Appearance::toQFont({FontFace::Gothic, 95.25, false}));
        label.setTextFormat(Qt::PlainText);
        label.resize(640, 220);
        label.setText(QStringLiteral("1:11.11"));
        label.grab();
        const int afterFirst = label.cachedImages();
        QVERIFY(afterFirst >= 3 && afterFirst <= 7);
        label.setText(QStringLiteral("1:11.11"));
        label.grab();
        QCOMPARE(label.cachedImages(), afterFirst);
        // Another colour needs images of its own; a font change drops them all.
        QPalette p = label.palette();
        p.setColor(QPalette::WindowText, Qt::red);
        label.setPalette(p);
        label.grab();
        QVERIFY(label.cachedImages() > afterFirst);
        label.setFont(Appearance::toQFont({FontFace::Gothic, 99.75, false}));
        QCOMPARE(label.cachedImages(), 0);
    }

    void largeLabelsRepaintOnlyWhatChanged()
    {
        // From, to, and the most of the label's width the repaint may take, in percent. One
        // character more moves every character of a centred caption.
        const std::tuple<QString, QString, int> cases[] = {
            {QStringLiteral("1'23\"45"), QStringLiteral("1'23\"55"), 30},
            {QStringLiteral("9'59\"99"), QStringLiteral("10'00\"00"), 100},
        };
        for (const auto& [from, to, maxShare] : cases) {
            PaintedLabel label;
            label.setTextFormat(Qt::PlainText);
            label.setDesignFont(Appearance::toQFont({FontFace::Gothic, 95.25, false}));
            label.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            label.setGeometry(0, 0, 632, 118);
            label.setCaption(from);
            label.show();
            QVERIFY(QTest::qWaitForWindowExposed(&label));
            label.painted = QRegion();
            label.setCaption(to);
            QTRY_VERIFY(!label.painted.isEmpty());
            QVERIFY2(label.painted.boundingRect().width() * 100 <= label.width() * maxShare, qPrintable(to));
            // What is on screen now is what a full paint of the new caption draws.
            const QImage onScreen = label.screen()->grabWindow(label.winId()).toImage();
            const auto rgb = [](const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); };
            QCOMPARE(compareImages(rgb(label.grab().toImage()), rgb(onScreen)).different, 0);
        }
    }

    void messageBoxesShortenAnAddressTooLongForTheScreen()
    {
        const QString text = QStringLiteral("ホストＩＰ番号「%1」へ問い合わせを送れませんでした。");
        const QString longAddress = QStringLiteral("123") + QString(294, u'7') + QStringLiteral("789");
        for (const QString& address : {longAddress, QStringLiteral("123.168.100.789")}) {
            whenModalOpens([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                const QString t = box->text();
                QVERIFY(t.contains(QStringLiteral("「123")) && t.contains(QStringLiteral("789」")));
                QCOMPARE(t.contains(QChar(0x2026)) && t.size() < 200, address == longAddress);
                QCOMPARE(t == text.arg(address), address != longAddress);
                QVERIFY(box->sizeHint().width() <= box->screen()->availableGeometry().width());
                box->button(QMessageBox::Ok)->click();
            });
            QtDialogs().msgBox(text.arg(address), MsgBox::vbOKOnly | MsgBox::vbCritical, QString());
        }
    }

    void theLookIsFixed()
    {
        QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
        const QPalette p = QApplication::palette();
        QCOMPARE(p.color(QPalette::Active, QPalette::Button), Appearance::systemColor(SystemColor::ButtonFace));
        QCOMPARE(p.color(QPalette::Active, QPalette::ButtonText), Appearance::systemColor(SystemColor::ButtonText));
        QVERIFY(p.color(QPalette::Disabled, QPalette::ButtonText) != p.color(QPalette::Active, QPalette::ButtonText));
        QCOMPARE(Appearance::toQColor(LayoutColor::fixed(0x80FF80)), QColor(0x80, 0xFF, 0x80));
        QCOMPARE(Appearance::toQColor(LayoutColor::named(SystemColor::Window)), QColor(Qt::white));
        QVERIFY(!Appearance::toQColor(LayoutColor::transparent()).isValid());
    }
};

RIVECT_UI_TEST_MAIN(TestViewParts, SCREEN_CONFIG)
#include "test_view_parts.moc"

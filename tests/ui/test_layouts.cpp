// The layout tables against the figures the windows were designed with. The figures are kept
// here as text rows in the designer's notation and parsed, so a wrong number in a table cannot
// be copied into the test by the same slip.
#include "layouts/client_layouts.h"
#include "layouts/open_layout.h"
#include "ui/twips.h"

#include <QStringList>
#include <QtTest>

#include <cstring>

namespace {

const char* const kDesignRows = R"(
Lbl_InMess | 60, 45, 9480, 900; 45.75 | 75, 30, 11730, 1185; 60 | 75, 60, 14985, 1455; 72
Lbl_Time | 60, 975, 9480, 1770; 95.25 | 75, 1245, 11730, 1965; 99.75 | 75, 1560, 14985, 2820; 155.25
Lbl_BlkTime | 9735, 1050, 9480, 1770; 95.25 | 12000, 1320, 11730, 1965; 99.75 | 15720, 1590, 14985, 2820; 155.25
Lbl_OldTime1 | 60, 2775, 3240, 690; 36 | 75, 3240, 4500, 900; 42 | 75, 4440, 4935, 1140; 56.25
Lbl_NowTime | 3330, 2775, 3210, 690; 36 | 4635, 3255, 3480, 900; 36 | 5100, 4440, 4935, 1140; 56.25
Lbl_Lap | 6585, 2775, 2955, 885; 48 | 8175, 3255, 3630, 1095; 48 | 10125, 4440, 4935, 1335; 69.75
Lbl_OldTime1Sa | 60, 3465, 3240, 660; 36 | 75, 4140, 4500, 870; 42 | 75, 5580, 4935, 1080; 56.25
Lbl_EndTime | 3330, 3465, 3210, 660; 36 | 4635, 4140, 3480, 870; 36 | 5100, 5580, 4935, 1080; 56.25
Btn_HostIP | 6600, 3690, 1260, 420 | 8175, 4395, 1245, 615 | 10125, 5895, 1260, 690
Cmb_CarNo | 7920, 3690, 1635, 435; 15.75 | 9450, 4395, 2355, 615; 24 | 11475, 5895, 3585, 675; 27.75
Lbl_BestLap | 60, 4140, 4740, 660; 33.75 | 75, 5040, 5850, 870; 36 | 75, 6720, 7455, 1080; 56.25
Lbl_AveLap | 4845, 4140, 4710, 660; 33.75 | 5955, 5040, 5850, 870; 36 | 7605, 6720, 7455, 1080; 56.25
Lbl_OutMess | 60, 4830, 7815, 840; 38.25 | 75, 5940, 10035, 1005; 48 | 75, 7845, 13050, 1215; 60
Label1 | 7920, 4830, 1620, 240 | 10155, 5940, 1635, 240 | 13215, 7845, 1800, 240
Lbl_Link | 9300, 4875, 180, 180 | 11535, 5985, 180, 180 | 14760, 7890, 180, 180
Lbl_LocalIP | 7920, 5085, 1620, 240 | 10155, 6180, 1635, 240 | 13215, 8100, 1800, 240
Btn_Start | 7920, 5385, 1020, 795 | 10170, 6480, 1035, 1290 | 13215, 8415, 1020, 1440
Btn_End | 8985, 5385, 555, 795 | 11250, 6480, 555, 1290 | 14295, 8415, 720, 1425
Btn_MessChg | 60, 5700, 6495, 480 | 45, 6975, 8385, 795 | 60, 9120, 11115, 735
Btn_EditMess | 6600, 5700, 1275, 480 | 8490, 6975, 1635, 795 | 11265, 9120, 1860, 735
)";

const ClientLayout* const kLayouts[] = {&Clt_640, &Clt_800, &Clt_1024};

bool findControl(const QString& name, ClientControl& out)
{
    for (std::size_t i = 0; i < kClientControlCount; ++i) {
        if (name == QLatin1String(clientControlName(ClientControl(i)))) {
            out = ClientControl(i);
            return true;
        }
    }
    return false;
}

bool isFace(const LayoutFont& f, const char* face)
{
    return std::strcmp(f.face, face) == 0;
}

bool isDataLabel(ClientControl c)
{
    const QString n = QLatin1String(clientControlName(c));
    return n.startsWith(QLatin1String("Lbl_")) && c != ClientControl::Lbl_Link && c != ClientControl::Lbl_LocalIP;
}

} // namespace

class TestLayouts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void geometryAndFontSizesMatchTheDesign()
    {
        int rows = 0;
        for (const QString& line : QString::fromUtf8(kDesignRows).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList cells = line.split(QLatin1Char('|'));
            QCOMPARE(cells.size(), 4);
            ClientControl c{};
            QVERIFY2(findControl(cells[0].trimmed(), c), qPrintable(cells[0]));
            for (int k = 0; k < 3; ++k) {
                const ClientLayout& layout = *kLayouts[k];
                const ControlLayout& got = layout[c];
                const QStringList parts = cells[k + 1].split(QLatin1Char(';'));
                const QStringList nums = parts[0].split(QLatin1Char(','));
                QCOMPARE(nums.size(), 4);
                const QString where = cells[0].trimmed() + QLatin1Char(' ') + QLatin1String(layout.name);
                QVERIFY2(got.left == nums[0].trimmed().toInt(), qPrintable(where));
                QVERIFY2(got.top == nums[1].trimmed().toInt(), qPrintable(where));
                QVERIFY2(got.width == nums[2].trimmed().toInt(), qPrintable(where));
                QVERIFY2(got.height == nums[3].trimmed().toInt(), qPrintable(where));
                // Controls without a size of their own use the window's default font, 9 pt.
                const double points = parts.size() > 1 ? parts[1].trimmed().toDouble() : 9.0;
                QVERIFY2(got.font.points == points, qPrintable(where));
                QVERIFY2(!got.font.italic, qPrintable(where));
            }
            ++rows;
        }
        QCOMPARE(rows, int(kClientControlCount));
    }

    void facesFollowTheControlsRole()
    {
        for (const ClientLayout* layout : kLayouts) {
            for (std::size_t i = 0; i < kClientControlCount; ++i) {
                const auto c = ClientControl(i);
                const char* expected = isDataLabel(c) ? FontFace::Gothic : FontFace::PGothic;
                QVERIFY2(isFace((*layout)[c].font, expected), clientControlName(c));
            }
        }
        QCOMPARE(QString::fromUtf8(FontFace::Gothic), QStringLiteral("ＭＳ ゴシック"));
        QCOMPARE(QString::fromUtf8(FontFace::PGothic), QStringLiteral("ＭＳ Ｐゴシック"));
    }

    void clientAreasAndTheirPixelSizesAt96Dpi()
    {
        const int expected[3][4] = {{9585, 6210, 639, 414}, {11835, 7815, 789, 521}, {15135, 9945, 1009, 663}};
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(kLayouts[k]->clientWidth, expected[k][0]);
            QCOMPARE(kLayouts[k]->clientHeight, expected[k][1]);
            QCOMPARE(Twips::toPx(kLayouts[k]->clientWidth, 96), expected[k][2]);
            QCOMPARE(Twips::toPx(kLayouts[k]->clientHeight, 96), expected[k][3]);
        }
        QCOMPARE(QLatin1String(Clt_640.name), QLatin1String("Clt_640"));
        QCOMPARE(QLatin1String(Clt_800.name), QLatin1String("Clt_800"));
        QCOMPARE(QLatin1String(Clt_1024.name), QLatin1String("Clt_1024"));
    }

    void theColoursThatDifferBetweenLayouts()
    {
        using C = ClientControl;
        QCOMPARE(Clt_640.background, LayoutColor::fixed(0xFFFFFF));
        QCOMPARE(Clt_800.background, LayoutColor::named(SystemColor::ButtonFace));
        QCOMPARE(Clt_1024.background, LayoutColor::named(SystemColor::ButtonFace));

        QCOMPARE(Clt_640[C::Lbl_BestLap].foreColor, LayoutColor::fixed(0xFFFFFF));
        QCOMPARE(Clt_800[C::Lbl_BestLap].foreColor, LayoutColor::fixed(0x00FFFF));
        QCOMPARE(Clt_1024[C::Lbl_BestLap].foreColor, LayoutColor::fixed(0x00FFFF));

        QCOMPARE(Clt_640[C::Lbl_Link].foreColor, LayoutColor::fixed(0x000000));
        QCOMPARE(Clt_800[C::Lbl_Link].foreColor, LayoutColor::fixed(0xFFFF00));
        QCOMPARE(Clt_1024[C::Lbl_Link].foreColor, LayoutColor::fixed(0xFFFF00));
    }

    void theSharedPropertiesAreTheSameInEveryLayout()
    {
        using C = ClientControl;
        struct Expect {
            C control;
            LayoutColor fore;
            LayoutColor back;
            Alignment align;
        };
        const LayoutColor black = LayoutColor::fixed(0x000000);
        const LayoutColor cyan = LayoutColor::fixed(0x00FFFF);
        const LayoutColor face = LayoutColor::named(SystemColor::ButtonFace);
        const LayoutColor text = LayoutColor::named(SystemColor::ButtonText);
        const Expect expects[] = {
            {C::Lbl_InMess, LayoutColor::fixed(0x80FF80), black, Alignment::Right},
            {C::Lbl_Time, LayoutColor::fixed(0xFFFFFF), black, Alignment::Center},
            {C::Lbl_BlkTime, LayoutColor::fixed(0xFFFF00), black, Alignment::Center},
            {C::Lbl_OldTime1, cyan, black, Alignment::Center},
            {C::Lbl_NowTime, cyan, black, Alignment::Center},
            {C::Lbl_Lap, LayoutColor::fixed(0xFFFF00), black, Alignment::Right},
            {C::Lbl_OldTime1Sa, LayoutColor::fixed(0xFF0000), black, Alignment::Center},
            {C::Lbl_EndTime, cyan, black, Alignment::Center},
            {C::Lbl_AveLap, LayoutColor::fixed(0xFFFFFF), black, Alignment::Center},
            {C::Lbl_OutMess, cyan, black, Alignment::Center},
            {C::Label1, text, face, Alignment::Center},
            {C::Lbl_LocalIP, text, face, Alignment::Center},
            {C::Cmb_CarNo, LayoutColor::named(SystemColor::WindowText), LayoutColor::named(SystemColor::Window),
             Alignment::Left},
            {C::Btn_End, LayoutColor::fixed(0xFF0000), face, Alignment::Center},
            {C::Btn_Start, text, face, Alignment::Center},
        };
        for (const ClientLayout* layout : kLayouts) {
            for (const Expect& e : expects) {
                const ControlLayout& got = (*layout)[e.control];
                QVERIFY2(got.foreColor == e.fore, clientControlName(e.control));
                QVERIFY2(got.backColor == e.back, clientControlName(e.control));
                QVERIFY2(got.alignment == e.align, clientControlName(e.control));
            }
            QCOMPARE((*layout)[C::Lbl_Link].backColor, LayoutColor::transparent());
            QCOMPARE((*layout)[C::Lbl_Link].alignment, Alignment::Center);
            for (std::size_t i = 0; i < kClientControlCount; ++i) {
                const auto c = ClientControl(i);
                const bool bordered = c == C::Label1 || c == C::Lbl_LocalIP;
                QVERIFY2(((*layout)[c].border == Border::FixedSingle) == bordered, clientControlName(c));
            }
            QCOMPARE((*layout)[C::Cmb_CarNo].kind, ControlKind::ComboBox);
            QCOMPARE((*layout)[C::Btn_MessChg].kind, ControlKind::Button);
            QCOMPARE((*layout)[C::Lbl_Link].kind, ControlKind::Label);
        }
    }

    void blinkLabelMatchesTheTimeLabelAndStartsOutsideTheWindow()
    {
        using C = ClientControl;
        for (const ClientLayout* layout : kLayouts) {
            QCOMPARE((*layout)[C::Lbl_BlkTime].width, (*layout)[C::Lbl_Time].width);
            QCOMPARE((*layout)[C::Lbl_BlkTime].height, (*layout)[C::Lbl_Time].height);
            QCOMPARE((*layout)[C::Lbl_BlkTime].font.points, (*layout)[C::Lbl_Time].font.points);
            QVERIFY((*layout)[C::Lbl_BlkTime].left > layout->clientWidth);
        }
    }

    void onlyTheMiddleLayoutKeepsTheMinMaxButtons()
    {
        QVERIFY(!Clt_640.minMaxButtons);
        QVERIFY(Clt_800.minMaxButtons);
        QVERIFY(!Clt_1024.minMaxButtons);
    }

    void openingWindow()
    {
        QCOMPARE(Fm_Open.clientWidth, 4680);
        QCOMPARE(Fm_Open.clientHeight, 1800);
        QCOMPARE(Twips::toPx(Fm_Open.clientWidth, 96), 312);
        QCOMPARE(Twips::toPx(Fm_Open.clientHeight, 96), 120);
        QCOMPARE(Fm_Open.background, LayoutColor::fixed(0xFFFFFF));
        QCOMPARE(Fm_Open.timer1IntervalMs, 3000);

        struct Expect {
            const char* caption;
            int left, top, width, height;
            double points;
            LayoutColor fore;
            Alignment align;
        };
        const LayoutColor text = LayoutColor::named(SystemColor::ButtonText);
        const Expect expects[3] = {
            {"Murevo", 0, 555, 4650, 720, 36, LayoutColor::fixed(0x0000FF), Alignment::Center},
            {"Ver1.00", 2985, 1230, 1650, 360, 18, text, Alignment::Center},
            {"ChronelClient", 165, 0, 2610, 435, 21.75, text, Alignment::Left},
        };
        for (int i = 0; i < 3; ++i) {
            const OpenLabel& got = Fm_Open.labels[std::size_t(i)];
            const Expect& e = expects[i];
            QCOMPARE(QLatin1String(got.caption), QLatin1String(e.caption));
            QCOMPARE(int(got.layout.left), e.left);
            QCOMPARE(int(got.layout.top), e.top);
            QCOMPARE(int(got.layout.width), e.width);
            QCOMPARE(int(got.layout.height), e.height);
            QCOMPARE(got.layout.font.points, e.points);
            QVERIFY(got.layout.font.italic);
            QVERIFY(isFace(got.layout.font, FontFace::PGothic));
            QCOMPARE(got.layout.foreColor, e.fore);
            QCOMPARE(got.layout.backColor, LayoutColor::transparent());
            QCOMPARE(got.layout.alignment, e.align);
        }
    }

    void edgesConvertSoThatNeighboursTouch()
    {
        // At 120 dpi 1/12 pixel per twip: rounding each edge keeps two touching controls touching.
        const QRect a = Twips::toPxRect(3330, 2775, 3210, 690, 120, 120);
        const QRect b = Twips::toPxRect(6540, 2775, 45, 690, 120, 120);
        QCOMPARE(a.right() + 1, b.left());
        QCOMPARE(Twips::toPxRect(60, 45, 9480, 900, 96, 96), QRect(4, 3, 632, 60));
    }
};

QTEST_APPLESS_MAIN(TestLayouts)
#include "test_layouts.moc"

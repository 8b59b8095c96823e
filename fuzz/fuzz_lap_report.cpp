// Lap reports from the host, decoded from code page 932 and delivered through the fake socket
// to a running client window, interleaved with send, blink and clock ticks.
//
// Input: records separated by 0xFF. Each record is one action byte and the datagram's bytes.
// Action bits 0-1: send ticks after the datagram (0, 1, 2, 5); bits 2-3: blink ticks (0, 1, 10,
// 21); bit 4: one clock tick (Time_Chk, a tick of the 10 ms clock, one second, Time_Jikan);
// bits 5-7: 3 steps the driver message, 4 makes taking the datagram fail, 5 makes the next
// bind fail, 6 stops and restarts the run, 7 stretches the host text to 32760-32767 characters.

#include "client_rig.h"
#include "client/time_format.h"
#include "platform/cp932.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace {

const QString kFiveSpaces(5, QChar(0x3000));
constexpr int kLongestHostText = 32762;

// Compiled once per pattern: compiling for every check would cost more than the code under test.
bool matches(const char* pattern, const QString& text)
{
    static QHash<const char*, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern))));
    return it->match(text).hasMatch();
}

// What a repeated report must leave alone.
struct Snapshot {
    int32_t last, prev, best, ave;
    QDateTime endTime;
    VbBool endTimeSet;
    QString inMess, lap, blkTime, bestCaption, aveCaption;
    bool blinking;
    qsizetype datesSet, timesSet, boxes;

    explicit Snapshot(const ClientRig& r)
        : last(r.pub.Pub_LastLap), prev(r.pub.Pub_PrevLap), best(r.pub.Pub_BestLap), ave(r.pub.Pub_AveLap),
          endTime(r.pub.Pub_EndTime), endTimeSet(r.pub.Pub_EndTimeSet), inMess(r.pub.Pub_InMess),
          lap(r.w->Lbl_Lap.caption()), blkTime(r.w->Lbl_BlkTime.caption()),
          bestCaption(r.w->Lbl_BestLap.caption()), aveCaption(r.w->Lbl_AveLap.caption()),
          blinking(r.w->Time_Blink.enabled()), datesSet(r.clock.datesSet.size()),
          timesSet(r.clock.timesSet.size()), boxes(r.dialogs.boxes.size())
    {
    }

    bool sameFigures(const Snapshot& o) const
    {
        return last == o.last && prev == o.prev && best == o.best && ave == o.ave && endTime == o.endTime
            && endTimeSet == o.endTimeSet && inMess == o.inMess && lap == o.lap && blkTime == o.blkTime
            && bestCaption == o.bestCaption && aveCaption == o.aveCaption && blinking == o.blinking
            && datesSet == o.datesSet && timesSet == o.timesSet;
    }
};

void checkDisplay(const ClientRig& r)
{
    const PublicConst& pub = r.pub;
    const ClientWindow& w = *r.w;
    FUZZ_CHECK(pub.Pub_InMessLen >= 0);
    FUZZ_CHECK(pub.Pub_InMessLen == pub.Pub_InMess.size());
    FUZZ_CHECK(pub.Pub_InMessLen == 0 || pub.Pub_InMess.endsWith(kFiveSpaces));
    FUZZ_CHECK(w.Lbl_InMess.caption().size() <= 10);
    // The blink label covers the running time exactly while, and only while, the blink runs.
    FUZZ_CHECK(w.Lbl_Time.visible() != w.Lbl_BlkTime.visible());
    FUZZ_CHECK(w.Time_Blink.enabled() == w.Lbl_BlkTime.visible());
    FUZZ_CHECK(w.m_BlinkCount >= 0 && w.m_BlinkCount <= 20);
    FUZZ_CHECK(w.m_LapNo == w.m_PrevLapNo);
    FUZZ_CHECK(w.m_LapNo >= -99 && w.m_LapNo <= 999);
    const QString blk = w.Lbl_BlkTime.caption();
    FUZZ_CHECK(blk.isEmpty() || matches(R"(-?\d+'-?\d{2}"-?\d{3})", blk));
    FUZZ_CHECK(w.Lbl_Lap.caption().isEmpty() || matches(R"(-?\d+周目)", w.Lbl_Lap.caption()));
    const QString sa = w.Lbl_OldTime1Sa.caption();
    FUZZ_CHECK(sa.isEmpty() || matches(R"([+-]\d+'\d{2}"\d{3})", sa));
    for (const QDate& d : r.clock.datesSet)
        FUZZ_CHECK(d.isValid());
    for (const QDateTime& t : r.clock.timesSet)
        FUZZ_CHECK(t.isValid());
}

void deliver(ClientRig& r, const QString& text, bool takeFails)
{
    ClientWindow& w = *r.w;
    // A socket whose re-bind failed receives nothing until a send tick binds it again.
    if (!r.sock.isBound())
        return;
    // A tick first, so a report taken is told apart by the counter going back to 0.
    r.tick.fire(1);
    FUZZ_CHECK(r.pub.Pub_TickCount.load() > 0);
    if (takeFails)
        r.sock.takeErrors.append(SocketError::Other);

    const Snapshot before(r);
    const QString held = w.m_RecvData;
    const int32_t prevLapNo = w.m_PrevLapNo;
    const int32_t lapNo = w.m_LapNo;

    r.sock.deliver(text);

    const QString data = takeFails ? held : text;
    FUZZ_CHECK(w.m_RecvData == data);
    FUZZ_CHECK(w.m_RecvFlag == VbTrue);
    FUZZ_CHECK(w.m_RecvHead == data.left(1));

    const auto parsed = Datagram::parseLeadingNumber(Datagram::column(data, 2, 3));
    const int32_t expectedLap = parsed ? *parsed : lapNo;
    // A "C" report compares against -1, so it is taken unless its own lap number is -1.
    const bool forced = data.startsWith(QLatin1Char('C'));
    const bool taken = expectedLap != (forced ? -1 : prevLapNo);
    FUZZ_CHECK(w.m_LapNo == expectedLap);
    FUZZ_CHECK((r.pub.Pub_TickCount.load() == 0) == taken);

    const Snapshot after(r);
    FUZZ_CHECK(after.boxes == before.boxes);
    if (!taken) {
        if (!after.sameFigures(before)) {
            FuzzSupport::dump("repeat changed figures; datagram", data);
            FUZZ_CHECK(false);
        }
        checkDisplay(r);
        return;
    }

    FUZZ_CHECK(w.Lbl_Lap.caption() == QString::number(int64_t(w.m_LapNo) + 1) + QStringLiteral("周目"));
    const int hostLength = std::min<int>(int(data.size()) - 60, kLongestHostText);
    if (hostLength > 0) {
        FUZZ_CHECK(r.pub.Pub_InMess == data.mid(60, hostLength) + kFiveSpaces);
    } else {
        FUZZ_CHECK(r.pub.Pub_InMess.isEmpty());
    }
    FUZZ_CHECK(w.Lbl_InMess.caption().isEmpty());
    FUZZ_CHECK(r.pub.Pub_PrevLap == before.last);
    FUZZ_CHECK(w.Lbl_BlkTime.caption() == Fmt_LapMilli(r.pub.Pub_LastLap));
    FUZZ_CHECK(w.Lbl_BestLap.caption() == QStringLiteral("Bst ") + Fmt_LapMilli(r.pub.Pub_BestLap));
    FUZZ_CHECK(w.Lbl_AveLap.caption() == QStringLiteral("Ave ") + Fmt_LapMilli(r.pub.Pub_AveLap));
    FUZZ_CHECK(w.Time_Blink.enabled() && w.Lbl_BlkTime.visible() && !w.Lbl_Time.visible());
    FUZZ_CHECK(after.datesSet - before.datesSet <= 1);
    FUZZ_CHECK(after.timesSet - before.timesSet <= 1);
    // The clock is set only from a report whose end time differs from its clock time.
    FUZZ_CHECK(after.timesSet == before.timesSet || r.pub.Pub_EndTimeSet == VbTrue);
    checkDisplay(r);
}

void sendTick(ClientRig& r)
{
    ClientWindow& w = *r.w;
    const qsizetype sentBefore = r.sock.sent.size();
    const qsizetype boxes = r.dialogs.boxes.size();
    w.Time_SendData_Timer();
    FUZZ_CHECK(w.m_RecvFlag == VbFalse);
    FUZZ_CHECK(r.dialogs.boxes.size() == boxes);
    FUZZ_CHECK(r.sock.sent.size() - sentBefore <= 1);
    if (r.sock.sent.size() > sentBefore) {
        const QString status = r.sock.sent.last();
        FUZZ_CHECK(status == Datagram::statusText(w.m_LapNo, w.Lbl_OutMess.caption()));
        FUZZ_CHECK(!Cp932::encode(status).isEmpty());
    }
    const PublicConst& pub = r.pub;
    if (pub.Pub_InMessLen > 0) {
        FUZZ_CHECK(pub.Pub_InMessPos >= 1 && pub.Pub_InMessPos <= pub.Pub_InMessLen);
        const QString line = w.Lbl_InMess.caption();
        FUZZ_CHECK(!line.isEmpty() && line.back() == pub.Pub_InMess.at(pub.Pub_InMessPos - 1));
    }
    checkDisplay(r);
}

void blinkTick(ClientRig& r)
{
    ClientWindow& w = *r.w;
    if (!w.Time_Blink.enabled())
        return;  // a disabled timer does not fire
    const QString finished = w.Lbl_BlkTime.caption();
    w.Time_Blink_Timer();
    if (!w.Time_Blink.enabled()) {
        FUZZ_CHECK(w.Lbl_OldTime1.caption() == finished);
        FUZZ_CHECK(w.Lbl_OutMess.caption().isEmpty());
        FUZZ_CHECK(r.pub.Pub_MessIndex == 0);
    }
    checkDisplay(r);
}

void clockTick(ClientRig& r)
{
    ClientWindow& w = *r.w;
    w.Time_Chk_Timer();
    FUZZ_CHECK(matches(R"(\d+'\d{2}"\d{2})", w.Lbl_Time.caption()));
    r.tick.fire(1);
    r.clock.advance(1000);
    w.Time_Jikan_Timer();
    FUZZ_CHECK(matches(R"(\d{2}:\d{2}:\d{2})", w.Lbl_NowTime.caption()));
    const QString end = w.Lbl_EndTime.caption();
    // An end time that never converted leaves nothing to count down to.
    const bool counting = r.pub.Pub_EndTimeSet != VbFalse && r.pub.Pub_EndTime.isValid();
    FUZZ_CHECK(end.isEmpty() != counting);
    FUZZ_CHECK(end.isEmpty() || matches(R"(\d+:\d{2}:\d{2})", end));
}

// Makes the host text (from column 61) 32760 to 32767 characters long, around the longest
// the 16-bit counter takes, from whatever host text the datagram has.
QString stretched(const QString& text)
{
    QString head = text.left(60).leftJustified(60, QLatin1Char(' '));
    QString body = text.mid(60);
    if (body.isEmpty())
        body = QStringLiteral("x");
    const int target = kLongestHostText - 2 + int(text.size() % 8);
    QString host;
    host.reserve(target + body.size());
    while (host.size() < target)
        host += body;
    host.truncate(target);
    return head + host;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ClientRig rig;
    rig.start(3);

    for (const QByteArray& record : FuzzSupport::splitRecords(data, size)) {
        const auto action = static_cast<uint8_t>(record.isEmpty() ? 0 : record.at(0));
        QString text = Cp932::decode(record.mid(1));
        bool takeFails = false;
        switch (action >> 5) {
        case 3:
            rig.w->Btn_MessChg_Click();
            break;
        case 4:
            takeFails = true;
            break;
        case 5:
            rig.sock.bindErrors.append(SocketError::AddressInUse);
            break;
        case 6:
            rig.stop();
            rig.start(1 + action % 5);
            break;
        case 7:
            text = stretched(text);
            break;
        default:
            break;
        }

        deliver(rig, text, takeFails);

        static constexpr int kSends[] = {0, 1, 2, 5};
        static constexpr int kBlinks[] = {0, 1, 10, 21};
        for (int i = 0; i < kSends[action & 3]; ++i)
            sendTick(rig);
        for (int i = 0; i < kBlinks[(action >> 2) & 3]; ++i)
            blinkTick(rig);
        if (action & 0x10)
            clockTick(rig);
    }
    return 0;
}

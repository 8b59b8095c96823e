#include "client/client_window.h"

#include "client/datagram.h"
#include "client/time_format.h"
#include "platform/system_clock.h"
#include "platform/udp_socket.h"

#include <limits>
#include <optional>

namespace {

// Longest host text whose length plus the five separating spaces still fits the 16-bit
// counter the ticker works with.
constexpr int kMaxHostText = std::numeric_limits<int16_t>::max() - 5;

// A time column as a time of day. Blank columns stand for midnight: a short report then
// gives two equal times and no end time.
std::optional<QTime> timeOfDay(QStringView column)
{
    if (column.trimmed().isEmpty())
        return QTime(0, 0, 0);
    return Datagram::parseTimeText(column);
}

} // namespace

void ClientWindow::Winsock1_DataArrival()
{
    // Every failing step re-binds the socket and leaves its own target as it was; the steps
    // after it still run.
    QString text;
    const SocketError taken = m_svc.Winsock1.takeText(text);
    if (taken == SocketError::None) {
        m_RecvData = text;
    } else {
        rebindWinsock1();
        // Winsock1 sends nothing but the status datagrams, so a refusal it reports is one of
        // theirs. Where the system tells a refused datagram to the socket's next call, Qt's
        // read notification usually comes first, and the take is what sees it.
        if (taken == SocketError::ConnectionReset && m_svc.runObserver)
            m_svc.runObserver(*this, RunEvent::HostRefused);
    }

    m_RecvFlag = VbTrue;

    m_RecvHead = m_RecvData.left(1);
    if (m_RecvHead == QLatin1String("C"))
        m_PrevLapNo = -1;

    if (const auto lapNo = Datagram::parseLeadingNumber(Datagram::columnView(m_RecvData, 2, 3)))
        m_LapNo = *lapNo;
    else
        rebindWinsock1();

    if (m_LapNo == m_PrevLapNo)
        return;

    m_pub.Pub_TickCount.store(0);
    m_PrevLapNo = m_LapNo;
    Lbl_Lap.setCaption(QString::number(int64_t(m_LapNo) + 1) + QStringLiteral("周目"));

    const int hostTextLength = std::min(int(m_RecvData.size()) - 60, kMaxHostText);
    m_pub.Pub_InMessLen = int16_t(hostTextLength);

    m_pub.Pub_PrevLap = m_pub.Pub_LastLap;
    const auto readLap = [this](int first, int32_t& target) {
        if (const auto value = Datagram::parseLeadingNumber(Datagram::columnView(m_RecvData, first, 10)))
            target = *value;
        else
            rebindWinsock1();
    };
    readLap(5, m_pub.Pub_LastLap);
    readLap(15, m_pub.Pub_BestLap);
    readLap(25, m_pub.Pub_AveLap);

    // A clock that refuses to be set (no rights) is not an error of the exchange: the
    // socket is left alone and the rest of the report is still shown.
    if (const auto date = Datagram::parseDateText(Datagram::columnView(m_RecvData, 35, 10)))
        m_svc.clock.setDate(*date);
    else
        rebindWinsock1();

    const QDate today = m_svc.clock.now().date();
    std::optional<QTime> clockTime;
    if (const auto t = timeOfDay(Datagram::columnView(m_RecvData, 45, 8)))
        clockTime = *t;
    else
        rebindWinsock1();
    // Without a clock time from the host there is nothing to set and nothing to compare the
    // end time with: the end time stays as the previous report left it, together with the
    // decision whether to show it.
    if (const auto end = timeOfDay(Datagram::columnView(m_RecvData, 53, 8))) {
        // The end of a run rarely moves: the local time conversion is made only when it does.
        if (clockTime && (m_pub.Pub_EndTime.date() != today || m_pub.Pub_EndTime.time() != *end))
            m_pub.Pub_EndTime = QDateTime(today, *end);
    } else {
        rebindWinsock1();
    }

    if (clockTime) {
        const bool same = today == m_pub.Pub_EndTime.date() && *clockTime == m_pub.Pub_EndTime.time();
        if (same) {
            m_pub.Pub_EndTimeSet = VbFalse;
        } else {
            m_pub.Pub_EndTimeSet = VbTrue;
            m_svc.clock.setTime(QDateTime(today, *clockTime));
        }
    }

    if (m_pub.Pub_InMessLen <= 0) {
        m_pub.Pub_InMess.clear();
        m_pub.Pub_InMessLen = 0;
    } else {
        m_pub.Pub_InMess = m_RecvData.mid(60, m_pub.Pub_InMessLen) + QString(5, QChar(0x3000));
        m_pub.Pub_InMessLen = int16_t(m_pub.Pub_InMessLen + 5);
    }

    Lbl_InMess.setCaption(QString());
    Lbl_BlkTime.setCaption(Fmt_LapMilli(m_pub.Pub_LastLap));
    Lbl_BestLap.setCaption(QStringLiteral("Bst ") + Fmt_LapMilli(m_pub.Pub_BestLap));
    Lbl_AveLap.setCaption(QStringLiteral("Ave ") + Fmt_LapMilli(m_pub.Pub_AveLap));
    Lbl_Time.setVisible(false);
    Lbl_BlkTime.setVisible(true);
    Time_Blink.setEnabled(true);
    if (m_svc.runObserver)
        m_svc.runObserver(*this, RunEvent::LapTaken);
}

#include "client/client_window.h"

#include "client/time_format.h"
#include "platform/system_clock.h"

#include <cstdlib>
#include <limits>

namespace {

const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kCyan(0x00, 0xFF, 0xFF);

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// Date values of the clock are plain calendar arithmetic: whole days plus seconds of the day,
// with no time-zone or daylight-saving shift between them.
int64_t wholeSecondsBetween(const QDateTime& from, const QDateTime& to)
{
    return from.date().daysTo(to.date()) * 86400
        + (to.time().msecsSinceStartOfDay() / 1000 - from.time().msecsSinceStartOfDay() / 1000);
}

} // namespace

void ClientWindow::Time_Blink_Timer()
{
    ++m_BlinkCount;
    if (m_BlinkCount > 20) {
        m_BlinkCount = 0;
        Lbl_OldTime1.setCaption(Lbl_BlkTime.caption());
        const bool slower = m_pub.Pub_LastLap > m_pub.Pub_PrevLap;
        Lbl_OldTime1Sa.setCaption(slower ? QStringLiteral("+") : QStringLiteral("-"));
        Lbl_OldTime1Sa.setForeColor(slower ? kRed : kCyan);
        // Negative lap values from the host can make the gap exceed 32 bits; it is shown at the
        // largest value the format takes rather than wrapped into nonsense.
        const int64_t gap = std::llabs(int64_t(m_pub.Pub_LastLap) - int64_t(m_pub.Pub_PrevLap));
        Lbl_OldTime1Sa.setCaption(Lbl_OldTime1Sa.caption() + Fmt_LapMilli(int32_t(std::min(gap, kInt32Max))));
        m_pub.Pub_MessIndex = 0;
        Lbl_OutMess.setCaption(m_pub.Pub_MessList.value(0));
        Time_Blink.setEnabled(false);
        Lbl_BlkTime.setVisible(false);
        Lbl_Time.setVisible(true);
    }
    if (m_BlinkCount % 2 == 0) {
        Lbl_BlkTime.setBackColor(kBlack);
        Lbl_BlkTime.setForeColor(kYellow);
    } else {
        Lbl_BlkTime.setBackColor(kYellow);
        Lbl_BlkTime.setForeColor(kBlack);
    }
}

void ClientWindow::Time_Jikan_Timer()
{
    const QDateTime now = m_svc.clock.now();
    Lbl_NowTime.setCaption(now.time().toString(QStringLiteral("HH:mm:ss")));
    if (m_pub.Pub_EndTimeSet != VbFalse && m_pub.Pub_EndTime.isValid()) {
        const int64_t distance = std::llabs(wholeSecondsBetween(now, m_pub.Pub_EndTime));
        Lbl_EndTime.setCaption(Fmt_HMS(int32_t(std::min(distance, kInt32Max))));
    } else {
        Lbl_EndTime.setCaption(QString());
    }
}

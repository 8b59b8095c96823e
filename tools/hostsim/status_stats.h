#pragma once

#include <QString>
#include <cstdint>
#include <deque>

/// What one car's client has told the host: the last status datagram and its arrival rhythm.
class StatusStats {
public:
    /// Records a status datagram of text arriving at nowMs (a monotonic time in milliseconds).
    /// Returns true when its lap number or message differs from the datagram before, or it is the first.
    bool record(const QString& text, int64_t nowMs);

    /// Datagrams that arrived in the second up to nowMs.
    int rate(int64_t nowMs);
    /// The longest time between two consecutive datagrams so far, in milliseconds (0 until two arrived).
    int64_t largestGapMs() const { return m_largestGap; }
    /// Milliseconds since the last datagram, or -1 before any.
    int64_t silenceMs(int64_t nowMs) const { return m_count ? nowMs - m_lastAt : -1; }
    /// Datagrams received in all.
    int64_t count() const { return m_count; }
    /// The lap number echoed in the last datagram (columns 1-3); -1 when they were not digits.
    int lapNo() const { return m_lapNo; }
    /// The driver message of the last datagram (column 4 to the end).
    QString message() const { return m_message; }
    /// The whole text of the last datagram.
    QString lastText() const { return m_text; }

    /// Splits a status datagram into its echoed lap number (-1 if not three digits) and message.
    static void split(const QString& text, int* lapNo, QString* message);

private:
    std::deque<int64_t> m_recent;
    int64_t m_count = 0;
    int64_t m_lastAt = 0;
    int64_t m_largestGap = 0;
    int m_lapNo = -1;
    QString m_message;
    QString m_text;
};

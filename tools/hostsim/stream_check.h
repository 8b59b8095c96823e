#pragma once

#include "protocol_rules.h"

#include <QList>
#include <cstdint>
#include <optional>

/// The timing rules of one car's status stream: the cadence while the client runs, and the echo
/// of each new lap number. Times are monotonic milliseconds handed in by the caller.
class StreamCheck {
public:
    /// Longest allowed time between two status datagrams.
    static constexpr int64_t kMaxGapMs = 150;
    /// Most status datagrams allowed in any one second.
    static constexpr int kMaxPerSecond = 11;
    /// Gaps that begin this soon after the stream starts are not counted.
    static constexpr int64_t kWarmUpMs = 1000;
    /// A silence longer than this ends the stream (the client stopped); the next datagram starts a
    /// new one.
    static constexpr int64_t kStreamEndMs = 1000;
    /// Time the client has to carry a new lap number back.
    static constexpr int64_t kEchoMs = 300;

    /// A status datagram whose head reads lapNo (-1: not a lap field) arrived at nowMs, the
    /// inLastSecond-th within the second up to it; broken timing rules are appended to findings.
    /// Returns true when it started a new stream.
    bool status(int64_t nowMs, int lapNo, int inLastSecond, QList<Finding>* findings);
    /// The host sent a lap report with lapNo at nowMs.
    void lapReportSent(int64_t nowMs, int lapNo);
    /// Something other than the host's own reports went to the client's port: its lap number is
    /// no longer known, so no echo is awaited until the next report.
    void forgetEcho();

private:
    struct AwaitedEcho {
        int lapNo = 0;
        int64_t sentAtMs = 0;
    };

    int64_t m_streamStart = -1;
    int64_t m_last = -1;
    bool m_overRate = false;
    int m_lastSentLap = 0;  // the client starts at lap 0
    std::optional<AwaitedEcho> m_echo;
};

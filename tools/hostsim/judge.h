#pragma once

#include "protocol_rules.h"
#include "reporter.h"
#include "sim_clock.h"

#include <QByteArray>
#include <array>

/// Takes the findings of the protocol checks, reports each as it happens and keeps the count of
/// every rule for the summary at the end.
class Judge {
public:
    /// A judge writing to reporter, measuring with clock.
    Judge(Reporter& reporter, const SimClock& clock) : m_reporter(reporter), m_clock(clock) {}

    /// The clock the checks measure with.
    const SimClock& clock() const { return m_clock; }
    /// Counts one datagram checked.
    void datagramChecked() { ++m_checked; }
    /// Datagrams checked so far.
    int64_t datagramsChecked() const { return m_checked; }

    /// Reports finding about car (0: none) and counts it. A timing finding whose span the
    /// simulator itself was held up in is reported as excused and counted apart.
    void judge(const Finding& finding, int car, const QByteArray& bytes);

    /// Violations so far, of every rule.
    int violations() const;
    /// Violations of rule so far.
    int violations(Rule rule) const { return m_counts[size_t(rule)]; }
    /// Timing findings excused so far.
    int excused() const { return m_excused; }

    /// Writes the summary: the count of each rule.
    void writeSummary();

private:
    Reporter& m_reporter;
    const SimClock& m_clock;
    std::array<int, kRuleCount> m_counts{};
    int m_excused = 0;
    int64_t m_checked = 0;
};

#pragma once

#include <QString>
#include <cstdint>

/// The protocol rules every datagram the simulator receives is checked against.
enum class Rule {
    RequestForm,  ///< a registration request that is not exactly a dotted IPv4 address
    RequestPort,  ///< a registration request not sent from port 7001
    StatusPort,   ///< a status datagram not sent from its car's client port
    StatusHead,   ///< a status datagram whose head is not the three-digit lap field
    StatusCp932,  ///< a status datagram with bytes that are not code page 932
    StatusGap,    ///< more than 150 ms between two status datagrams of a running stream
    StatusRate,   ///< more than 11 status datagrams in one second
    Echo,         ///< a new lap number not carried back within 300 ms
};
/// How many rules there are.
constexpr int kRuleCount = int(Rule::Echo) + 1;

/// The rule's short, stable name, as the output shows it ("status-gap", ...).
QString ruleName(Rule rule);

/// A rule found broken. Timing rules name the span of time the finding rests on, so that a span
/// in which the simulator itself was held up can be told apart.
struct Finding {
    Rule rule = Rule::RequestForm;
    QString detail;      ///< what was wrong, readable
    int64_t fromMs = -1; ///< start of the span (monotonic milliseconds); -1: not a timing rule
    int64_t toMs = -1;   ///< end of the span
};

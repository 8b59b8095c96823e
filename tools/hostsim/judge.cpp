#include "judge.h"

#include <QJsonObject>
#include <QStringList>

void Judge::judge(const Finding& finding, int car, const QByteArray& bytes)
{
    const bool excused = finding.fromMs >= 0 && m_clock.heldUp(finding.fromMs, finding.toMs);
    if (excused)
        ++m_excused;
    else
        ++m_counts[size_t(finding.rule)];
    const QString rule = ruleName(finding.rule);
    const QString hex = QString::fromLatin1(bytes.toHex(' '));
    m_reporter.event(excused ? QStringLiteral("excused") : QStringLiteral("violation"), car,
                     {{QStringLiteral("rule"), rule},
                      {QStringLiteral("hex"), hex},
                      {QStringLiteral("detail"), finding.detail}},
                     QStringLiteral("%1 %2: %3; bytes [%4]%5")
                         .arg(excused ? QStringLiteral("EXCUSED") : QStringLiteral("VIOLATION"), rule,
                              finding.detail, hex,
                              excused ? QStringLiteral(" (the simulator itself was held up meanwhile)")
                                      : QString()));
}

int Judge::violations() const
{
    int total = 0;
    for (int n : m_counts)
        total += n;
    return total;
}

void Judge::writeSummary()
{
    QJsonObject counts;
    QStringList readable;
    for (int i = 0; i < kRuleCount; ++i) {
        counts.insert(ruleName(Rule(i)), m_counts[size_t(i)]);
        readable << QStringLiteral("%1 %2").arg(ruleName(Rule(i))).arg(m_counts[size_t(i)]);
    }
    m_reporter.event(QStringLiteral("summary"), 0,
                     {{QStringLiteral("violations"), violations()},
                      {QStringLiteral("counts"), counts},
                      {QStringLiteral("excused"), m_excused},
                      {QStringLiteral("datagrams"), qint64(m_checked)}},
                     QStringLiteral("summary: %1 violation(s) in %2 datagram(s) checked: %3; %4 excused")
                         .arg(violations()).arg(m_checked).arg(readable.join(QStringLiteral(", ")))
                         .arg(m_excused));
}

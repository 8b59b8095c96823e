#include "platform/clock_refusal.h"

#include <atomic>
#include <cstdio>

void reportClockRefusal(const QString& reason)
{
    // A refusal comes with every lap report for as long as the right is missing: one line says
    // it, more would only fill the log.
    static std::atomic<bool> reported{false};
    if (reported.exchange(true))
        return;
    const QByteArray line = QStringLiteral("rivect: the PC's clock is left as it is: %1\n").arg(reason).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

#include "platform/refusal_notice.h"

#include "platform/terminal.h"

#include <cstdio>

void RefusalNotice::writeToStandardError(const QString& line)
{
    // One call for the whole line, so that lines of other threads never cut into it.
    writeToTerminal(stderr, line + QLatin1Char('\n'));
}

RefusalNotice::RefusalNotice(QString what, Writer write)
    : m_what(std::move(what)), m_write(write ? std::move(write) : Writer(writeToStandardError))
{
}

void RefusalNotice::beginRun()
{
    m_told.store(false);
}

void RefusalNotice::refused(const QString& reason)
{
    if (m_told.exchange(true))
        return;
    // A reason from a service may span lines; the journal keeps one line per notice.
    m_write(QStringLiteral("rivect: %1: %2").arg(m_what, reason.simplified()));
}

#include "protocol_rules.h"

QString ruleName(Rule rule)
{
    switch (rule) {
    case Rule::RequestForm: return QStringLiteral("request-form");
    case Rule::RequestPort: return QStringLiteral("request-port");
    case Rule::StatusPort: return QStringLiteral("status-port");
    case Rule::StatusHead: return QStringLiteral("status-head");
    case Rule::StatusCp932: return QStringLiteral("status-cp932");
    case Rule::StatusGap: return QStringLiteral("status-gap");
    case Rule::StatusRate: return QStringLiteral("status-rate");
    case Rule::Echo: return QStringLiteral("echo");
    }
    return QString();
}

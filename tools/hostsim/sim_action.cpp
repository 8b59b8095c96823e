#include "sim_action.h"

#include "platform/cp932.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

// The argument text after the keyword: everything after the one blank that ends the keyword,
// kept exactly, because leading blanks are part of a raw datagram.
QString restAfterKeyword(const QString& line, const QString& keyword)
{
    return line.size() > keyword.size() ? line.mid(keyword.size() + 1) : QString();
}

bool parseInt(const QString& text, int min, int max, int* value)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

// Splits "PORT REST" for the *-to commands.
bool splitPort(const QString& rest, int* port, QString* remainder)
{
    const qsizetype blank = rest.indexOf(u' ');
    const QString portText = blank < 0 ? rest : rest.left(blank);
    *remainder = blank < 0 ? QString() : rest.mid(blank + 1);
    return parseInt(portText, 1, 65535, port);
}

} // namespace

std::optional<QByteArray> parseHexBytes(const QString& text)
{
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    if (digits.size() % 2 != 0)
        return std::nullopt;
    for (QChar c : digits) {
        if (!c.isDigit() && !(c.toLower() >= u'a' && c.toLower() <= u'f'))
            return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}

std::optional<SimAction> SimAction::parse(const QString& rawLine, QString* error)
{
    QString line = rawLine;
    while (line.endsWith(u'\r') || line.endsWith(u'\n'))
        line.chop(1);
    qsizetype start = 0;
    while (start < line.size() && line[start].isSpace())
        ++start;
    line = line.mid(start);
    const QString keyword = line.section(u' ', 0, 0);
    const QString rest = restAfterKeyword(line, keyword);
    const QStringList args = rest.split(u' ', Qt::SkipEmptyParts);

    SimAction action;
    if (keyword == QLatin1String("lap")) {
        action.kind = Kind::Lap;
        if (args.size() > 2 || (args.size() >= 1 && !parseInt(args[0], 0, 5, &action.car))
            || (args.size() == 2 && !parseInt(args[1], 1, 3599999, &action.lapMs))) {
            *error = QStringLiteral("usage: lap [CAR 0-5 [MS 1-3599999]]");
            return std::nullopt;
        }
    } else if (keyword == QLatin1String("c")) {
        action.kind = Kind::CReport;
        if (args.size() > 1 || (args.size() == 1 && !parseInt(args[0], 0, 5, &action.car))) {
            *error = QStringLiteral("usage: c [CAR 0-5]");
            return std::nullopt;
        }
    } else if (keyword == QLatin1String("raw") || keyword == QLatin1String("raw-to")
               || keyword == QLatin1String("hex") || keyword == QLatin1String("hex-to")) {
        action.kind = Kind::Raw;
        QString payload = rest;
        if (keyword.endsWith(QLatin1String("-to")) && !splitPort(rest, &action.port, &payload)) {
            *error = QStringLiteral("usage: %1 PORT(1-65535) ...").arg(keyword);
            return std::nullopt;
        }
        if (keyword.startsWith(QLatin1String("hex"))) {
            const auto bytes = parseHexBytes(payload);
            if (!bytes) {
                *error = QStringLiteral("'%1' is not whole bytes of hexadecimal digits").arg(payload);
                return std::nullopt;
            }
            action.bytes = *bytes;
        } else {
            action.bytes = Cp932::encode(payload);
        }
    } else if (keyword == QLatin1String("intervals")) {
        action.kind = Kind::Intervals;
        if (args.size() > 1 || (args.size() == 1 && !parseInt(args[0], 0, 5, &action.car))) {
            *error = QStringLiteral("usage: intervals [CAR 0-5]");
            return std::nullopt;
        }
    } else if (keyword == QLatin1String("text")) {
        action.kind = Kind::Text;
        action.text = rest;
    } else if (keyword == QLatin1String("register-reply")) {
        action.kind = Kind::RegisterReply;
        action.text = rest;
    } else if (keyword == QLatin1String("quit") || keyword == QLatin1String("q")) {
        action.kind = Kind::Quit;
    } else {
        *error = QStringLiteral("unknown command '%1'").arg(keyword);
        return std::nullopt;
    }
    return action;
}

std::optional<QList<ScriptStep>> parseScript(const QString& text, QString* error)
{
    static const QRegularExpression stepPattern(QStringLiteral("^\\s*at\\s+(\\d{1,9})\\s+(\\S.*)$"));
    QList<ScriptStep> steps;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        const auto match = stepPattern.match(line);
        QString actionError;
        std::optional<SimAction> action;
        if (match.hasMatch())
            action = SimAction::parse(match.captured(2), &actionError);
        else
            actionError = QStringLiteral("expected 'at MS COMMAND'");
        if (!action) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(actionError);
            return std::nullopt;
        }
        steps.append(ScriptStep{match.captured(1).toInt(), int(i + 1), *action});
    }
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ScriptStep& a, const ScriptStep& b) { return a.atMs < b.atMs; });
    return steps;
}

QString commandHelp()
{
    return QStringLiteral(
        "  lap [CAR [MS]]         car CAR (1-5; 0 or none: every car served) completes a lap now;\n"
        "                         its time is MS, or the time since its previous lap\n"
        "  c [CAR]                send the current report again marked \"C\" (the client takes it\n"
        "                         even though the lap number is unchanged)\n"
        "  raw TEXT               send TEXT (code page 932) as one datagram to --to-port, or to the\n"
        "                         client port of the lowest car served; TEXT is everything after\n"
        "                         the one blank that follows 'raw', blanks included\n"
        "  raw-to PORT TEXT       the same, to PORT\n"
        "  hex HEX / hex-to PORT HEX   the same with bytes written in hexadecimal\n"
        "  text [TEXT]            host text of the following reports (none: no host text)\n"
        "  register-reply TEXT    send a registration reply TEXT to --client, port 7001, now\n"
        "  intervals [CAR]        report how the times between the car's status datagrams were\n"
        "                         spread since the previous 'intervals' (or the first datagram):\n"
        "                         count, min, median, p90, p99 and max in ms, and those over 150 ms;\n"
        "                         the next window starts from the last datagram\n"
        "  quit                   end the simulator\n");
}

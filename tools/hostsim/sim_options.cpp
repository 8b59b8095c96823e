#include "sim_options.h"

#include "address_guard.h"
#include "platform/cp932.h"
#include "sim_protocol.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>

namespace {

bool readInt(const QString& name, const QString& text, int min, int max, int* value, QString* error)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max) {
        *error = QStringLiteral("--%1: expected a whole number from %2 to %3, got '%4'")
                     .arg(name).arg(min).arg(max).arg(text);
        return false;
    }
    *value = v;
    return true;
}

// "ADDR=CAR": CAR as one digit 1-5 names that car; any other text is the reply as written, so a
// rehearsal can also hand the client a reply that is no car at all.
bool readRegistration(const QString& text, QPair<QString, QString>* entry, QString* error)
{
    const qsizetype eq = text.indexOf(u'=');
    const QString key = eq < 0 ? text : text.left(eq);
    const QString value = eq < 0 ? QString() : text.mid(eq + 1);
    if (eq < 0 || value.isEmpty()) {
        *error = QStringLiteral("--register: expected ADDR=CAR, got '%1'").arg(text);
        return false;
    }
    QHostAddress address;
    if (key != QLatin1String("*")
        && (!address.setAddress(key) || address.protocol() != QAbstractSocket::IPv4Protocol)) {
        *error = QStringLiteral("--register: '%1' is not an IPv4 address or '*'").arg(key);
        return false;
    }
    const bool digit = value.size() == 1 && value[0] >= u'1' && value[0] <= u'5';
    *entry = {key == QLatin1String("*") ? key : address.toString(),
              digit ? SimProtocol::carName(value.toInt()) : value};
    return true;
}

bool checkScript(const SimOptions& o, QString* error)
{
    for (const ScriptStep& step : o.script) {
        const SimAction& a = step.action;
        const bool carStep = a.kind == SimAction::Kind::Lap || a.kind == SimAction::Kind::CReport;
        if (carStep && a.car != 0 && !o.cars.contains(a.car)) {
            *error = QStringLiteral("--script line %1: car %2 is not served (add --car %2)")
                         .arg(step.lineNo).arg(a.car);
            return false;
        }
        if (a.kind == SimAction::Kind::Raw && a.port == 0 && o.defaultRawPort() == 0) {
            *error = QStringLiteral("--script line %1: no port for the datagram (give --to-port or --car)")
                         .arg(step.lineNo);
            return false;
        }
    }
    return true;
}

bool readScript(const QString& path, SimOptions* o, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--script: cannot read '%1': %2").arg(path, file.errorString());
        return false;
    }
    QString scriptError;
    const auto steps = parseScript(QString::fromUtf8(file.readAll()), &scriptError);
    if (!steps) {
        *error = QStringLiteral("--script %1: %2").arg(path, scriptError);
        return false;
    }
    o->scriptPath = path;
    o->script = *steps;
    return true;
}

bool readValues(const QCommandLineParser& p, SimOptions* o, QString* error)
{
    o->allowLan = p.isSet(QStringLiteral("allow-lan"));
    if (p.isSet(QStringLiteral("bind"))
        && !AddressGuard::parseAllowed(p.value(QStringLiteral("bind")), o->allowLan, &o->bindAddress, error)) {
        error->prepend(QStringLiteral("--bind: "));
        return false;
    }
    if (p.isSet(QStringLiteral("client"))
        && !AddressGuard::parseAllowed(p.value(QStringLiteral("client")), o->allowLan, &o->clientAddress, error)) {
        error->prepend(QStringLiteral("--client: "));
        return false;
    }
    for (const QString& r : p.values(QStringLiteral("register"))) {
        QPair<QString, QString> entry;
        if (!readRegistration(r, &entry, error))
            return false;
        o->registrations.append(entry);
    }
    o->silent = p.isSet(QStringLiteral("silent"));
    for (const QString& c : p.values(QStringLiteral("car"))) {
        int car = 0;
        if (!readInt(QStringLiteral("car"), c, 1, 5, &car, error))
            return false;
        if (!o->cars.contains(car))
            o->cars.append(car);
    }
    std::sort(o->cars.begin(), o->cars.end());

    struct IntOption { const char* name; int min; int max; int* value; };
    int seed = -1;
    const IntOption ints[] = {
        {"reply-delay", 0, 600000, &o->replyDelayMs}, {"lap", 0, 3599999, &o->lapMs},
        {"spread", 0, 3599999, &o->spreadMs},         {"repeat", 1, 50, &o->repeat},
        {"run-minutes", 1, 1440, &o->runMinutes},      {"to-port", 1, 65535, &o->toPort},
        {"seed", 0, 2147483647, &seed},               {"pit-every", 2, 100000, &o->pitEvery},
        {"pit-s", 1, 3599, &o->pitS},
    };
    for (const IntOption& opt : ints) {
        const QString name = QLatin1String(opt.name);
        if (p.isSet(name) && !readInt(name, p.value(name), opt.min, opt.max, opt.value, error))
            return false;
    }
    if (seed >= 0)
        o->seed = quint32(seed);
    if (o->lapMs > 0 && o->lapMs < 100) {
        *error = QStringLiteral("--lap: 0 (no periodic laps) or at least 100 ms");
        return false;
    }
    if (o->spreadMs > 0 && o->spreadMs >= o->lapMs) {
        *error = QStringLiteral("--spread must be smaller than --lap");
        return false;
    }
    if (p.isSet(QStringLiteral("pit-every")) != p.isSet(QStringLiteral("pit-s"))) {
        *error = QStringLiteral("--pit-every and --pit-s go together: give both or neither");
        return false;
    }
    if (o->pitEvery > 0 && o->lapMs == 0) {
        *error = QStringLiteral("--pit-every needs periodic laps (--lap above 0)");
        return false;
    }
    if (o->lapMs + o->pitS * 1000 > 3599999) {
        *error = QStringLiteral("--pit-s: a pit lap (--lap plus the stop) must stay under 3600000 ms");
        return false;
    }
    o->texts = p.values(QStringLiteral("text"));

    const bool events = p.isSet(QStringLiteral("events"));
    const bool json = p.isSet(QStringLiteral("json"));
    if (events && json) {
        *error = QStringLiteral("--events and --json exclude each other");
        return false;
    }
    o->output = json ? OutputMode::Json : events ? OutputMode::Events : OutputMode::Live;
    o->readStdin = !p.isSet(QStringLiteral("no-stdin"));
    o->strict = p.isSet(QStringLiteral("strict"));

    const bool raw = p.isSet(QStringLiteral("send-raw"));
    const bool hex = p.isSet(QStringLiteral("send-hex"));
    if (raw && hex) {
        *error = QStringLiteral("--send-raw and --send-hex exclude each other");
        return false;
    }
    if (raw)
        o->sendBytes = Cp932::encode(p.value(QStringLiteral("send-raw")));
    if (hex) {
        o->sendBytes = parseHexBytes(p.value(QStringLiteral("send-hex")));
        if (!o->sendBytes) {
            *error = QStringLiteral("--send-hex: '%1' is not whole bytes of hexadecimal digits")
                         .arg(p.value(QStringLiteral("send-hex")));
            return false;
        }
    }
    if (o->sendBytes && o->toPort == 0) {
        *error = QStringLiteral("--send-raw/--send-hex need --to-port");
        return false;
    }

    if (p.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        o->durationS = p.value(QStringLiteral("duration")).toDouble(&ok);
        if (!ok || !(o->durationS > 0) || o->durationS > 604800) {
            *error = QStringLiteral("--duration: expected seconds above 0 (at most 604800), got '%1'")
                         .arg(p.value(QStringLiteral("duration")));
            return false;
        }
    }
    if (p.isSet(QStringLiteral("script")) && !readScript(p.value(QStringLiteral("script")), o, error))
        return false;
    return checkScript(*o, error);
}

} // namespace

int SimOptions::defaultRawPort() const
{
    if (toPort != 0)
        return toPort;
    return cars.isEmpty() ? 0 : SimProtocol::carClientPort(cars.first());
}

OptionsResult parseSimOptions(const QStringList& arguments)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const char* const valued[] = {"bind", "client", "register", "reply-delay", "car", "lap",
                                  "spread", "repeat", "run-minutes", "text", "seed", "send-raw",
                                  "send-hex", "to-port", "script", "duration", "pit-every", "pit-s"};
    const char* const flags[] = {"allow-lan", "silent", "events", "json", "no-stdin", "strict"};
    for (const char* name : valued)
        p.addOption(QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value")));
    for (const char* name : flags)
        p.addOption(QCommandLineOption(QLatin1String(name)));
    p.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));

    OptionsResult result;
    if (!p.parse(arguments)) {
        result.error = p.errorText();
        return result;
    }
    if (p.isSet(QStringLiteral("help"))) {
        result.help = true;
        return result;
    }
    if (!p.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first());
        return result;
    }
    SimOptions options;
    if (readValues(p, &options, &result.error))
        result.options = options;
    return result;
}

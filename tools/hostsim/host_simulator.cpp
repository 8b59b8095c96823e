#include "host_simulator.h"

#include "address_guard.h"
#include "sim_protocol.h"

#include <QJsonObject>

HostSimulator::HostSimulator(const SimOptions& options, const SimClock* clock, QObject* parent)
    : QObject(parent), m_options(options), m_reporter(options.output),
      m_ownClock(clock ? nullptr : std::make_unique<HeartbeatClock>()),
      m_judge(m_reporter, clock ? *clock : *m_ownClock),
      m_random(options.seed ? QRandomGenerator(*options.seed) : QRandomGenerator::securelySeeded()),
      m_registration(m_options, m_reporter, m_judge)
{
    for (int car : m_options.cars)
        m_lanes.push_back(std::make_unique<CarLane>(car, m_options, m_reporter, m_judge, m_random));
    m_periodic.setInterval(1000);
    connect(&m_periodic, &QTimer::timeout, this, [this] {
        for (const auto& lane : m_lanes)
            lane->reportPeriodic();
    });
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, [this] {
        m_reporter.event(QStringLiteral("end"), 0, {{QStringLiteral("reason"), QStringLiteral("duration")}},
                         QStringLiteral("duration over, ending"));
        Q_EMIT finished(0);
    });
}

HostSimulator::~HostSimulator() = default;

CarLane* HostSimulator::lane(int car) const
{
    for (const auto& lane : m_lanes) {
        if (lane->car() == car)
            return lane.get();
    }
    return nullptr;
}

bool HostSimulator::start(QString* error)
{
    if (!m_registration.start(error))
        return false;
    QStringList ports{QString::number(SimProtocol::kDeskPort)};
    for (const auto& lane : m_lanes) {
        if (!lane->start(error))
            return false;
        ports << QString::number(SimProtocol::carHostPort(lane->car()));
    }
    m_reporter.event(QStringLiteral("start"), 0,
                     {{QStringLiteral("bind"), m_options.bindAddress.toString()},
                      {QStringLiteral("client"), m_options.clientAddress.toString()},
                      {QStringLiteral("ports"), ports.join(u',')}},
                     QStringLiteral("listening on %1 ports %2; lap reports go to %3")
                         .arg(m_options.bindAddress.toString(), ports.join(QStringLiteral(", ")),
                              m_options.clientAddress.toString()));
    if (m_options.output != OutputMode::Events && !m_lanes.empty())
        m_periodic.start();
    for (const ScriptStep& step : m_options.script) {
        QTimer::singleShot(step.atMs, Qt::PreciseTimer, this, [this, step] { execute(step.action); });
    }
    if (m_options.durationS > 0)
        m_duration.start(int(m_options.durationS * 1000));
    return true;
}

void HostSimulator::execute(const SimAction& action)
{
    const auto forCars = [this, &action](auto&& what) {
        for (const auto& lane : m_lanes) {
            if (action.car == 0 || lane->car() == action.car)
                what(*lane);
        }
    };
    switch (action.kind) {
    case SimAction::Kind::Lap:
        forCars([&action](CarLane& lane) { lane.completeLap(action.lapMs); });
        break;
    case SimAction::Kind::CReport:
        forCars([](CarLane& lane) { lane.sendCReport(); });
        break;
    case SimAction::Kind::Raw:
        sendRaw(action.bytes, action.port != 0 ? action.port : m_options.defaultRawPort());
        break;
    case SimAction::Kind::Text:
        forCars([&action](CarLane& lane) {
            lane.setTexts(action.text.isEmpty() ? QStringList() : QStringList{action.text});
        });
        break;
    case SimAction::Kind::Intervals:
        forCars([](CarLane& lane) { lane.reportIntervals(); });
        break;
    case SimAction::Kind::RegisterReply:
        m_registration.sendReply(action.text, m_options.clientAddress);
        break;
    case SimAction::Kind::Quit:
        m_reporter.event(QStringLiteral("end"), 0, {{QStringLiteral("reason"), QStringLiteral("quit")}},
                         QStringLiteral("quit, ending"));
        Q_EMIT finished(0);
        break;
    }
}

void HostSimulator::executeLine(const QString& line)
{
    if (line.trimmed().isEmpty())
        return;
    QString error;
    const auto action = SimAction::parse(line, &error);
    // Typed commands name cars like script steps do; one not served is reported, not guessed at.
    const bool carAction = action && (action->kind == SimAction::Kind::Lap || action->kind == SimAction::Kind::CReport
                                      || action->kind == SimAction::Kind::Intervals);
    if (carAction && action->car != 0 && !lane(action->car))
        error = QStringLiteral("car %1 is not served").arg(action->car);
    else if (action && action->kind == SimAction::Kind::Raw && action->port == 0 && m_options.defaultRawPort() == 0)
        error = QStringLiteral("no port for the datagram (use raw-to PORT ...)");
    if (!error.isEmpty()) {
        m_reporter.event(QStringLiteral("error"), 0, {{QStringLiteral("message"), error}},
                         QStringLiteral("command \"%1\" ignored: %2").arg(line.trimmed(), error));
        return;
    }
    execute(*action);
}

int HostSimulator::finish(int exitCode)
{
    m_judge.writeSummary();
    return exitCode == 0 && m_options.strict && m_judge.violations() > 0 ? 3 : exitCode;
}

void HostSimulator::sendRaw(const QByteArray& bytes, int port)
{
    for (const auto& lane : m_lanes) {
        if (SimProtocol::carClientPort(lane->car()) == port)
            lane->rawSent();
    }
    QString error;
    if (!AddressGuard::send(m_rawSocket, bytes, m_options.clientAddress, quint16(port), m_options.allowLan, &error)) {
        m_reporter.event(QStringLiteral("error"), 0, {{QStringLiteral("message"), error}}, error);
        return;
    }
    m_reporter.event(QStringLiteral("raw"), 0,
                     {{QStringLiteral("to"), m_options.clientAddress.toString()},
                      {QStringLiteral("port"), port},
                      {QStringLiteral("hex"), QString::fromLatin1(bytes.toHex(' '))}},
                     QStringLiteral("raw datagram of %1 bytes sent to %2:%3")
                         .arg(bytes.size()).arg(m_options.clientAddress.toString()).arg(port));
}

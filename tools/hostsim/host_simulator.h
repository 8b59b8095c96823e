#pragma once

#include "car_lane.h"
#include "judge.h"
#include "registration_server.h"
#include "reporter.h"
#include "sim_clock.h"
#include "sim_options.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>
#include <memory>
#include <vector>

/// The lap-timing host as seen from a client: the registration desk, one lane per car served,
/// the script, and the commands typed while it runs.
class HostSimulator : public QObject {
    Q_OBJECT
public:
    /// A simulator with options; nothing is bound before start(). The checks measure time with
    /// clock, or with a heartbeat clock of the simulator's own when it is nullptr.
    explicit HostSimulator(const SimOptions& options, const SimClock* clock = nullptr, QObject* parent = nullptr);
    ~HostSimulator() override;

    /// Where every output line comes from.
    Reporter& reporter() { return m_reporter; }
    /// What the protocol checks have found so far.
    const Judge& judge() const { return m_judge; }
    /// The lane of car (nullptr if that car is not served).
    CarLane* lane(int car) const;

    /// Binds the ports, starts the laps, the script and the duration; false with error if a port
    /// cannot be bound.
    bool start(QString* error);
    /// Carries out one action now.
    void execute(const SimAction& action);
    /// Carries out a command line typed by the user; an invalid one is reported and ignored.
    void executeLine(const QString& line);
    /// Ends the run: writes the summary of the checks and returns the exit status, which is
    /// exitCode, or 3 in strict mode when exitCode is 0 and a rule was broken.
    int finish(int exitCode);

Q_SIGNALS:
    /// The simulator has ended by itself (duration over, or quit) with this exit code.
    void finished(int exitCode);

private:
    void sendRaw(const QByteArray& bytes, int port);

    SimOptions m_options;
    Reporter m_reporter;
    std::unique_ptr<HeartbeatClock> m_ownClock;
    Judge m_judge;
    QRandomGenerator m_random;
    RegistrationServer m_registration;
    std::vector<std::unique_ptr<CarLane>> m_lanes;
    QUdpSocket m_rawSocket;
    QTimer m_periodic;
    QTimer m_duration;
};

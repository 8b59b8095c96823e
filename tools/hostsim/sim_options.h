#pragma once

#include "sim_action.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

/// How the simulator writes what it does and hears.
enum class OutputMode {
    Live,    ///< readable lines: one per action, and a status line per car once a second
    Events,  ///< one readable line per event
    Json,    ///< one JSON object per line, for machine reading
};

/// Everything the command line can set.
struct SimOptions {
    QHostAddress bindAddress{QHostAddress::LocalHost};    ///< address of every listening socket
    QHostAddress clientAddress{QHostAddress::LocalHost};  ///< where lap reports and raw datagrams go
    bool allowLan = false;                                ///< addresses off loopback allowed

    QList<QPair<QString, QString>> registrations;  ///< terminal address (or "*") and its reply
    bool silent = false;                           ///< registration requests go unanswered
    int replyDelayMs = 0;                          ///< registration replies are sent this late

    QList<int> cars;        ///< cars served (1..5), ascending
    int lapMs = 30000;      ///< time between laps; 0 for no periodic laps
    int spreadMs = 0;       ///< each lap differs from lapMs by up to this much either way
    int pitEvery = 0;       ///< the car stops in the pits on every pitEvery-th lap; 0 for no stops
    int pitS = 0;           ///< seconds each stop adds to its lap
    int repeat = 3;         ///< copies of each report, 100 ms apart
    int runMinutes = 0;     ///< length of the run for the end time; 0 for no end time
    QStringList texts;      ///< host texts, one per lap in turn
    std::optional<quint32> seed;  ///< seed of the lap spread, for repeatable runs

    OutputMode output = OutputMode::Live;  ///< how events are written
    bool readStdin = true;                 ///< commands are read from standard input
    bool strict = false;                   ///< a violation of the protocol makes the exit status 3

    std::optional<QByteArray> sendBytes;  ///< send-and-exit mode: the datagram
    int toPort = 0;                       ///< destination port of raw datagrams; 0 if not given

    QString scriptPath;        ///< the script file, if any
    QList<ScriptStep> script;  ///< its steps
    double durationS = 0;      ///< end after this many seconds; 0 runs until told to stop

    /// The port a raw datagram without a port of its own goes to; 0 when there is none.
    int defaultRawPort() const;
};

/// The outcome of reading the command line.
struct OptionsResult {
    std::optional<SimOptions> options;  ///< set when the command line is valid
    bool help = false;                  ///< --help was asked for
    QString error;                      ///< why the command line was refused
};

/// Reads the command line (arguments[0] is the program); a script file named there is read too.
OptionsResult parseSimOptions(const QStringList& arguments);

/// The full --help text.
QString helpText();

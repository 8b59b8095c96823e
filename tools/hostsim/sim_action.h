#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

/// One thing the simulator can be told to do, from a script step or a line typed on stdin.
struct SimAction {
    enum class Kind {
        Lap,            ///< a car completes a lap now and its report goes out
        CReport,        ///< the current report again, marked "C"
        Raw,            ///< bytes sent as one datagram to a port of the client
        Text,           ///< the host text of the following reports
        RegisterReply,  ///< a registration reply sent now, unasked
        Intervals,      ///< a car's status intervals since the last such command are reported
        Quit,           ///< end the simulator
    };
    Kind kind = Kind::Quit;
    int car = 0;         ///< 1..5, or 0 for every car served
    int lapMs = 0;       ///< Lap: the lap time; 0 measures it from the car's previous lap
    int port = 0;        ///< Raw: destination port; 0 for the default
    QByteArray bytes;    ///< Raw: the datagram
    QString text;        ///< Text, RegisterReply

    /// Parses one command ("lap 2", "c", "raw 012abc", ...); nullopt with error set if invalid.
    static std::optional<SimAction> parse(const QString& line, QString* error);
};

/// A script step: an action at a time after the simulator started.
struct ScriptStep {
    int atMs = 0;      ///< milliseconds after start
    int lineNo = 0;    ///< line in the script file, for messages
    SimAction action;  ///< what to do
};

/// Parses a script ("at MS COMMAND" lines, '#' comments, blank lines); the steps come sorted by
/// time, steps at the same time in file order. nullopt with error naming the line if invalid.
std::optional<QList<ScriptStep>> parseScript(const QString& text, QString* error);

/// Decodes hexadecimal digits (blanks between them allowed); nullopt if not whole bytes of hex.
std::optional<QByteArray> parseHexBytes(const QString& text);

/// The help text's description of the commands a script step or a stdin line may give.
QString commandHelp();

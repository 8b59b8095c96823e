#pragma once

#include "sim_options.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

/// Turns what the simulator does and hears into output lines, in the chosen output mode.
class Reporter : public QObject {
    Q_OBJECT
public:
    /// A reporter writing in mode.
    explicit Reporter(OutputMode mode, QObject* parent = nullptr);

    /// The output mode.
    OutputMode mode() const { return m_mode; }

    /// An event of type (e.g. "lap", "status", "register") about car (0: none), with its fields
    /// for JSON and a readable text. Live mode leaves "status" events to the periodic lines.
    void event(const QString& type, int car, const QJsonObject& fields, const QString& readable);

    /// The once-a-second summary of a car: a live line, or a "stats" object in JSON mode.
    void periodic(int car, const QJsonObject& fields, const QString& readable);

Q_SIGNALS:
    /// One finished output line, without a line ending.
    void line(const QString& text);

private:
    void write(const QString& type, int car, const QJsonObject& fields, const QString& readable);

    OutputMode m_mode;
};

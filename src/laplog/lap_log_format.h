#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

/// What the lap log keeps of one lap report the window took.
struct LapLogRow {
    QDateTime received;              ///< local time the report was taken
    int32_t lap = 0;                 ///< lap number of the report (laps completed)
    int32_t lapMs = 0;               ///< the lap just finished
    int32_t bestMs = 0;              ///< best lap
    int32_t averageMs = 0;           ///< average lap
    int64_t diffMs = 0;              ///< this lap minus the lap before, as the window files it
    std::optional<QDateTime> endTime;  ///< end of the run, when one is in force
    QString hostText;                ///< the host's line of text, without the ticker's spaces
    QString driverMessage;           ///< the driver message being sent when the report came
    QStringList extra;               ///< the fields of columns added after these, in their order
};

/// The lap log's file format: CSV in UTF-8 with a byte order mark, CRLF line ends.
namespace LapLogFormat {

/// The start of a new file: the byte order mark and the header row, extraColumns after the
/// log's own.
QByteArray fileStart(const QStringList& extraColumns = {});
/// One row, line end included.
QByteArray row(const LapLogRow& r);
/// A field as CSV writes it: quoted, inner quotes doubled, when it holds a comma, quote or line break.
QString field(const QString& text);
/// The file name of a run started at start with the car box showing carText: the car's digit
/// for one of the five cars, else the text made safe for a file name.
QString fileName(const QDateTime& start, const QString& carText);

} // namespace LapLogFormat

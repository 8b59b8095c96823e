#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <cstdint>
#include <optional>

/// The datagrams between client and host: ports, layouts and the reading of their fields.
/// Columns are 1-based and count characters of the decoded text.
namespace Datagram {

/// Registration pair: the client's port and the host's port.
constexpr uint16_t kCheckerLocalPort = 7001;
constexpr uint16_t kCheckerRemotePort = 7002;
/// The registration reply of a terminal the host does not know.
inline const QString kNotRegistered = QStringLiteral("未登録");

/// The client's (local) port of car n (1 to 5): 7001 + 10 n.
constexpr uint16_t clientPort(int car) { return uint16_t(7001 + 10 * car); }
/// The host's (remote) port of car n: one more than the client's.
constexpr uint16_t hostPort(int car) { return uint16_t(7002 + 10 * car); }
/// The car (1 to 5) whose item text is exactly text ("１号車" ... "５号車"); 0 for any other text.
int carOfText(const QString& text);
/// The item text of car n (1 to 5).
QString carText(int car);

/// Characters first .. first + width - 1 of text; columns beyond the end read as empty.
QString column(const QString& text, int first, int width);
/// The same column as a view into text, for reading it without a copy.
QStringView columnView(const QString& text, int first, int width);

/// Leading-number parse: blanks skipped anywhere, optional sign, digits and decimal point,
/// rounded half to even. Empty or non-numeric reads 0; nullopt when the value does not fit
/// a signed 32-bit integer.
std::optional<int32_t> parseLeadingNumber(QStringView field);

/// A date text: four-digit year, month and day of one or two digits, separated by the same
/// one of '/', '-' or '.', blanks around allowed. nullopt for any other text or an invalid date.
std::optional<QDate> parseDateText(QStringView text);
/// A time text: H:M:S with one- or two-digit fields, blanks around allowed.
std::optional<QTime> parseTimeText(QStringView text);

/// The status datagram: lapNo with at least three digits, then the driver message.
QString statusText(int32_t lapNo, const QString& message);

/// The fields of a lap report, as text, cut from their columns.
struct LapReportFields {
    QString kind;      ///< column 1
    QString lapNo;     ///< columns 2-4
    QString lastLap;   ///< columns 5-14
    QString bestLap;   ///< columns 15-24
    QString aveLap;    ///< columns 25-34
    QString date;      ///< columns 35-44
    QString clock;     ///< columns 45-52
    QString endTime;   ///< columns 53-60
    QString hostText;  ///< column 61 to the end
};
/// Cuts a lap report into its fields.
LapReportFields splitLapReport(const QString& text);

/// Builds a lap report in the forms the client reads: kind 'C' or ' ', lap number right-aligned
/// in 3 columns, the three lap times right-aligned in 10, date "yyyy/MM/dd", times "HH:mm:ss".
/// A number wider than its column keeps its last characters; an invalid date or time leaves
/// its columns blank. Used by the host simulator and by tests.
QString lapReportText(bool forced, int32_t lapNo, int32_t lastLap, int32_t bestLap, int32_t aveLap,
                      const QDate& date, const QTime& clock, const QTime& endTime,
                      const QString& hostText);

} // namespace Datagram

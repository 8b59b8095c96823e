#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <cstdint>

/// The host's side of the datagrams, written from the protocol as documented and kept apart from
/// the client's code on purpose: a misreading made on one side then shows up on the other.
/// Columns count characters of the code page 932 text, as the protocol says.
namespace SimProtocol {

/// The client's registration port, where registration requests come from and replies go.
constexpr quint16 kTerminalPort = 7001;
/// The host's registration port, where registration requests arrive.
constexpr quint16 kDeskPort = 7002;
/// The client's port of car n (1..5): 7001 + 10 n; status datagrams come from it.
constexpr quint16 carClientPort(int car) { return quint16(7001 + 10 * car); }
/// The host's port of car n: 7002 + 10 n; status datagrams arrive there.
constexpr quint16 carHostPort(int car) { return quint16(7002 + 10 * car); }

/// The registration reply to a terminal the host does not know.
QString notRegistered();
/// The name of car n (1..5) as a registration reply carries it, "１号車" ... "５号車".
QString carName(int car);

/// True when text is exactly an IPv4 address in dotted-decimal form as a socket layer writes
/// it: four numbers 0..255 without leading zeros, three dots, nothing else.
bool isDottedIPv4(QStringView text);

/// Splits the decoded text of a status datagram into the lap number of its three-character head
/// (-1 when the head is not three decimal digits) and the driver message after it.
void splitStatus(const QString& text, int* lapNo, QString* message);

/// A status datagram as the host reads it.
struct StatusReading {
    QString text;         ///< the decoded text
    bool validCp932 = true;  ///< every byte sequence is a code page 932 character
    int lapNo = -1;       ///< the head's lap number; -1 when the head is not the lap field
    QString message;      ///< the driver message
};
/// Reads the bytes of a status datagram.
StatusReading readStatus(const QByteArray& bytes);

/// A lap report the host sends to a car's client.
struct LapReport {
    bool forced = false;  ///< kind "C": the client takes it even with an unchanged lap number
    int lapNo = 0;        ///< laps completed, 0..999
    int32_t lastMs = 0;   ///< the lap just completed
    int32_t bestMs = 0;   ///< the best lap
    int32_t aveMs = 0;    ///< the average lap
    QDate date;           ///< the host's date
    QTime clock;          ///< the host's time of day
    QTime end;            ///< end of the run; equal to clock when the run has no end time
    QString text;         ///< host text, may be empty

    /// The date column's text, yyyy/MM/dd.
    QString dateText() const;
    /// The clock column's text, HH:mm:ss.
    QString clockText() const;
    /// The end-time column's text, HH:mm:ss.
    QString endText() const;
    /// The report's text: sixty fixed columns, then the host text.
    QString toText() const;
    /// The report's bytes in code page 932.
    QByteArray encode() const;
};

} // namespace SimProtocol

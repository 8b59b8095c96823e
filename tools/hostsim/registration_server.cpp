#include "registration_server.h"

#include "address_guard.h"
#include "sim_protocol.h"
#include "platform/cp932.h"

#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTimer>

namespace {

// A request may carry CR, LF or NUL; the readable line shows them as escapes so that it stays
// one line.
QString visible(const QString& text)
{
    QString out;
    for (QChar c : text)
        out += c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0')) : QString(c);
    return out;
}

} // namespace

RegistrationServer::RegistrationServer(const SimOptions& options, Reporter& reporter, Judge& judge,
                                       QObject* parent)
    : QObject(parent), m_options(options), m_reporter(reporter), m_judge(judge)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &RegistrationServer::readPending);
}

bool RegistrationServer::start(QString* error)
{
    if (!AddressGuard::permits(m_options.bindAddress, m_options.allowLan)) {
        *error = QStringLiteral("refused to bind %1").arg(m_options.bindAddress.toString());
        return false;
    }
    if (!m_socket.bind(m_options.bindAddress, SimProtocol::kDeskPort, QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(m_options.bindAddress.toString()).arg(SimProtocol::kDeskPort)
                     .arg(m_socket.errorString());
        return false;
    }
    return true;
}

QString RegistrationServer::replyFor(const QList<QPair<QString, QString>>& table, const QString& request,
                                     const QHostAddress& sender)
{
    // The request names the terminal's own address, which on a PC with a network card differs
    // from the loopback address the datagram comes from during a rehearsal on one machine.
    const QString keys[] = {SimProtocol::isDottedIPv4(request) ? request : QString(),
                            QHostAddress(sender.toIPv4Address()).toString(), QStringLiteral("*")};
    for (const QString& key : keys) {
        if (key.isEmpty())
            continue;
        for (const auto& entry : table) {
            if (entry.first == key)
                return entry.second;
        }
    }
    return SimProtocol::notRegistered();
}

void RegistrationServer::sendReply(const QString& text, const QHostAddress& address)
{
    QString error;
    if (!AddressGuard::send(m_socket, Cp932::encode(text), address, SimProtocol::kTerminalPort,
                            m_options.allowLan, &error)) {
        m_reporter.event(QStringLiteral("error"), 0, {{QStringLiteral("message"), error}}, error);
        return;
    }
    m_reporter.event(QStringLiteral("register-reply"), 0,
                     {{QStringLiteral("to"), address.toString()}, {QStringLiteral("reply"), text}},
                     QStringLiteral("registration reply \"%1\" sent to %2:%3")
                         .arg(text, address.toString()).arg(SimProtocol::kTerminalPort));
}

void RegistrationServer::check(const QByteArray& bytes, const QString& request, int senderPort)
{
    m_judge.datagramChecked();
    if (!SimProtocol::isDottedIPv4(request)) {
        // Every byte outside digits and dots decodes to a character outside them, so the decoded
        // text decides for the bytes too.
        m_judge.judge({Rule::RequestForm, QStringLiteral("%1 bytes, not exactly a dotted IPv4 address")
                                              .arg(bytes.size())},
                      0, bytes);
    }
    if (senderPort != SimProtocol::kTerminalPort)
        m_judge.judge({Rule::RequestPort, QStringLiteral("sent from port %1, not %2")
                                              .arg(senderPort).arg(SimProtocol::kTerminalPort)},
                      0, bytes);
}

void RegistrationServer::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QString request = Cp932::decode(datagram.data());
        const QHostAddress sender(datagram.senderAddress().toIPv4Address());
        check(datagram.data(), request, datagram.senderPort());
        const QString reply = replyFor(m_options.registrations, request, sender);
        const QString answer = m_options.silent ? QStringLiteral("none (silent)")
                               : m_options.replyDelayMs > 0
                                   ? QStringLiteral("\"%1\" in %2 ms").arg(reply).arg(m_options.replyDelayMs)
                                   : QStringLiteral("\"%1\"").arg(reply);
        m_reporter.event(QStringLiteral("register"), 0,
                         {{QStringLiteral("from"), sender.toString()},
                          {QStringLiteral("request"), request},
                          {QStringLiteral("reply"), reply},
                          {QStringLiteral("silent"), m_options.silent},
                          {QStringLiteral("delay_ms"), m_options.replyDelayMs}},
                         QStringLiteral("registration request \"%1\" from %2, answer %3")
                             .arg(visible(request), sender.toString(), answer));
        if (m_options.silent)
            continue;
        if (m_options.replyDelayMs > 0)
            QTimer::singleShot(m_options.replyDelayMs, Qt::PreciseTimer, this,
                               [this, reply, sender] { sendReply(reply, sender); });
        else
            sendReply(reply, sender);
    }
}

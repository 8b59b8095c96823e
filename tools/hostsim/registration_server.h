#pragma once

#include "judge.h"
#include "reporter.h"
#include "sim_options.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

/// The host's registration desk: answers each registration request with the car of the terminal,
/// or "未登録" for a terminal it does not know, and checks the form and source port of each request.
class RegistrationServer : public QObject {
    Q_OBJECT
public:
    /// A desk with the table and reply rules of options, writing events to reporter and handing
    /// broken rules to judge.
    RegistrationServer(const SimOptions& options, Reporter& reporter, Judge& judge, QObject* parent = nullptr);

    /// Binds the host's registration port; false with error if it cannot.
    bool start(QString* error);

    /// The reply to request from sender: the entry for the address a well-formed request names,
    /// else for the sender's address, else the "*" entry, else "未登録".
    static QString replyFor(const QList<QPair<QString, QString>>& table, const QString& request,
                            const QHostAddress& sender);

    /// Sends text as a registration reply to address, port 7001, now.
    void sendReply(const QString& text, const QHostAddress& address);

private:
    void check(const QByteArray& bytes, const QString& request, int senderPort);
    void readPending();

    const SimOptions& m_options;
    Reporter& m_reporter;
    Judge& m_judge;
    QUdpSocket m_socket;
};

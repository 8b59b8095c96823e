#include "reporter.h"

#include "sim_protocol.h"

#include <QDateTime>
#include <QJsonDocument>

Reporter::Reporter(OutputMode mode, QObject* parent) : QObject(parent), m_mode(mode) {}

void Reporter::event(const QString& type, int car, const QJsonObject& fields, const QString& readable)
{
    // A live view shows the status datagrams once a second instead of ten lines a second per car.
    if (m_mode == OutputMode::Live && type == QLatin1String("status"))
        return;
    write(type, car, fields, readable);
}

void Reporter::periodic(int car, const QJsonObject& fields, const QString& readable)
{
    if (m_mode == OutputMode::Events)
        return;
    write(QStringLiteral("stats"), car, fields, readable);
}

void Reporter::write(const QString& type, int car, const QJsonObject& fields, const QString& readable)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (m_mode == OutputMode::Json) {
        QJsonObject object = fields;
        object.insert(QStringLiteral("type"), type);
        if (car != 0)
            object.insert(QStringLiteral("car"), car);
        object.insert(QStringLiteral("time"), now.toString(Qt::ISODateWithMs));
        Q_EMIT line(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return;
    }
    QString text = now.toString(QStringLiteral("HH:mm:ss.zzz "));
    if (car != 0)
        text += SimProtocol::carName(car) + u' ';
    Q_EMIT line(text + readable);
}

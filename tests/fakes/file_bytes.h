#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

/// The whole file at path, or "<unreadable>".
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Replaces the file at path with bytes; fails the running test when it cannot.
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

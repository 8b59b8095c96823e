#pragma once

#include "platform/keep_awake.h"

#include <QString>
#include <QThread>

#include <functional>

class KeepAwakeWorker;

/// Keeps a Linux PC awake for a run in the two ways a desktop listens to: the desktop's idle
/// inhibition (org.freedesktop.ScreenSaver on the session bus, held by a cookie) and logind's
/// idle inhibitor (on the system bus, held by a file descriptor). A worker thread of its own
/// talks to both buses, so hold and release never wait. Both go when the process ends. A run
/// that neither service keeps awake says so in one line on standard error.
class DesktopKeepAwake : public IKeepAwake {
public:
    /// What it reaches; tests replace each part.
    struct Access {
        QString sessionBus;  ///< address of the desktop's bus; empty: the session bus
        QString systemBus;   ///< address of logind's bus; empty: the system bus
        std::function<void(const QString& line)> tell = {};  ///< takes the line saying nothing holds; empty: stderr
    };

    /// The session and system buses, and standard error.
    DesktopKeepAwake();
    /// The services reached through access.
    explicit DesktopKeepAwake(Access access);
    /// Gives back what is held, then ends the worker.
    ~DesktopKeepAwake() override;
    DesktopKeepAwake(const DesktopKeepAwake&) = delete;
    DesktopKeepAwake& operator=(const DesktopKeepAwake&) = delete;

    void hold() override;
    void release() override;

private:
    QThread* m_thread;          // left to the end of the process when a bus holds it
    KeepAwakeWorker* m_worker;  // lives in m_thread, deleted there as it finishes
    QString m_connectionPrefix;
};

#pragma once

#include "platform/dialogs.h"
#include "platform/editor_launcher.h"
#include "platform/local_address.h"
#include "platform/system_clock.h"
#include "platform/tick_timer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <memory>

/// Tick timer driven by hand: fire(n) runs the callback n times.
class FakeTickTimer : public ITickTimer {
public:
    int32_t timeSetEvent(int delayMs, std::function<void()> callback) override;
    void timeKillEvent(int32_t id) override;
    /// Runs the callbacks of every running timer n times.
    void fire(int n = 1);
    /// Number of timers running.
    int running() const { return int(m_timers.size()); }
    int lastDelayMs = 0;
    QList<int32_t> killed;
    std::function<void()> onChange; ///< runs after each start and stop of a timer

private:
    std::map<int32_t, std::function<void()>> m_timers;
    int32_t m_nextId = 1;
};

/// A clock that starts at a fixed local time, records every setting and can refuse them.
class FakeClock : public ISystemClock {
public:
    explicit FakeClock(const QDateTime& start = QDateTime(QDate(2026, 5, 3), QTime(10, 0, 0)));
    QDateTime now() const override;
    bool setDate(const QDate& date) override;
    bool setTime(const QDateTime& dateTime) override;
    /// Moves the clock on by ms milliseconds.
    void advance(qint64 ms);

    bool refuse = false;
    QList<QDate> datesSet;
    QList<QDateTime> timesSet;

private:
    QDateTime m_now;
};

/// Records every box shown and answers from a queue (default: OK, or Yes for Yes/No boxes).
class FakeDialogs : public IDialogs {
public:
    struct Box {
        QString prompt;
        int style = 0;
        QString title;
    };
    struct Input {
        QString prompt;
        QString title;
        QString defaultText;
    };
    int msgBox(const QString& prompt, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;

    QList<Box> boxes;
    QList<Input> inputs;
    QList<int> answers;          ///< taken in order by msgBox
    QList<QString> inputAnswers; ///< taken in order by inputBox; empty queue answers Cancel
    std::function<void()> whileOpen; ///< runs inside every box, as the nested loop would
};

/// How a fake editor run stands: running, how it ended, and the save watch asked of it.
struct FakeEditorRun {
    bool running = true;
    QDeadlineTimer closes{QDeadlineTimer::Forever};  ///< ends by itself then, loop or no loop
    bool succeeded = true;
    std::function<void()> onSaved;  ///< set while the window watches the file
};

/// An editor whose process runs until told to end.
class FakeEditorProcess : public IEditorProcess {
public:
    explicit FakeEditorProcess(std::shared_ptr<FakeEditorRun> run) : m_run(std::move(run)) {}
    ~FakeEditorProcess() override { m_run->onSaved = nullptr; }
    bool stillActive() override { return m_run->running && !m_run->closes.hasExpired(); }
    bool succeeded() const override { return m_run->succeeded; }
    void watchSaves(std::function<void()> onSaved) override { m_run->onSaved = std::move(onSaved); }

private:
    std::shared_ptr<FakeEditorRun> m_run;
};

/// Records the paths opened; each open starts a fake process, or fails when told to.
class FakeEditorLauncher : public IEditorLauncher {
public:
    std::unique_ptr<IEditorProcess> open(const QString& path) override;
    /// Ends the editor started by the n-th open (0-based), with a failing exit status if !ok.
    void finish(int n, bool ok = true)
    {
        m_runs.at(n)->succeeded = ok;
        m_runs.at(n)->running = false;
    }
    /// Saves the file in the n-th editor: true when the window was watching for it.
    bool save(int n)
    {
        if (!m_runs.at(n)->onSaved)
            return false;
        m_runs.at(n)->onSaved();
        return true;
    }

    bool fail = false;
    int runsMs = -1;  ///< when set, each editor closes by itself after this long
    QList<QString> opened;
    std::function<void(int n)> onOpen; ///< runs right after the n-th open

private:
    QList<std::shared_ptr<FakeEditorRun>> m_runs;
};

/// A fixed local address.
class FakeLocalAddress : public ILocalAddress {
public:
    explicit FakeLocalAddress(QString address = QStringLiteral("127.0.0.1")) : m_address(std::move(address)) {}
    QString localIPv4(const QString&) const override { return m_address; }

private:
    QString m_address;
};

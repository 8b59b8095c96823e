#include "fake_services.h"

int32_t FakeTickTimer::timeSetEvent(int delayMs, std::function<void()> callback)
{
    lastDelayMs = delayMs;
    const int32_t id = m_nextId++;
    m_timers[id] = std::move(callback);
    if (onChange)
        onChange();
    return id;
}

void FakeTickTimer::timeKillEvent(int32_t id)
{
    killed.append(id);
    m_timers.erase(id);
    if (onChange)
        onChange();
}

void FakeTickTimer::fire(int n)
{
    for (int i = 0; i < n; ++i)
        for (auto& [id, cb] : m_timers)
            cb();
}

FakeClock::FakeClock(const QDateTime& start) : m_now(start) {}

QDateTime FakeClock::now() const { return m_now; }

bool FakeClock::setDate(const QDate& date)
{
    if (refuse)
        return false;
    datesSet.append(date);
    m_now = QDateTime(date, m_now.time());
    return true;
}

bool FakeClock::setTime(const QDateTime& dateTime)
{
    if (refuse)
        return false;
    timesSet.append(dateTime);
    m_now = dateTime;
    return true;
}

void FakeClock::advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

int FakeDialogs::msgBox(const QString& prompt, int style, const QString& title)
{
    boxes.append({prompt, style, title});
    if (whileOpen)
        whileOpen();
    if (!answers.isEmpty())
        return answers.takeFirst();
    return (style & 0xF) == MsgBox::vbYesNo ? MsgBox::vbYes : MsgBox::vbOK;
}

QString FakeDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    inputs.append({prompt, title, defaultText});
    if (whileOpen)
        whileOpen();
    return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
}

std::unique_ptr<IEditorProcess> FakeEditorLauncher::open(const QString& path)
{
    opened.append(path);
    if (fail)
        return nullptr;
    auto run = std::make_shared<FakeEditorRun>();
    if (runsMs >= 0)
        run->closes.setRemainingTime(runsMs);
    m_runs.append(run);
    auto process = std::make_unique<FakeEditorProcess>(run);
    if (onOpen)
        onOpen(int(m_runs.size()) - 1);
    return process;
}

#include "ui/pit_panel.h"

#include "client/time_format.h"
#include "layouts/layout_types.h"
#include "platform/editor_launcher.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kEditorPollMs = 250;
constexpr int kPanelWidthPx = 420;

/// Running times: hours, minutes and seconds; a negative time with a minus sign.
QString hms(qint64 ms)
{
    const QString text = Fmt_HMS(int32_t(std::llabs(ms) / 1000));
    return ms < 0 ? QLatin1Char('-') + text : text;
}

/// A silence: whole minutes and seconds, "4:12".
QString minutesSeconds(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString lapText(std::optional<qint64> ms)
{
    return ms ? Fmt_LapMilli(int32_t(*ms)) : QStringLiteral("--");
}

QLabel* addLine(QGridLayout* grid, int row, int points, bool bold = false)
{
    auto* label = new QLabel;
    QFont font(QString::fromUtf8(FontFace::Gothic), points);
    font.setBold(bold);
    label->setFont(font);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    grid->addWidget(label, row, 0, 1, 3);
    return label;
}

} // namespace

PitPanel::PitPanel(PitObserver& observer, IEditorLauncher& editor, QWidget* parent)
    : QWidget(parent, Qt::Window), m_observer(observer), m_editor(editor)
{
    setWindowTitle(QStringLiteral("ピット"));
    // The client window keeps the focus when the panel appears beside it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    // At least this wide; beside a filling client window it takes the whole free side.
    setMinimumWidth(kPanelWidthPx);
    auto* grid = new QGridLayout(this);
    int row = 0;
    m_stint = addLine(grid, row++, 16, true);
    m_running = addLine(grid, row++, 14);
    m_laps = addLine(grid, row++, 12);
    m_stop = addLine(grid, row++, 14, true);
    m_pits = addLine(grid, row++, 14, true);
    m_next = addLine(grid, row++, 12);
    m_drivers = addLine(grid, row++, 11);
    m_stops = addLine(grid, row++, 11);
    // The alert is read from across the pit: large, yellow on red.
    m_alert = addLine(grid, row++, 20, true);
    m_alert->setMinimumHeight(m_alert->fontMetrics().height() * 2);
    QPalette alarm = m_alert->palette();
    alarm.setColor(QPalette::Window, QColor(0xC0, 0x00, 0x00));
    alarm.setColor(QPalette::WindowText, QColor(Qt::yellow));
    m_alert->setPalette(alarm);
    m_alert->setAlignment(Qt::AlignCenter);
    m_kept = addLine(grid, row++, 12, true);
    m_note = addLine(grid, row++, 10);
    // A panel taller than its lines keeps them together at the top, the buttons at the bottom.
    grid->setRowStretch(row++, 1);

    addKey(Key::PitIn, QStringLiteral("ピットイン (F5)"), QKeySequence(Qt::Key_F5), [this] { m_observer.pitIn(); });
    addKey(Key::PitOut, QStringLiteral("ピットアウト (F6)"), QKeySequence(Qt::Key_F6),
           [this] { m_observer.pitOut(); });
    addKey(Key::ChooseDriver, QStringLiteral("ドライバー選択 (F7)"), QKeySequence(Qt::Key_F7),
           [this] { chooseNextDriver(); });
    addKey(Key::Undo, QStringLiteral("取り消し (Ctrl+Z)"), QKeySequence(Qt::CTRL | Qt::Key_Z),
           [this] { m_observer.undo(); });
    addKey(Key::Mute, QStringLiteral("消音 (F8)"), QKeySequence(Qt::Key_F8), [this] { m_observer.toggleMute(); });
    addKey(Key::EditRules, QStringLiteral("Stints.ini を編集"), QKeySequence(), [this] { editRules(); });
    for (int i = 0; i < m_buttons.size(); ++i)
        grid->addWidget(m_buttons.at(i), row + i / 3, i % 3);

    // Time moves the figures only while a run is on: the observer's 100 ms beat refreshes them
    // then (after its alerts are collected), and every change refreshes them at once. One beat
    // for both keeps the panel's wakeups to those the observer makes anyway.
    connect(&m_observer.alertTimer(), &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&m_observer, &PitObserver::changed, this, &PitPanel::refresh);
    m_editorPoll.setInterval(kEditorPollMs);
    connect(&m_editorPoll, &QTimer::timeout, this, &PitPanel::watchEditor);
    refresh();
}

PitPanel::~PitPanel() = default;

void PitPanel::addKey(Key key, const QString& text, const QKeySequence& shortcut, std::function<void()> run)
{
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    // Only while one of the windows the action is added to is active: a box opened over them
    // (the question of F5 among them) takes the keys for itself.
    action->setShortcutContext(Qt::WindowShortcut);
    action->setAutoRepeat(false);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    addAction(action);
    m_actions.append(action);
    auto* button = new QPushButton(text, this);
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    m_buttons.append(button);
    Q_ASSERT(m_actions.size() == int(key) + 1);
}

QAction* PitPanel::action(Key key) const
{
    return m_actions.at(int(key));
}

QPushButton* PitPanel::button(Key key) const
{
    return m_buttons.at(int(key));
}

void PitPanel::attachKeys(QWidget* window)
{
    for (QAction* action : std::as_const(m_actions))
        if (!action->shortcut().isEmpty())
            window->addAction(action);
}

QMargins PitPanel::frameMargins() const
{
    return {geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
            frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom()};
}

int PitPanel::widthBeside() const
{
    // A usual window frame's width, for the time before the window manager has put one round.
    constexpr int kFrameAllowance = 16;
    const QMargins frame = frameMargins();
    const int framed = frame.left() + frame.right();
    return std::max({minimumWidth(), minimumSizeHint().width(), sizeHint().width()})
        + (framed > 0 ? framed : kFrameAllowance);
}

void PitPanel::placeBeside(const QWidget& window)
{
    const QScreen* screen = window.screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    const QRect client = window.frameGeometry();
    const QMargins frame = frameMargins();
    const int least = widthBeside();
    // The panel takes a whole side of the screen that the client window leaves free, right
    // first; on a screen with no such side it stands at the right edge as a window of its own.
    QRect strip;
    if (room.right() - client.right() >= least)
        strip = QRect(QPoint(client.right() + 1, room.top()), room.bottomRight());
    else if (client.left() - room.left() >= least)
        strip = QRect(room.topLeft(), QPoint(client.left() - 1, room.bottom()));
    if (strip.isValid()) {
        setGeometry(strip.marginsRemoved(frame));
        return;
    }
    adjustSize();
    move(room.right() + 1 - frameGeometry().width(), std::max(client.top(), room.top()));
}

void PitPanel::follow(QWidget* window)
{
    m_followed = window;
    window->installEventFilter(this);
    placeBeside(*window);
}

bool PitPanel::eventFilter(QObject* watched, QEvent* event)
{
    // The client window moves and resizes as it fills the screen or leaves it (F11, a frame
    // that comes late): the panel keeps to the side it leaves free.
    if (watched == m_followed && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeBeside(*m_followed);
    return QWidget::eventFilter(watched, event);
}

void PitPanel::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}

void PitPanel::closeEvent(QCloseEvent* event)
{
    // The panel lives as long as the client window: the program ends through End.
    event->ignore();
}

void PitPanel::chooseNextDriver()
{
    // Each press moves the choice one down the roster, starting after the one pit-out would take.
    const int count = int(m_observer.rules().drivers.size());
    if (count == 0)
        return;
    const std::optional<int> from = m_observer.chosenDriver() ? m_observer.chosenDriver()
                                                              : m_observer.book().nextDriver();
    m_observer.chooseDriver((from.value_or(-1) + 1) % count);
}

void PitPanel::editRules()
{
    // No wait here: the panel and the client window go on while the file is edited, and every
    // save (and the editor's end) reads it again.
    m_editing.reset();
    m_editorPoll.stop();
    m_editing = m_editor.open(m_observer.pathForEditing());
    if (!m_editing) {
        m_note->setText(QStringLiteral("Stints.ini を開けませんでした。"));
        return;
    }
    m_note->setText(QStringLiteral("Stints.ini を編集中"));
    m_editing->watchSaves([this] { m_observer.reloadRules(); });
    m_editorPoll.start();
}

void PitPanel::watchEditor()
{
    if (!m_editing || m_editing->stillActive())
        return;
    m_editorPoll.stop();
    m_note->setText(m_editing->succeeded() ? QString() : QStringLiteral("Stints.ini を開けませんでした。"));
    // The process may have handed the file to an editor already running: its saves are still
    // watched until the next press.
    m_observer.reloadRules();
}

QString PitPanel::driverName(std::optional<int> driver) const
{
    const QStringList& roster = m_observer.rules().drivers;
    if (!driver || *driver < 0 || *driver >= roster.size())
        return QStringLiteral("--");
    return roster.at(*driver);
}

QString PitPanel::alertText(const StintAlert& alert) const
{
    switch (alert.kind) {
    case AlertKind::StintEnding:
        return QStringLiteral("スティント%1 残り5分").arg(alert.subject);
    case AlertKind::StintMax:
        return QStringLiteral("スティント%1 最長時間").arg(alert.subject);
    case AlertKind::StopDone:
        return QStringLiteral("ピット最短時間経過 発進可");
    case AlertKind::PitsOpen:
        return QStringLiteral("ピットオープン");
    case AlertKind::PitsClosing:
        return QStringLiteral("ピットクローズ");
    case AlertKind::DriverMax:
        return QStringLiteral("%1 最長運転時間").arg(driverName(alert.subject));
    case AlertKind::LapSilence:
        return QStringLiteral("ラップ受信なし %1").arg(minutesSeconds(m_observer.watchdog().silentMs(m_observer.now())));
    case AlertKind::HostUnreachable:
        return QStringLiteral("ホストに届きません");
    }
    return {};
}

QString PitPanel::alertShown() const
{
    return m_alert->text();
}

void PitPanel::refresh()
{
    const qint64 now = m_observer.now();
    const StintBook& book = m_observer.book();
    const StintRules& rules = m_observer.rules();
    const StintStatus s = book.status(now);

    if (s.stint == 0) {
        m_stint->setText(QStringLiteral("スタート前"));
        m_running->setText(QString());
        m_laps->setText(QString());
    } else {
        m_stint->setText(QStringLiteral("スティント%1  %2").arg(s.stint).arg(driverName(s.driver)));
        QString running = QStringLiteral("走行 %1").arg(hms(s.runningMs));
        if (s.leftMs)
            running += QStringLiteral("  最長まで %1").arg(hms(*s.leftMs));
        m_running->setText(running);
        m_laps->setText(QStringLiteral("%1周  ベスト %2  平均 %3").arg(s.laps).arg(lapText(s.bestMs), lapText(s.averageMs)));
    }
    if (s.inStop) {
        QString stop = QStringLiteral("ピット停止 %1").arg(hms(s.stopMs));
        if (s.stopLeftMs)
            stop += *s.stopLeftMs > 0 ? QStringLiteral("  最短まで %1").arg(hms(*s.stopLeftMs))
                                      : QStringLiteral("  発進可");
        m_stop->setText(stop);
    } else {
        m_stop->setText(QString());
    }
    m_pits->setText(s.stint == 0 ? QString()
                                 : s.pitsOpen ? QStringLiteral("ピット オープン") : QStringLiteral("ピット クローズ"));

    const std::optional<int> next = m_observer.chosenDriver() ? m_observer.chosenDriver() : book.nextDriver();
    m_next->setText(rules.drivers.isEmpty() ? QString()
                                            : QStringLiteral("次のドライバー: %1%2")
                                                  .arg(driverName(next),
                                                       m_observer.chosenDriver() ? QStringLiteral(" (選択)") : QString()));

    QStringList drivers;
    for (int i = 0; i < rules.drivers.size(); ++i) {
        const DriverTotal t = book.driverTotal(i, now);
        QString line = QStringLiteral("%1  %2  %3周").arg(rules.drivers.at(i), hms(t.drivenMs)).arg(t.laps);
        if (t.shortOfMinMs)
            line += *t.shortOfMinMs > 0 ? QStringLiteral("  最低まで %1").arg(hms(*t.shortOfMinMs))
                                        : QStringLiteral("  最低達成");
        if (t.leftToMaxMs)
            line += QStringLiteral("  最長まで %1").arg(hms(*t.leftToMaxMs));
        drivers.append(line);
    }
    m_drivers->setText(drivers.join(QLatin1Char('\n')));

    QStringList stops;
    for (int i = 0; i < book.stops().size(); ++i) {
        const PitStop& stop = book.stops().at(i);
        stops.append(stop.outMs ? QStringLiteral("%1) %2  %3").arg(i + 1).arg(hms(*stop.outMs - stop.inMs),
                                                                           driverName(stop.driver))
                                : QStringLiteral("%1) 停止中").arg(i + 1));
    }
    m_stops->setText(QStringLiteral("ピットストップ %1回").arg(book.stops().size())
                     + (stops.isEmpty() ? QString() : QLatin1Char('\n') + stops.join(QLatin1Char('\n'))));

    const std::optional<StintAlert> latest = m_observer.latestAlert();
    // The line keeps its room when empty, so that the panel does not change size with the alerts.
    m_alert->setText(latest ? alertText(*latest) : QString());
    m_alert->setAutoFillBackground(latest.has_value());
    m_kept->setText(m_observer.notice());
    button(Key::Mute)->setText(m_observer.muted() ? QStringLiteral("消音中 (F8)") : QStringLiteral("消音 (F8)"));
}

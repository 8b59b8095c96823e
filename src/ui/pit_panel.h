#pragma once

#include "pit/pit_observer.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class IEditorLauncher;
class IEditorProcess;
class QAction;
class QCloseEvent;
class QLabel;
class QPushButton;

/// The pit panel: a window of its own beside the client window that shows the stint, the stop,
/// the pits, the drivers' totals and the latest alert, and takes the pit keys. The keys work
/// in the panel and in every window handed to attachKeys; the client window's own keys (Tab,
/// Space, the car list's, F11) are none of them.
class PitPanel : public QWidget {
    Q_OBJECT
public:
    /// The panel of observer; editor opens the stints file.
    PitPanel(PitObserver& observer, IEditorLauncher& editor, QWidget* parent = nullptr);
    ~PitPanel() override;

    /// The keys of the panel work in window too.
    void attachKeys(QWidget* window);
    /// Places the panel beside window on its screen: in the whole free side right of it, else
    /// left of it, else at the screen's right edge.
    void placeBeside(const QWidget& window);
    /// The width the panel takes beside a window, its frame included (before the window
    /// manager has framed it, room for a usual frame).
    int widthBeside() const;
    /// Places the panel beside window now and again whenever window moves or is resized.
    void follow(QWidget* window);

    /// The actions behind the keys and buttons, in the order of the buttons.
    enum class Key { PitIn, PitOut, ChooseDriver, Undo, Mute, EditRules };
    /// The action of key.
    QAction* action(Key key) const;
    /// The button of key.
    QPushButton* button(Key key) const;
    /// The text of the latest alert shown; empty when none.
    QString alertShown() const;
    /// Shows the observer's figures now, as the observer's 100 ms beat does during a run.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addKey(Key key, const QString& text, const QKeySequence& shortcut, std::function<void()> run);
    QMargins frameMargins() const;
    void chooseNextDriver();
    void editRules();
    void watchEditor();
    QString driverName(std::optional<int> driver) const;
    QString alertText(const StintAlert& alert) const;

    PitObserver& m_observer;
    QPointer<QWidget> m_followed;
    IEditorLauncher& m_editor;
    QTimer m_editorPoll;
    std::unique_ptr<IEditorProcess> m_editing;
    QList<QAction*> m_actions;
    QList<QPushButton*> m_buttons;
    QLabel* m_stint = nullptr;
    QLabel* m_running = nullptr;
    QLabel* m_laps = nullptr;
    QLabel* m_stop = nullptr;
    QLabel* m_pits = nullptr;
    QLabel* m_drivers = nullptr;
    QLabel* m_stops = nullptr;
    QLabel* m_next = nullptr;
    QLabel* m_alert = nullptr;
    QLabel* m_kept = nullptr;
    QLabel* m_note = nullptr;
};

#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>

/// Base of the control models: a name and a hook the view sets to mirror every change.
class ControlModel {
public:
    explicit ControlModel(const char* name) : m_name(name) {}
    ControlModel(const ControlModel&) = delete;
    ControlModel& operator=(const ControlModel&) = delete;
    virtual ~ControlModel() = default;

    /// The control's name as the design gives it.
    const char* name() const { return m_name; }
    /// Called after every change of a property.
    std::function<void()> changed;

protected:
    void notify()
    {
        if (changed)
            changed();
    }

private:
    const char* m_name;
};

/// A label: caption, colours, visibility and position (twips).
class LabelModel : public ControlModel {
public:
    using ControlModel::ControlModel;

    QString caption() const { return m_caption; }
    void setCaption(const QString& c) { if (c != m_caption) { m_caption = c; notify(); } }
    QColor foreColor() const { return m_fore; }
    void setForeColor(const QColor& c) { if (c != m_fore) { m_fore = c; notify(); } }
    QColor backColor() const { return m_back; }
    void setBackColor(const QColor& c) { if (c != m_back) { m_back = c; notify(); } }
    bool visible() const { return m_visible; }
    void setVisible(bool v) { if (v != m_visible) { m_visible = v; notify(); } }
    int left() const { return m_left; }
    void setLeft(int v) { if (v != m_left) { m_left = v; notify(); } }
    int top() const { return m_top; }
    void setTop(int v) { if (v != m_top) { m_top = v; notify(); } }

private:
    QString m_caption;
    QColor m_fore;  ///< invalid: the layout's colour
    QColor m_back;  ///< invalid: the layout's colour
    bool m_visible = true;
    int m_left = 0;
    int m_top = 0;
};

/// A command button: caption, enabled state and the press event.
class ButtonModel : public ControlModel {
public:
    using ControlModel::ControlModel;

    QString caption() const { return m_caption; }
    void setCaption(const QString& c) { if (c != m_caption) { m_caption = c; notify(); } }
    bool enabled() const { return m_enabled; }
    void setEnabled(bool v) { if (v != m_enabled) { m_enabled = v; notify(); } }

private:
    QString m_caption;
    bool m_enabled = true;
};

/// The combo box: its list, its text and enabled state.
class ComboModel : public ControlModel {
public:
    using ControlModel::ControlModel;

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items) { m_items = items; notify(); }
    QString text() const { return m_text; }
    void setText(const QString& t) { if (t != m_text) { m_text = t; notify(); } }
    bool enabled() const { return m_enabled; }
    void setEnabled(bool v) { if (v != m_enabled) { m_enabled = v; notify(); } }

private:
    QStringList m_items;
    QString m_text;
    bool m_enabled = true;
};

/// A window timer: fixed interval, enabled state. Enabling a running timer leaves it running;
/// restart() starts its interval afresh. The view drives it; tests fire its handler by hand.
class TimerModel : public ControlModel {
public:
    TimerModel(const char* name, int intervalMs, bool enabled)
        : ControlModel(name), m_interval(intervalMs), m_enabled(enabled) {}

    int interval() const { return m_interval; }
    bool enabled() const { return m_enabled; }
    void setEnabled(bool v)
    {
        if (v != m_enabled) {
            m_enabled = v;
            if (v)
                ++m_starts;
            notify();
        }
    }
    /// Enables the timer and starts its interval from now.
    void restart()
    {
        m_enabled = true;
        ++m_starts;
        notify();
    }
    /// Counts every (re)start, so the view can tell when to start its timer afresh.
    unsigned starts() const { return m_starts; }

private:
    int m_interval;
    bool m_enabled;
    unsigned m_starts = 0;
};

#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QTimer>
#include <functional>

class FormModel;
class QWidget;

/// Follows the frame a window manager puts around a top-level window. Some platforms know it
/// as soon as the native window exists; on X11 it arrives after the window is mapped, without
/// an event of its own, later than the window's load placed the window.
class WindowFrame : public QObject {
    Q_OBJECT
public:
    /// Follows window; grown is called with the growth in pixels whenever the frame grows, and
    /// while watching, a window whose frame is not where wanted() says is moved there again.
    WindowFrame(QWidget& window, std::function<void(QSize)> grown, std::function<QPoint()> wanted);

    /// The start of a window's life: gives form the outer size (twips at the window's dpi)
    /// that the frame known so far makes, runs the window's load, shows the window and then
    /// watches for a frame that arrives later.
    void loadAndShow(FormModel& form, int dpiX, int dpiY, const std::function<void()>& load);
    /// Takes the frame anew and reports a growth to the callback.
    void check();

private:
    /// Creates the native window and takes its frame as far as it is known now.
    void measure();
    /// Looks for a change of the frame for a short while after the window is shown.
    void watchAfterShow();

    QWidget& m_window;
    std::function<void(QSize)> m_grown;
    std::function<QPoint()> m_wanted;
    QSize m_extra;  ///< frame size beyond the client area
    QTimer m_poll;
    int m_pollsLeft = 0;
};

#pragma once

#include "client/client_window.h"
#include "layouts/client_layouts.h"
#include "ui/window_frame.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

class QCloseEvent;
class QComboBox;
class QKeyEvent;
class QLabel;
class QPushButton;

/// The client window on screen: built from one client layout, a thin mirror of the
/// behaviour's control models that forwards presses and timer ticks to its handlers.
class ClientView : public QWidget {
    Q_OBJECT
public:
    ClientView(ClientWindow& window, const ClientLayout& layout, QWidget* parent = nullptr);
    ~ClientView() override;

    /// Runs the window's load with its outer size known, then shows it.
    void loadAndShow();
    /// The widget built for control c.
    QWidget* control(ClientControl c) const { return m_widgets[std::size_t(c)]; }
    /// The layout the window was built from.
    const ClientLayout& layout() const { return m_layout; }
    /// Scales the whole layout, fonts included, to the largest size that fits the screen
    /// (fill), or shows it at its exact size; the window stays centred. Once filling was
    /// asked for, F11 toggles it.
    void setFill(bool fill);
    /// Whether the layout fills the screen.
    bool fills() const { return m_fill; }
    /// Keeps px pixels at the screen's right edge free of a filling layout, for a window that
    /// stands beside this one; the layout fills and is centred in the rest. 0 by default.
    void setSideRoom(int px);
    /// The factor the layout is drawn at: 1 for the exact layout.
    double scale() const { return m_scale; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ControlModel& model(ClientControl c) const;
    QRect pxRect(int left, int top, int width, int height) const;
    void buildLabel(ClientControl c);
    void buildButton(ClientControl c, std::function<void()> handler);
    void buildCombo(ClientControl c);
    void bindTimers();
    void mirrorLabel(ClientControl c);
    void mirrorButton(ClientControl c);
    void mirrorCombo(ClientControl c);
    void mirrorForm();
    QPoint formPosition() const;
    void mirrorFocus();
    void keepCentred(QSize frameGrowth);
    QFont scaledFont(const LayoutFont& font) const;
    QSize clientPxSize() const;
    /// Re-lays every widget at the factor that the fill setting and the screen give now;
    /// false when that factor is the one already in use.
    bool applyScale();
    /// Centres the window across the screen for its outer size, as the load does.
    void centreAcross();
    /// Width and height that the window manager's frame adds to the client area.
    QSize frameExtra() const;
    /// Looks for a while after the show for a frame that a filling layout must make room for.
    void watchFrameForFill();

    ClientWindow& m_window;
    const ClientLayout& m_layout;
    double m_dpiX = 96;
    double m_dpiY = 96;
    std::array<QWidget*, kClientControlCount> m_widgets{};
    WindowFrame* m_frame = nullptr;
    QTimer m_fillWatch;
    bool m_fill = false;
    bool m_fillKey = false;
    int m_sideRoom = 0;
    double m_scale = 1.0;
};

#pragma once

#include "config/config_folder.h"
#include "startup/open_window.h"
#include "ui/window_frame.h"

#include <QWidget>
#include <array>
#include <memory>

class QCloseEvent;
class QLabel;
class TimerBinding;

/// The opening window on screen: white, fixed size, the three italic captions; mirrors the
/// window's position and drives Timer1. Unloading hides it and deletes it later.
class OpenView : public QWidget {
    Q_OBJECT
public:
    /// Builds the window over the folder of the files; showClient is called with the chosen
    /// client window at the hand-over.
    OpenView(PublicConst& pub, const ConfigFolder& files, IDialogs& dialogs,
             std::function<void(ClientChoice)> showClient, QWidget* parent = nullptr);
    ~OpenView() override;

    /// Runs the window's load with its outer size known, then shows it.
    void loadAndShow();
    /// The behaviour behind the window.
    OpenWindow& window() { return m_window; }
    /// The caption label with index i (0 to 2).
    QLabel* label(int i) const { return m_labels.at(std::size_t(i)); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void keepCentred(QSize frameGrowth);

    OpenWindow m_window;
    double m_dpiX = 96;
    double m_dpiY = 96;
    std::array<QLabel*, 3> m_labels{};
    WindowFrame* m_frame = nullptr;
    std::unique_ptr<TimerBinding> m_timer1;  ///< after m_window: released before the model it drives
};

#pragma once

#include "client/client_window.h"
#include "state/public_const.h"
#include "startup/screen_choice.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

class IDialogs;

/// What the opening window needs from outside: the folder of the files, the screen, the
/// view's operations to unload it and to show the chosen client window, and the dialogs.
struct OpenServices {
    QString configFolder;                         ///< folder of Rivect.ini (chooseConfigFolder), no trailing separator
    std::function<QSize()> screenSizeTwips;       ///< the screen's size in twips
    std::function<void()> unload;                 ///< closes and destroys the opening window
    std::function<void(ClientChoice)> showClient; ///< creates, loads and shows a client window
    IDialogs* dialogs = nullptr;                  ///< where the load tells that nothing can be saved
    QStringList unwritableFolders{};              ///< the folders tried, when none could be written
    QString preparedFolder{};                     ///< folder read while configFolder has no copy of a file; empty when none
    QString apartFolder{};                        ///< the user's folder, only compared, when configFolder is a portable program folder (ConfigFolder::apart)
};

/// The opening window Fm_Open: measures the screen, reads the host address and after its
/// one-shot timer hands over to the client window that fits the screen.
class OpenWindow {
public:
    OpenWindow(PublicConst& pub, OpenServices services);
    OpenWindow(const OpenWindow&) = delete;
    OpenWindow& operator=(const OpenWindow&) = delete;

    FormModel Form{"Fm_Open"};
    TimerModel Timer1;

    /// Measures the screen, centres the window, reads the host address, tells the operator
    /// when the user's folder holds other copies of the files than those used and when no
    /// folder can keep the files, arms Timer1.
    void Form_Load();
    /// Runs once: unloads the window and shows the client window chosen by Pub_ScreenWidth.
    void Timer1_Timer();

private:
    void tellNothingCanBeSaved();

    PublicConst& m_pub;
    OpenServices m_svc;
};

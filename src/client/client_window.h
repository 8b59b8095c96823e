#pragma once

#include "client/controls.h"
#include "state/public_const.h"

#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class ITickTimer;
class ISystemClock;
class IDialogs;
class IEditorLauncher;
class ILocalAddress;
class IUdpSocket;
class IEditorProcess;
enum class SocketError;
class ClientWindow;

/// The moments of a timing run that an observer outside the behaviour is told of.
enum class RunEvent {
    Started,      ///< Start has bound the timing socket: the run is measured
    LapTaken,     ///< a lap report with a new lap number (or a "C" report) has been taken
    Stopped,      ///< Stop was confirmed: the window is idle again
    HostRefused,  ///< Winsock1 was told that the host's port refused a status datagram
};

/// The operating-system services a client window works with; main builds the real ones,
/// tests hand in fakes.
struct ClientServices {
    ITickTimer& tickTimer;
    ISystemClock& clock;
    IDialogs& dialogs;
    IEditorLauncher& editor;
    ILocalAddress& localAddress;
    IUdpSocket& Winsock1;
    IUdpSocket& WinsockChker;
    QString configFolder;                     ///< folder of OutMess.txt (chooseConfigFolder), no trailing separator
    std::function<QSize()> screenSizeTwips;   ///< the screen's size in twips
    std::function<void()> endProgram;         ///< ends the process at once (destructors run)
    /// Optional: told of each RunEvent after the window has handled it; it only reads the window.
    std::function<void(const ClientWindow&, RunEvent)> runObserver = {};
    /// Folder whose OutMess.txt is read while configFolder has none (chooseConfigFolder); empty when none.
    QString preparedFolder = {};
};

/// The window itself as the behaviour sees it: position (twips) and outer width.
class FormModel : public ControlModel {
public:
    using ControlModel::ControlModel;
    int left() const { return m_left; }
    int top() const { return m_top; }
    void move(int left, int top) { m_left = left; m_top = top; notify(); }
    int outerWidth = 0;   ///< twips, set by the view before the load
    int outerHeight = 0;  ///< twips, set by the view before the load
private:
    int m_left = 0;
    int m_top = 0;
};

/// The client window's behaviour, one class for Clt_640, Clt_800 and Clt_1024: it owns the
/// control models and the window-level state and runs every event handler.
class ClientWindow {
public:
    ClientWindow(PublicConst& pub, ClientServices services);
    ~ClientWindow();
    ClientWindow(const ClientWindow&) = delete;
    ClientWindow& operator=(const ClientWindow&) = delete;

    // Controls
    FormModel Form{"Form"};
    LabelModel Lbl_InMess{"Lbl_InMess"};
    LabelModel Lbl_Time{"Lbl_Time"};
    LabelModel Lbl_BlkTime{"Lbl_BlkTime"};
    LabelModel Lbl_OldTime1{"Lbl_OldTime1"};
    LabelModel Lbl_OldTime1Sa{"Lbl_OldTime1Sa"};
    LabelModel Lbl_NowTime{"Lbl_NowTime"};
    LabelModel Lbl_EndTime{"Lbl_EndTime"};
    LabelModel Lbl_Lap{"Lbl_Lap"};
    LabelModel Lbl_BestLap{"Lbl_BestLap"};
    LabelModel Lbl_AveLap{"Lbl_AveLap"};
    LabelModel Lbl_OutMess{"Lbl_OutMess"};
    LabelModel Label1{"Label1"};
    LabelModel Lbl_LocalIP{"Lbl_LocalIP"};
    LabelModel Lbl_Link{"Lbl_Link"};
    ButtonModel Btn_Start{"Btn_Start"};
    ButtonModel Btn_End{"Btn_End"};
    ButtonModel Btn_HostIP{"Btn_HostIP"};
    ButtonModel Btn_MessChg{"Btn_MessChg"};
    ButtonModel Btn_EditMess{"Btn_EditMess"};
    ComboModel Cmb_CarNo{"Cmb_CarNo"};
    TimerModel Time_Jikan{"Time_Jikan", 1000, true};
    TimerModel Time_HostChk{"Time_HostChk", 1000, false};
    TimerModel Time_Chk{"Time_Chk", 100, false};
    TimerModel Time_Blink{"Time_Blink", 500, false};
    TimerModel Time_SendData{"Time_SendData", 100, false};

    /// The control that has the keyboard focus.
    const ControlModel* focus() const { return m_focus; }
    /// Gives the keyboard focus to control.
    void setFocus(const ControlModel& control);
    /// Called after every change of the focus.
    std::function<void()> focusChanged;

    // Event handlers
    void Form_Load();
    /// Every close request is refused: returns true (cancel).
    bool Form_QueryUnload();
    void Btn_End_Click();
    void Btn_Start_Click();
    void Btn_HostIP_Click();
    void Btn_MessChg_Click();
    void Btn_EditMess_Click();
    void Time_Chk_Timer();
    void Time_SendData_Timer();
    void Time_HostChk_Timer();
    void Time_Blink_Timer();
    void Time_Jikan_Timer();
    void Winsock1_DataArrival();
    void WinsockChker_DataArrival();

    // Window-level state
    VbBool m_HostWait = VbFalse;
    int32_t m_BlinkCount = 0;
    int32_t m_LapNo = 0;
    int32_t m_PrevLapNo = 0;
    QString m_RecvData;
    QString m_RecvHead;
    VbBool m_RecvFlag = VbFalse;

    PublicConst& pub() { return m_pub; }
    const PublicConst& pub() const { return m_pub; }
    const ClientServices& services() const { return m_svc; }

private:
    // Timing run, lap reports, status datagrams, blink
    void startRun();
    void stopRun();
    void undoStart(int32_t tickCountBefore, bool watchdogBefore);
    /// Stops the tick clock and both 100 ms timers, frees the buttons and closes Winsock1.
    void returnToIdle();
    void rebindWinsock1();
    void retryPendingRebind();

    // Driver messages and host registration
    /// Lets every other event of the window run until process has ended, without spinning;
    /// false when the wait was cut short because the program is ending.
    bool waitForEditor(IEditorProcess& process);
    /// Tells the operator that the registration request could not go out, and why.
    void reportRegistrationFailure(SocketError error, bool binding);
    /// Takes the registration reply; a failed take is tried once more, after a re-bind when
    /// the failure was a refused earlier request. False when the reply is dropped.
    bool takeRegistrationReply(QString& text);

    PublicConst& m_pub;
    ClientServices m_svc;
    const ControlModel* m_focus = nullptr;
    // Timing run
    /// Whether a datagram arrived in the send period that the last send tick closed. Both
    /// 100 ms timers tick in the same pass, the send timer first, so the lamp reads this as
    /// well as m_RecvFlag; otherwise the flag is always cleared just before the lamp is drawn.
    VbBool m_recvInLastPeriod = VbFalse;
    bool m_rebindPending = false;  ///< a re-bind of Winsock1 failed and is to be tried again
    // Driver messages
    std::unique_ptr<IEditorProcess> m_messWatch;  ///< the last editing, watching for saves
};

#include "client/client_window.h"
#include "config/config_folder.h"
#include "laplog/lap_log.h"
#include "options.h"
#include "pit/alert_chime.h"
#include "pit/pit_observer.h"
#include "pit/stint_rules.h"
#include "state/public_const.h"
#include "platform/platform_services.h"
#include "platform/qt_udp_socket.h"
#include "platform/session_end.h"
#include "platform/thread_priority.h"
#include "startup/screen_choice.h"
#include "ui/appearance.h"
#include "ui/client_view.h"
#include "ui/open_view.h"
#include "ui/pit_panel.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translation.h"
#include "ui/twips.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

int main(int argc, char* argv[])
{
    // --help, --version and --check-setup answer on the terminal: no display is opened for them.
    if (const std::optional<int> answered = answerOnTerminal(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    // Message-box buttons in Japanese; without the file they stay English, nothing more.
    installQtTranslation(app);
    QApplication::setApplicationName(QStringLiteral("Rivect"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    const AppOptions options = parseAppOptions(app);
    // One icon for every window of the program, the message boxes included.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/rivect.png")));
    // Between the opening window and the client window no window is open; that is no end.
    app.setQuitOnLastWindowClosed(false);
    Appearance::installFontSubstitutions();
    Appearance::applyFixedLook();
    // The window thread runs the 100 ms timers that send the status datagrams.
    raiseThreadPriority(ThreadUrgency::Raised);

    PublicConst pub;
    const PlatformServices platform = makePlatformServices();
    ITickTimer& tickTimer = *platform.tickTimer;
    QtUdpSocket winsock1;
    QtUdpSocket winsockChker;
    ISystemClock& clock = *platform.clock;
    ILocalAddress& localAddress = *platform.localAddress;
    IEditorLauncher& editor = *platform.editor;
    QtDialogs dialogs;
    const ConfigFolder files = chooseConfigFolder(QCoreApplication::applicationDirPath());
    std::unique_ptr<LapLog> lapLog;
    if (!options.lapLogFolder.isEmpty())
        lapLog = std::make_unique<LapLog>(options.lapLogFolder);
    // The stints file named, or the one beside Rivect.ini, found as that is. The chimes only
    // with the panel: without it the program plays nothing and starts no sound thread.
    std::unique_ptr<IAlertSound> alertSound;
    std::unique_ptr<PitObserver> pit;
    if (options.stints) {
        StintsLocation where = options.stintsFile.isEmpty()
            ? StintsLocation{files.filePath(StintsFile::kFileName), files.preparedPath(StintsFile::kFileName)}
            : StintsLocation{options.stintsFile};
        // The pit journal always goes to the settings folder, wherever the stints file is.
        where.journalPath = files.filePath(QStringLiteral("PitJournal.txt"));
        pit = std::make_unique<PitObserver>(where, dialogs);
        alertSound = makeAlertSound();
        pit->setChime(alertChime(*alertSound));
        if (lapLog)
            lapLog->addColumns({PitObserver::lapLogColumns(), [&pit] { return pit->lapLogFields(); }});
    }

    // Declared after the services they use, so they are destroyed first.
    std::unique_ptr<ClientWindow> client;
    std::unique_ptr<ClientView> clientView;
    std::unique_ptr<PitPanel> pitPanel;

    auto showClient = [&](ClientChoice choice) {
        ClientServices services{tickTimer, clock, dialogs, editor, localAddress, winsock1, winsockChker,
                                files.path, [] { return Twips::screenSize(); },
                                [] { QCoreApplication::exit(0); }};
        services.preparedFolder = files.prepared;
        // The PC stays awake from Start to Stop; at the program's end the platform's services
        // give back what they still hold (and the OS does when the process dies).
        services.runObserver = [&lapLog, &pit, &clock, &platform](const ClientWindow& w, RunEvent e) {
            if (e == RunEvent::Started) {
                clock.beginRun();
                platform.keepAwake->hold();
            }
            if (e == RunEvent::Stopped)
                platform.keepAwake->release();
            // The pit observer first: the lap log's row asks it where the lap just taken stands.
            if (pit)
                pit->onRunEvent(w, e);
            if (lapLog)
                lapLog->onRunEvent(w, e);
        };
        client = std::make_unique<ClientWindow>(pub, std::move(services));
        clientView = std::make_unique<ClientView>(*client, clientLayout(choice));
        clientView->setFill(options.fill);
        clientView->loadAndShow();
        if (pit) {
            pitPanel = std::make_unique<PitPanel>(*pit, editor);
            pitPanel->attachKeys(clientView.get());
            pitPanel->placeBeside(*clientView);
            pitPanel->show();
            // A filling client window leaves the panel the side a wide screen has to spare.
            if (options.fill)
                clientView->setSideRoom(pitPanel->widthBeside());
            pitPanel->follow(clientView.get());
            // Where the screen has no side to spare, the client window stays in front of the
            // panel; a click on the panel brings it up.
            clientView->raise();
            // Told once the client window is up, not from inside the opening window's handler.
            QTimer::singleShot(0, pit.get(), [&pit] { pit->tellProblems(); });
        }
    };

    // The opening window deletes itself when it unloads.
    auto* openView = new OpenView(pub, files, dialogs, showClient);
    openView->loadAndShow();

    // The ports first, so that a Rivect started again can bind them while this one still waits
    // for its disk; then the lap log's last rows, waited for a few seconds at most.
    LapLogWriter::Ending lapLogEnd;
    auto freePortsAndFinishLog = [&] {
        winsock1.close();
        winsockChker.close();
        if (lapLog)
            lapLogEnd = lapLog->finish(std::chrono::seconds(3));
    };
    // A termination signal or the end of the session takes End's path; where the system ends the
    // process as soon as it has been told, the ports and the last rows are dealt with first.
    bool endedFromOutside = false;
    const SessionEnd sessionEnd(
        [&endedFromOutside] {
            endedFromOutside = true;
            QCoreApplication::exit(0);
        },
        freePortsAndFinishLog);

    const int result = QApplication::exec();
    freePortsAndFinishLog();
    pitPanel.reset();
    clientView.reset();
    client.reset();
    if (lapLog && !endedFromOutside)
        lapLog->showLost(lapLogEnd);
    // A writer still waiting for its medium is left to the end of the process: nothing is torn
    // down under it, no destructor and no exit handler runs.
    if (lapLogEnd.abandoned) {
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}

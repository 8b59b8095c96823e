// The program as main() wires it (opening window, then the client window with its view, the
// real tick thread, UDP sockets and local address), driven from inside because a window
// offscreen cannot be pressed from outside. The clock, dialogs and editor are the quiet
// stand-ins: the real clock setter would change the machine's time, a real box would wait for
// a hand. The settings file of a folder of its own names 127.0.0.1 as the host.
//
//   --startup            print "shown <monotonic ns>" at the opening window's first paint, exit
//   --run SECONDS        press Start on car 1, run, print the cost, stop and exit
//   --baseline           a bare window instead of the program, in either mode
//   --naive-label        with --run: instead of the program, one QLabel in the running-time
//                        font of the largest layout, re-captioned every 100 ms (the naive way)

#include "bench_support.h"
#include "client_rig.h"

#include "client/datagram.h"
#include "client/time_format.h"
#include "config/settings.h"
#include "platform/linux/kernel_local_address.h"
#include "platform/qt_udp_socket.h"
#include "platform/thread_priority.h"
#include "startup/screen_choice.h"
#include "ui/appearance.h"
#include "ui/client_view.h"
#include "ui/open_view.h"
#include "ui/twips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

/// Prints "shown <ns>" the first time the watched window paints, then ends the program.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(bool quit) : m_quit(quit) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            std::printf("shown %lld\n", static_cast<long long>(Bench::monoNs()));
            std::fflush(stdout);
            if (m_quit)
                QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        }
        return false;
    }

private:
    bool m_quit;
    bool m_seen = false;
};

/// Runs for seconds from now, then prints the cost lines and ends the program.
void finishAfter(double seconds, std::function<void()> beforeExit)
{
    const double cpuAtStart = cpuSeconds();
    std::printf("started %lld cpu %.3f\n", static_cast<long long>(Bench::monoNs()), cpuAtStart);
    std::fflush(stdout);
    QTimer::singleShot(int(seconds * 1000), [cpuAtStart, beforeExit = std::move(beforeExit)] {
        std::printf("cost cpu_run %.3f cpu_total %.3f hwm_kb %ld rss_kb %ld\n", cpuSeconds() - cpuAtStart,
                    cpuSeconds(), statusKb("VmHWM:"), statusKb("VmRSS:"));
        std::fflush(stdout);
        if (beforeExit)
            beforeExit();
        QCoreApplication::exit(0);
    });
}

int runBaseline(bool startup, double seconds)
{
    QWidget window;
    window.resize(640, 480);
    FirstPaint probe(startup);
    window.installEventFilter(&probe);
    window.show();
    if (!startup)
        QTimer::singleShot(0, [seconds] { finishAfter(seconds, nullptr); });
    return QApplication::exec();
}

/// The running lap time as a program would show it without any care for its cost: a plain
/// QLabel, the whole caption set again on a 100 ms timer.
int runNaiveLabel(double seconds)
{
    Appearance::installFontSubstitutions();
    const ControlLayout& lay = clientLayout(ClientChoice::Clt_1024)[ClientControl::Lbl_Time];
    QLabel label;
    label.setFont(Appearance::toQFont(lay.font));
    label.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette p = label.palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    label.setPalette(p);
    label.setAutoFillBackground(true);
    label.resize(Twips::toPx(lay.width, label.logicalDpiX()), Twips::toPx(lay.height, label.logicalDpiY()));
    label.show();
    QElapsedTimer since;
    since.start();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { label.setText(Fmt_LapCenti(int32_t(since.elapsed() / 10))); });
    timer.start(100);
    QTimer::singleShot(0, [seconds] { finishAfter(seconds, nullptr); });
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    bool startup = false, baseline = false, naive = false;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--startup")
            startup = true;
        else if (a == "--baseline")
            baseline = true;
        else if (a == "--naive-label")
            naive = true;
        else if (a == "--run" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
    }
    if (!startup && seconds <= 0) {
        std::fprintf(stderr, "usage: %s (--startup | --run SECONDS) [--baseline | --naive-label]\n", argv[0]);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rivect"));
    app.setQuitOnLastWindowClosed(false);
    if (baseline)
        return runBaseline(startup, seconds);
    if (naive)
        return runNaiveLabel(seconds);
    Appearance::installFontSubstitutions();
    Appearance::applyFixedLook();
    raiseThreadPriority(ThreadUrgency::Raised);  // as the program does

    QTemporaryDir folder;
    PublicConst pub;
    pub.Pub_IniPath = folder.path() + QStringLiteral("/") + Settings::kFileName;
    Ini_Write(pub, Settings::kSection, Settings::kKey, QStringLiteral("127.0.0.1"));

    TickThreadTimer tickTimer;
    QtUdpSocket winsock1;
    QtUdpSocket winsockChker;
    BenchClock clock;
    KernelLocalAddress localAddress;
    BenchEditor editor;
    BenchDialogs dialogs;
    std::unique_ptr<ClientWindow> client;
    std::unique_ptr<ClientView> clientView;

    auto showClient = [&](ClientChoice choice) {
        client = std::make_unique<ClientWindow>(
            pub, ClientServices{tickTimer, clock, dialogs, editor, localAddress, winsock1, winsockChker,
                                folder.path(), [] { return QSize(15360, 11520); },
                                [] { QCoreApplication::exit(0); }});
        clientView = std::make_unique<ClientView>(*client, clientLayout(choice));
        clientView->loadAndShow();
        if (startup)
            return;
        // Pressed as the operator would, on the button itself, once the window is up.
        QTimer::singleShot(0, [&] {
            pub.Pub_HostIP = QStringLiteral("127.0.0.1");
            client->Cmb_CarNo.setText(Datagram::carText(1));
            static_cast<QPushButton*>(clientView->control(ClientControl::Btn_Start))->click();
            if (client->Btn_Start.caption() != QLatin1String("Stop")) {
                std::printf("error: Start did not start a run\n");
                QCoreApplication::exit(1);
                return;
            }
            finishAfter(seconds, [&] {
                static_cast<QPushButton*>(clientView->control(ClientControl::Btn_Start))->click();
            });
        });
    };

    FirstPaint probe(startup);
    auto* openView = new OpenView(pub, folder.path(), showClient);
    openView->installEventFilter(&probe);
    openView->loadAndShow();
    const int result = QApplication::exec();
    clientView.reset();
    client.reset();
    return result;
}

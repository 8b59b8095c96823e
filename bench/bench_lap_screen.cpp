// Lap report to screen: a sender on 127.0.0.1 sends lap reports to the car's port of the real
// client window with its real view (offscreen); measured from the send to the caption change
// of Lbl_BlkTime and to the next paint of its widget, quiet and under a flood of repeated
// reports. Baseline in the same run: a bare QUdpSocket setting the text of a bare QLabel.

#include "bench_support.h"
#include "client_rig.h"

#include "client/datagram.h"
#include "platform/cp932.h"
#include "platform/qt_udp_socket.h"
#include "platform/thread_priority.h"
#include "startup/screen_choice.h"
#include "ui/appearance.h"
#include "ui/client_view.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

constexpr uint16_t kBaselinePort = 7091;
constexpr int kFloodPerMs = 10;  // 10,000 repeated reports a second

/// Times of one measured report, by its lap number: sent, caption changed, next paint.
struct Probe : QObject {
    std::vector<int64_t> sendNs, changeNs, paintNs;
    int pending = 0;  ///< lap whose change waits for its paint
    int64_t sent = 0;      ///< datagrams sent, repeats included (sender thread)
    int64_t received = 0;  ///< datagrams taken by the receiver (window thread)
    double sendSeconds = 0;

    explicit Probe(int laps) : sendNs(std::size_t(laps) + 1), changeNs(sendNs.size()), paintNs(sendNs.size()) {}

    void changed(int lap)
    {
        if (lap > 0 && lap < int(changeNs.size()) && changeNs[std::size_t(lap)] == 0) {
            changeNs[std::size_t(lap)] = Bench::monoNs();
            pending = lap;
        }
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && pending > 0) {
            paintNs[std::size_t(pending)] = Bench::monoNs();
            pending = 0;
        }
        return false;
    }
};

/// Sends lap reports 1, 2, ... to port, 60 to 80 ms apart, for seconds; with flood, repeats
/// the current report 10,000 times a second in between. Returns the number of laps sent.
int sendReports(uint16_t port, double seconds, bool flood, Probe& probe)
{
    const int fd = Bench::openLoopbackUdp(0);
    if (fd < 0)
        return 0;
    std::mt19937 random(1);
    std::uniform_int_distribution<int> gapMs(60, 80);
    const int64_t begin = Bench::monoNs();
    const int64_t end = begin + int64_t(seconds * 1e9);
    int lap = 0;
    int64_t repeats = 0;
    while (Bench::monoNs() < end && lap + 1 < int(probe.sendNs.size())) {
        ++lap;
        const std::string report = Cp932::encode(benchLapReport(false, lap, 60000 + lap)).toStdString();
        probe.sendNs[std::size_t(lap)] = Bench::monoNs();
        probe.sent += Bench::sendLoopback(fd, port, report);
        const int64_t next = Bench::monoNs() + int64_t(gapMs(random)) * 1'000'000;
        if (!flood) {
            Bench::sleepUntilNs(next);
            continue;
        }
        // Paced by the total due since the start, so a late wake-up is made good at once.
        for (int64_t tick = Bench::monoNs() + 1'000'000; tick < next; tick += 1'000'000) {
            Bench::sleepUntilNs(tick);
            const int64_t due = (Bench::monoNs() - begin) / 1'000'000 * kFloodPerMs;
            while (repeats < due) {
                probe.sent += Bench::sendLoopback(fd, port, report);
                ++repeats;
            }
        }
    }
    probe.sendSeconds = double(Bench::monoNs() - begin) / 1e9;
    ::close(fd);
    return lap;
}

/// Runs the sender on a thread while the event loop serves the window; returns laps sent.
int runPhase(uint16_t port, double seconds, bool flood, Probe& probe)
{
    QEventLoop loop;
    int laps = 0;
    std::thread sender([&] {
        laps = sendReports(port, seconds, flood, probe);
        // Time for the last report to reach the screen.
        Bench::sleepUntilNs(Bench::monoNs() + 200'000'000);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    sender.join();
    return laps;
}

void report(const char* name, const Probe& probe, int laps)
{
    std::vector<double> change, paint;
    int missed = 0;
    for (int k = 1; k <= laps; ++k) {
        const auto i = std::size_t(k);
        if (probe.changeNs[i] == 0 || probe.paintNs[i] == 0) {
            ++missed;
            continue;
        }
        change.push_back(double(probe.changeNs[i] - probe.sendNs[i]) / 1e6);
        paint.push_back(double(probe.paintNs[i] - probe.sendNs[i]) / 1e6);
    }
    std::printf(" %s: %d reports, %d without a change and paint; %lld datagrams sent (%.0f/s), %lld taken\n",
                name, laps, missed, static_cast<long long>(probe.sent),
                probe.sendSeconds > 0 ? double(probe.sent) / probe.sendSeconds : 0.0,
                static_cast<long long>(probe.received));
    Bench::printSummary("send -> caption change", Bench::summarize(change), "ms");
    Bench::printSummary("send -> next paint", Bench::summarize(paint), "ms");
}

/// The client window of car 1 with its view, offscreen.
void clientPhases(double seconds)
{
    QtUdpSocket winsock1, winsockChker;
    ClientRig rig(winsock1, winsockChker, false);
    ClientView view(*rig.window, clientLayout(ClientChoice::Clt_1024));
    view.loadAndShow();
    if (!rig.start(1)) {
        std::printf("  Start did not start a run (port %d taken?)\n", Datagram::clientPort(1));
        return;
    }
    for (bool flood : {false, true}) {
        Probe probe(999);
        ClientWindow& w = *rig.window;
        auto arrival = winsock1.dataArrival;
        winsock1.dataArrival = [&] {
            ++probe.received;
            arrival();
        };
        auto mirror = w.Lbl_BlkTime.changed;
        QString shown = w.Lbl_BlkTime.caption();
        w.Lbl_BlkTime.changed = [&] {
            if (w.Lbl_BlkTime.caption() != shown) {
                shown = w.Lbl_BlkTime.caption();
                probe.changed(w.m_LapNo);
            }
            if (mirror)
                mirror();
        };
        // Laps restart from 1: a forced report first makes lap 0 the one last taken.
        const int fd = Bench::openLoopbackUdp(0);
        Bench::sendLoopback(fd, Datagram::clientPort(1), Cp932::encode(benchLapReport(true, 0, 1)).toStdString());
        ::close(fd);
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
        probe.received = 0;

        QWidget* label = view.control(ClientControl::Lbl_BlkTime);
        label->installEventFilter(&probe);
        const int laps = runPhase(Datagram::clientPort(1), seconds, flood, probe);
        label->removeEventFilter(&probe);
        w.Lbl_BlkTime.changed = mirror;
        winsock1.dataArrival = arrival;
        report(flood ? "client window, flood of 10,000 repeats/s" : "client window, quiet", probe, laps);
    }
    rig.stop();
}

/// The floor: a bare socket and a bare label in the same kind of event loop.
void baselinePhases(double seconds)
{
    QWidget window;
    window.resize(400, 100);
    auto* label = new QLabel(&window);
    label->setGeometry(10, 10, 300, 40);
    window.show();
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::LocalHost, kBaselinePort)) {
        std::printf("  cannot bind 127.0.0.1:%d\n", kBaselinePort);
        return;
    }
    for (bool flood : {false, true}) {
        Probe probe(999);
        int last = 0;
        auto connection = QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
            while (socket.hasPendingDatagrams()) {
                QByteArray data(socket.pendingDatagramSize(), Qt::Uninitialized);
                data.truncate(socket.readDatagram(data.data(), data.size()));
                ++probe.received;
                const int lap = data.mid(1, 3).trimmed().toInt();
                if (lap != last) {
                    last = lap;
                    label->setText(QString::fromLatin1(data.mid(4, 10)));
                    probe.changed(lap);
                }
            }
        });
        label->installEventFilter(&probe);
        const int laps = runPhase(kBaselinePort, seconds, flood, probe);
        label->removeEventFilter(&probe);
        QObject::disconnect(connection);
        report(flood ? "bare QUdpSocket + QLabel, flood  (baseline)" : "bare QUdpSocket + QLabel, quiet  (baseline)",
               probe, laps);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const auto opt = Bench::Options::parse(argc, argv, "--seconds: length of each phase (15)");
    QApplication app(argc, argv);
    Appearance::installFontSubstitutions();
    Appearance::applyFixedLook();
    raiseThreadPriority(ThreadUrgency::Raised);  // as the program does
    std::printf("bench_lap_screen: %s, platform %s\n", Bench::machineLine().c_str(),
                qPrintable(QGuiApplication::platformName()));
    const double seconds = opt.duration(15, 2);
    Bench::heading("Lap report to screen, " + std::to_string(int(seconds)) + " s per phase, reports 60-80 ms apart");
    clientPhases(seconds);
    baselinePhases(seconds);
    return 0;
}

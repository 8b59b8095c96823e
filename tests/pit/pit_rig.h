#pragma once

// A client window with fake services whose runs a pit observer watches, on a steady clock
// moved by hand, with its stints file and pit journal in a folder of its own.
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "fakes/file_bytes.h"
#include "pit/pit_observer.h"

#include <QTemporaryDir>

#include <memory>

/// The rules file of the rig: "[rules]" lines given, then a roster of A, B and C.
inline QByteArray stintsText(const QByteArray& rules)
{
    return "[rules]\r\n" + rules + "[drivers]\r\n1=A\r\n2=B\r\n3=C\r\n";
}

/// A loaded client window, its host set to loopback, and the pit observer beside it.
struct PitRig : FakeClientServices {
    explicit PitRig(const QByteArray& rules = {})
    {
        path = program.filePath(QStringLiteral("Stints.ini"));
        journal = program.filePath(QStringLiteral("PitJournal.txt"));
        if (!rules.isNull())
            writeBytes(path, stintsText(rules));
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        load();
    }
    /// The program ends without Stop (a crash, a kill) and starts again in the same folder, its
    /// steady clock now at steadyAfter. The journal's lines handed over are on the medium.
    void restart(qint64 steadyAfter)
    {
        w.reset();
        pit.reset();
        steadyMs = steadyAfter;
        load();
    }
    void load()
    {
        pit = std::make_unique<PitObserver>(StintsLocation{path, {}, journal}, dialogs, [this] { return steadyMs; });
        ClientServices s = services(program.path());
        s.runObserver = [this](const ClientWindow& window, RunEvent e) { pit->onRunEvent(window, e); };
        w = std::make_unique<ClientWindow>(pub, std::move(s));
        w->Form_Load();
    }
    ~PitRig()
    {
        w.reset();
        pit.reset();
    }
    void start()
    {
        w->Cmb_CarNo.setText(Datagram::carText(1));
        w->Btn_Start_Click();
    }
    /// Stop, answered Yes.
    void stop() { w->Btn_Start_Click(); }
    /// A report of lap n taken lapMs after the one before; the host's clock and end as given.
    void lap(int n, int lapMs, QTime clock = QTime(10, 0, 0), QTime end = QTime(10, 0, 0))
    {
        steadyMs += lapMs;
        sock.deliver(Datagram::lapReportText(false, n, lapMs, lapMs, lapMs, QDate(2026, 5, 3), clock, end, {}));
    }

    QTemporaryDir program;
    QString path;
    QString journal;
    qint64 steadyMs = 0;
    PublicConst pub;
    std::unique_ptr<PitObserver> pit;
    std::unique_ptr<ClientWindow> w;
};

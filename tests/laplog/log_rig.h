#pragma once

// A client window with fake services whose runs a lap log keeps, and what its files hold.
#include "client/datagram.h"
#include "fakes/fake_client_services.h"
#include "laplog/lap_log.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <memory>

/// A loaded client window whose runs a lap log keeps in folder.
struct LogRig : FakeClientServices {
    explicit LogRig(const QString& folder, LapLogWriter::Sync sync = DurableFile::syncData)
        : log(folder, std::move(sync))
    {
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        ClientServices s = services(program.path());
        s.runObserver = [this](const ClientWindow& w, RunEvent e) {
            if (before)
                before(w, e);
            log.onRunEvent(w, e);
        };
        w = std::make_unique<ClientWindow>(pub, std::move(s));
        w->Form_Load();
    }
    void start(int car)
    {
        w->Cmb_CarNo.setText(Datagram::carText(car));
        w->Btn_Start_Click();
        log.waitForWriter();
    }
    /// Stop, answered Yes.
    void stop() { w->Btn_Start_Click(); }
    /// The boxes shown about the log, those whose text starts with start when given.
    int logBoxes(const QString& start = {})
    {
        log.waitForWriter();
        return shownLogBoxes(start);
    }
    /// As logBoxes, without waiting for the writer.
    int shownLogBoxes(const QString& start = {})
    {
        QCoreApplication::processEvents();
        return int(std::count_if(dialogs.boxes.begin(), dialogs.boxes.end(), [&](const auto& b) {
            return b.title == QStringLiteral("ラップ記録") && b.prompt.startsWith(start);
        }));
    }
    void report(bool forced, int lap, int last, int best, int ave, QTime clock, QTime end, const QString& text = {})
    {
        sock.deliver(Datagram::lapReportText(forced, lap, last, best, ave, QDate(2026, 5, 3), clock, end, text));
    }
    /// A new lap (lap numbers must rise) with nothing else of interest, by default waiting
    /// until the writer has dealt with it.
    void lap(int n, bool wait = true)
    {
        report(false, n, 80000 + n, 80001, 80002, QTime(10, 1, n), QTime(10, 1, n));
        if (wait)
            log.waitForWriter();
    }
    /// The file of the run, once the writer has caught up.
    QByteArray file()
    {
        log.waitForWriter();
        QFile f(log.currentFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }

    QTemporaryDir program;
    PublicConst pub;
    /// Another observer of the run, told of each event before the log.
    std::function<void(const ClientWindow&, RunEvent)> before;
    LapLog log;
    std::unique_ptr<ClientWindow> w;
};

inline const QByteArray kStart = "\xEF\xBB\xBFreceived,lap,lap_ms,best_ms,average_ms,diff_ms,end_time,host_text,"
                          "driver_message\r\n";

/// The lap numbers of the rows of a log file that starts with the header and ends with a
/// whole row; -1 for a row without the nine fields (no text of these rows has a comma), {-1}
/// for a file that does not start and end so.
inline QList<int> lapsIn(const QByteArray& file)
{
    if (!file.startsWith(kStart) || !file.endsWith("\r\n"))
        return {-1};
    if (file.size() == kStart.size())
        return {};
    QList<int> laps;
    const QList<QByteArray> rows = file.mid(kStart.size()).chopped(2).split('\n');
    for (const QByteArray& row : rows)
        laps << (row.count(',') == 8 ? row.split(',').value(1).toInt() : -1);
    return laps;
}

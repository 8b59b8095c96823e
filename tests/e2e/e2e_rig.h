#pragma once

#include "client/client_window.h"
#include "fakes/fake_services.h"
#include "host_simulator.h"
#include "platform/qt_udp_socket.h"
#include "platform/platform_services.h"
#include "sim_options.h"
#include "ui/client_view.h"
#include "ui/twips.h"

#include <QColor>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QList>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

/// The host simulator of the tools folder, in this process, with every JSON line it writes
/// kept as an object.
struct SimulatorRun {
    /// A simulator started with the command-line arguments args (program name left out), in
    /// strict mode: it judges every datagram of the client.
    explicit SimulatorRun(const QStringList& args)
    {
        const OptionsResult parsed = parseSimOptions(QStringList{QStringLiteral("rivect-hostsim")} + args
                                                     + QStringList{QStringLiteral("--json"), QStringLiteral("--no-stdin"),
                                                                   QStringLiteral("--strict")});
        if (!parsed.options) {
            error = parsed.error;
            return;
        }
        sim = std::make_unique<HostSimulator>(*parsed.options);
        QObject::connect(&sim->reporter(), &Reporter::line, [this](const QString& line) {
            events.append(QJsonDocument::fromJson(line.toUtf8()).object());
        });
        started = sim->start(&error);
    }

    /// Every event of type so far, oldest first.
    QList<QJsonObject> ofType(const QString& type) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject& e : events) {
            if (e.value(QStringLiteral("type")).toString() == type)
                found.append(e);
        }
        return found;
    }
    /// The newest event of type, or an empty object.
    QJsonObject last(const QString& type) const
    {
        const QList<QJsonObject> found = ofType(type);
        return found.isEmpty() ? QJsonObject() : found.last();
    }
    /// Ends the run as the program would: the summary is written and the exit status returned
    /// (3 when the client broke a rule).
    int finish() { return sim->finish(0); }
    /// Every violation reported so far, one JSON text each, for a failure message.
    QString violations() const
    {
        QStringList texts;
        for (const QJsonObject& v : ofType(QStringLiteral("violation")))
            texts << QString::fromUtf8(QJsonDocument(v).toJson(QJsonDocument::Compact));
        return texts.join(u'\n');
    }

    /// The texts of the status datagrams the simulator heard change, in order.
    QStringList statusTexts() const
    {
        QStringList texts;
        for (const QJsonObject& e : ofType(QStringLiteral("status")))
            texts << e.value(QStringLiteral("text")).toString();
        return texts;
    }

    std::unique_ptr<HostSimulator> sim;
    QList<QJsonObject> events;
    bool started = false;
    QString error;
};

/// One change of a label as the view mirrored it: what the model said and what the widget shows.
struct LabelChange {
    qint64 atMs = 0;
    QString caption;
    QString widgetText;
    QColor modelBack;
    bool visible = false;
    QColor widgetBack;
    QColor widgetFore;
    bool widgetVisible = false;
};

/// Records every change of one label after the view has mirrored it, for as long as it lives.
class LabelWatch {
public:
    LabelWatch(LabelModel& model, QLabel* shown, const QElapsedTimer& since)
        : m_model(model), m_mirror(model.changed)
    {
        model.changed = [this, shown, &since] {
            if (m_mirror)
                m_mirror();
            changes.append({since.elapsed(), m_model.caption(), shown->text(), m_model.backColor(),
                            m_model.visible(), shown->palette().color(QPalette::Window),
                            shown->palette().color(QPalette::WindowText), !shown->isHidden()});
        };
    }
    ~LabelWatch() { m_model.changed = m_mirror; }
    LabelWatch(const LabelWatch&) = delete;
    LabelWatch& operator=(const LabelWatch&) = delete;

    QList<LabelChange> changes;

private:
    LabelModel& m_model;
    std::function<void()> m_mirror;
};

/// The real client window on the real view, with real loopback sockets and the real tick
/// thread; only the clock setter, the boxes and the editor are recording fakes.
struct ClientRig {
    explicit ClientRig(const ClientLayout& layout)
    {
        pub.Pub_IniPath = folder.path() + QStringLiteral("/Rivect.ini");
        pub.Pub_HostIP = QStringLiteral("127.0.0.1");
        window = std::make_unique<ClientWindow>(
            pub, ClientServices{tickTimer, clock, dialogs, editor, localAddress, winsock1, winsockChker,
                                folder.path(), [] { return Twips::screenSize(); }, [this] { ++ends; }});
        view = std::make_unique<ClientView>(*window, layout);
        view->loadAndShow();
        since.start();
    }
    ~ClientRig()
    {
        view.reset();
        window.reset();
    }

    ClientWindow& w() { return *window; }
    QWidget* widget(ClientControl c) const { return view->control(c); }
    QLabel* label(ClientControl c) const { return qobject_cast<QLabel*>(view->control(c)); }

    /// Presses a button of the window with the mouse.
    void click(ClientControl c) { QTest::mouseClick(widget(c), Qt::LeftButton); }

    QTemporaryDir folder;
    PublicConst pub;
    std::unique_ptr<ITickTimer> tickTimerOwner = makeTickTimer();
    ITickTimer& tickTimer = *tickTimerOwner;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeEditorLauncher editor;
    FakeLocalAddress localAddress{QStringLiteral("127.0.0.1")};
    QtUdpSocket winsock1;
    QtUdpSocket winsockChker;
    int ends = 0;
    QElapsedTimer since;
    std::unique_ptr<ClientWindow> window;
    std::unique_ptr<ClientView> view;
};

/// Hundredths shown by a running-time caption such as 1'02"34; -1 when it is not one.
inline int shownHundredths(const QString& caption)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+)'(\\d\\d)\"(\\d\\d)$"));
    const QRegularExpressionMatch m = form.match(caption);
    if (!m.hasMatch())
        return -1;
    return (m.captured(1).toInt() * 60 + m.captured(2).toInt()) * 100 + m.captured(3).toInt();
}

/// Shares of exactly yellow and exactly black pixels in the part of the window that c covers.
inline QPair<double, double> yellowAndBlack(ClientView& view, ClientControl c)
{
    const QImage image = view.grab(view.control(c)->geometry()).toImage();
    qint64 yellow = 0, black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y) & 0xFFFFFF;
            yellow += p == 0xFFFF00;
            black += p == 0x000000;
        }
    }
    const double all = double(image.width()) * image.height();
    return {yellow / all, black / all};
}

#include "options.h"

#include "platform/terminal.h"
#include "setup_check.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <cstring>

namespace {

/// What --check-setup looks at here: the OS's items differ, the files and the ports do not.
QString checkedItems()
{
#ifdef Q_OS_WIN
    return QStringLiteral("the right to set the clock, keeping the PC awake, the files, the ports");
#else
    return QStringLiteral("group, the right to set the clock, time synchronisation, priority limits, the files, "
                          "the ports");
#endif
}

/// The program's options, shared by the terminal answers and the window's start.
struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption checkSetup{QStringLiteral("check-setup"),
                                  QStringLiteral("Check this PC's set-up for Rivect (%1), print a checklist "
                                                 "with the command that mends each failed item, and exit 0 only "
                                                 "when every item holds. Needs no display and changes nothing.")
                                      .arg(checkedItems())};
    QCommandLineOption fill{QStringLiteral("fill"),
                            QStringLiteral("Scale the client window, fonts included, to the largest size "
                                           "that fits the screen, centred (F11 switches back and forth).")};
    QCommandLineOption lapLog{QStringLiteral("lap-log"),
                              QStringLiteral("Keep every lap: each run from Start to Stop writes "
                                             "<dir>%1<yyyy-MM-dd_HHmmss>_<car>.csv (UTF-8 CSV; the folder "
                                             "is created when missing). rivect-laps draws it as a chart.")
                                  .arg(QDir::separator()),
                              QStringLiteral("dir")};
    // Its file is optional, which the parser cannot say of an option's value: the option is a
    // flag and the file the one argument beside it (or --stints=FILE, split before parsing).
    QCommandLineOption stints{QStringLiteral("stints"),
                              QStringLiteral("Open the pit panel beside the client window: stints, pit stops, "
                                             "driver times and alerts under the rules of a file, named as "
                                             "--stints FILE or --stints=FILE (default: Stints.ini beside "
                                             "Rivect.ini, created when missing). Keys: F5 pit in, F6 pit out, "
                                             "F7 next driver, Ctrl+Z undo, F8 mute.")};

    Parser()
    {
        parser.setApplicationDescription(QStringLiteral(
            "Pit-side lap-timing client. Without options it opens its window as the screen's width\n"
            "chooses and keeps no files but its settings and driver messages.\n"
            "With --fill, F11 in the client window switches between filling the screen and the exact layout."));
        parser.addOption(checkSetup);
        parser.addOption(fill);
        parser.addOption(lapLog);
        parser.addOption(stints);
    }
};

void nameProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Rivect"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.00"));
}

[[noreturn]] void refuse(const QString& text)
{
    writeToTerminal(stderr, QStringLiteral("rivect: %1\n").arg(text));
    std::exit(EXIT_FAILURE);
}

}  // namespace

std::optional<int> answerOnTerminal(int& argc, char** argv)
{
    // Only these words make a run that needs no display; any other command line goes on to the
    // window, where Qt takes out its own options before ours are read.
    // --help-all stays with the window: Qt's own options are listed only by a GUI application.
    static constexpr const char* kTerminalWords[] = {"-h", "-?", "--help", "-v", "--version", "--check-setup"};
    bool terminal = false;
    for (int i = 1; i < argc && !terminal; ++i)
        for (const char* word : kTerminalWords)
            terminal = terminal || std::strcmp(argv[i], word) == 0;
    if (!terminal)
        return std::nullopt;

    attachToTerminal();
    QCoreApplication app(argc, argv);
    nameProgram();
    Parser p;
    const bool parsed = p.parser.parse(QCoreApplication::arguments());
    // Asked for help or the version, that is what is printed, even beside a mistake or one of
    // Qt's own options, which only a GUI application would take out.
    // Printed here rather than through the parser, which on Windows shows a window program's
    // help in a message box whenever it sees no console.
    if (p.parser.isSet(p.help)) {
        writeToTerminal(stdout, p.parser.helpText());
        return EXIT_SUCCESS;
    }
    if (p.parser.isSet(p.version)) {
        writeToTerminal(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                               QCoreApplication::applicationVersion()));
        return EXIT_SUCCESS;
    }
    if (!parsed)
        refuse(p.parser.errorText());
    if (p.parser.isSet(p.checkSetup))
        return printSetupChecklist(runSetupCheck());
    // A terminal word taken as the value of another option: the window is asked for after all.
    return std::nullopt;
}

AppOptions parseAppOptions(const QCoreApplication& app)
{
    Parser p;
    QStringList arguments;
    for (const QString& argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--stints="))) {
            arguments << QStringLiteral("--stints") << argument.mid(9);
            if (argument.size() == 9)
                refuse(QStringLiteral("--stints= needs a file"));
        } else {
            arguments << argument;
        }
    }
    p.parser.process(arguments);

    AppOptions options;
    options.fill = p.parser.isSet(p.fill);
    options.lapLogFolder = p.parser.value(p.lapLog);
    if (p.parser.isSet(p.lapLog) && options.lapLogFolder.isEmpty())
        refuse(QStringLiteral("--lap-log needs a folder"));
    // Other words on the command line were always passed over; they still are without --stints.
    options.stints = p.parser.isSet(p.stints);
    if (options.stints) {
        const QStringList files = p.parser.positionalArguments();
        if (files.size() > 1)
            refuse(QStringLiteral("--stints takes one file, not %1").arg(files.join(QLatin1Char(' '))));
        if (!files.isEmpty())
            options.stintsFile = QFileInfo(files.first()).absoluteFilePath();
    }
    return options;
}

#include "setup_check.h"

#include "config/config_folder.h"
#include "platform/file_access.h"
#include "platform/terminal.h"
#include "platform/user_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>

namespace {

/// A path as the shell takes it, quoted only when it has to be: cmd's on Windows, with the
/// separators Windows shows; the POSIX shell's elsewhere.
QString shellWord(const QString& path)
{
#ifdef Q_OS_WIN
    const QString native = QDir::toNativeSeparators(path);
    static const QString special = QStringLiteral(" \t&()[]{}^=;!'+,`~%");
    const bool safe = std::none_of(native.begin(), native.end(), [](QChar c) { return special.contains(c); });
    return safe && !native.isEmpty() ? native : QLatin1Char('"') + native + QLatin1Char('"');
#else
    static const QString plain = QStringLiteral("+-./:=@_");
    const bool safe = std::all_of(path.begin(), path.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || plain.contains(c);
    });
    if (safe && !path.isEmpty())
        return path;
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
#endif
}

/// Whether the existing file at path could be saved over. On Windows the read-only attribute and
/// the access list decide, which QFileInfo does not look at: the file is opened for writing,
/// which changes nothing as long as nothing is written.
bool fileCouldBeWritten(const QFileInfo& info)
{
#ifdef Q_OS_WIN
    QFile file(info.filePath());
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
#else
    return info.isWritable();
#endif
}

/// What stands in the way of reading and saving one of the two files.
struct FileProblem {
    QString text;              ///< empty when nothing does
    bool unwritable = false;   ///< the file is there and readable, but cannot be saved over
};

FileProblem fileProblem(const QDir& dir, const QString& name, bool folderWritable)
{
    const QFileInfo info(dir.filePath(name));
    if (!info.exists())
        return {folderWritable ? QString() : name + QStringLiteral(" is missing and cannot be created")};
    QByteArray bytes;
    QString reason;
    if (FileAccess::readRegularFile(info.filePath(), bytes, &reason) != FileAccess::ReadResult::Ok)
        return {name + QStringLiteral(" cannot be read (%1)").arg(reason)};
    // Saving replaces the file by a new one written beside it, so the folder must be writable;
    // the file itself too, or the editor could not save it.
    if (!fileCouldBeWritten(info))
        return {name + QStringLiteral(" cannot be written"), true};
    return {};
}

}  // namespace

SetupItem checkConfigFiles(const ConfigFolder& files)
{
    const QString& folder = files.path;
    SetupItem item;
    item.label = QStringLiteral("the settings folder %1 and its files can be read and written")
                     .arg(QDir::toNativeSeparators(folder));
    // Only looked at: a folder that does not exist yet is made at the first start.
    const bool exists = QFileInfo(folder).isDir();
    const bool folderWritable = (exists || mayCreateFolder(folder)) && FileAccess::folderCouldTakeFile(folder);
    QStringList problems;
    if (!folderWritable)
        problems << (exists ? QStringLiteral("the folder cannot be written")
                            : QStringLiteral("the folder does not exist and cannot be created"));
    QStringList unreadable;
    QStringList unwritable;
    const QDir dir(folder);
    for (const QString& name : {QStringLiteral("Rivect.ini"), QStringLiteral("OutMess.txt")}) {
        const QString read = configFileToRead(files.filePath(name), files.preparedPath(name));
        if (read != files.filePath(name)) {
            // The copy in the other folder is the one a start reads.
            QByteArray bytes;
            QString reason;
            if (FileAccess::readRegularFile(read, bytes, &reason) == FileAccess::ReadResult::Failed) {
                problems << QStringLiteral("%1, the copy a start reads, cannot be read (%2)")
                                .arg(QDir::toNativeSeparators(read), reason);
                unreadable << shellWord(read);
            }
            continue;
        }
        const FileProblem problem = fileProblem(dir, name, folderWritable);
        if (!problem.text.isEmpty())
            problems << problem.text;
        if (problem.unwritable)
            unwritable << shellWord(files.filePath(name));
    }
    item.holds = problems.isEmpty();
    if (!item.holds) {
        item.found = problems.join(QStringLiteral("; "));
        const QString word = shellWord(folder);
        QStringList remedies;
#ifdef Q_OS_WIN
        // For an administrator's prompt, as a user often may not change a folder's permissions;
        // so the user is named rather than %USERNAME%, which there names the administrator.
        QString user = qEnvironmentVariable("USERNAME");
        if (user.isEmpty())
            user = QStringLiteral("%USERNAME%");
        if (problems.size() > unreadable.size()) {
            if (!exists)
                remedies << QStringLiteral("mkdir ") + word;
            for (const QString& file : unwritable)
                remedies << QStringLiteral("attrib -r ") + file;
            remedies << QStringLiteral("icacls %1 /grant \"%2:(OI)(CI)M\" /T").arg(word, user);
        }
        for (const QString& file : unreadable)
            remedies << QStringLiteral("icacls %1 /grant \"%2:R\"").arg(file, user);
        item.remedy = QStringLiteral("in a command prompt opened with \"Run as administrator\": ")
            + remedies.join(QStringLiteral(" && "));
#else
        if (problems.size() > unreadable.size())
            remedies << QStringLiteral("sudo install -d -o \"$USER\" %1 && sudo chown -R \"$USER\": %1 && chmod -R u+rwX %1")
                            .arg(word);
        if (!unreadable.isEmpty())
            remedies << QStringLiteral("sudo chmod a+r ") + unreadable.join(QLatin1Char(' '));
        item.remedy = remedies.join(QStringLiteral(" && "));
#endif
    }
    return item;
}

SetupItem checkClientPorts()
{
    SetupItem item;
    item.label = QStringLiteral("the client's UDP ports 7001, 7011, 7021, 7031, 7041 and 7051 are free");
    QStringList busy;
    for (quint16 port = 7001; port <= 7051; port += 10) {
        // The same exclusive bind as the client's; closed again when the socket goes.
        QUdpSocket socket;
        if (!socket.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress))
            busy << QString::number(port);
    }
    item.holds = busy.isEmpty();
    if (!item.holds) {
        item.found = QStringLiteral("in use: %1 (another Rivect running, or another program)")
                         .arg(busy.join(QStringLiteral(", ")));
        QStringList filter;
#ifdef Q_OS_WIN
        for (const QString& port : busy)
            filter << QLatin1Char(':') + port;
        item.remedy = QStringLiteral("netstat -ano -p UDP | findstr \"%1\"   then: tasklist /fi \"PID eq N\" "
                                     "(N: netstat's last column) names the program to end")
                          .arg(filter.join(QLatin1Char(' ')));
#else
        for (const QString& port : busy)
            filter << QStringLiteral("sport = :") + port;
        item.remedy = QStringLiteral("sudo ss -ulpn '( %1 )'   # then end the program it names")
                          .arg(filter.join(QStringLiteral(" or ")));
#endif
    }
    return item;
}

QList<SetupItem> runSetupCheck()
{
    QList<SetupItem> items = probeOsSetup();
    items << checkConfigFiles(chooseConfigFolder(QCoreApplication::applicationDirPath(), FolderLook::LookOnly));
    items << checkClientPorts();
    return items;
}

QString setupChecklistText(const QList<SetupItem>& items)
{
    QString text;
    for (const SetupItem& item : items) {
        text += (item.holds ? QStringLiteral("✓ ") : QStringLiteral("✗ ")) + item.label + QLatin1Char('\n');
        if (item.holds)
            continue;
        if (!item.found.isEmpty())
            text += QStringLiteral("    found: ") + item.found + QLatin1Char('\n');
        if (!item.remedy.isEmpty())
            text += QStringLiteral("    mend:  ") + item.remedy + QLatin1Char('\n');
    }
    const auto failed = std::count_if(items.begin(), items.end(), [](const SetupItem& i) { return !i.holds; });
    text += failed == 0 ? QStringLiteral("This PC is set up for Rivect.\n")
                        : QStringLiteral("%1 of %2 items do not hold.\n").arg(failed).arg(items.size());
    return text;
}

int printSetupChecklist(const QList<SetupItem>& items)
{
    writeToTerminal(stdout, setupChecklistText(items));
    const bool all = std::all_of(items.begin(), items.end(), [](const SetupItem& i) { return i.holds; });
    return all ? 0 : 1;
}

#include "platform/linux/desktop_editor_launcher.h"

#include "platform/file_save_watch.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <cerrno>
#include <optional>
#include <utility>
#include <vector>
#include <sys/types.h>
#include <sys/wait.h>

namespace {

/// A started program, polled and reaped without blocking. Pid 0 stands for a launch that gave
/// no process to wait for (an application activated over D-Bus): it counts as ended at once.
class ChildProcess : public IEditorProcess {
public:
    ChildProcess(pid_t pid, QString path) : m_pid(pid), m_path(std::move(path)) {}
    ~ChildProcess() override
    {
        // The editor may outlive us; reap it only if it has already gone, never block here.
        stillActive();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool stillActive() override
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == 0)
            return true;
        // A launcher that finds no application, or a terminal that cannot start, says so only
        // in its exit status. No longer our child (ECHILD) tells nothing: taken as done.
        if (r == m_pid)
            m_succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        m_pid = 0;
        return false;
    }

    bool succeeded() const override { return m_succeeded; }

    void watchSaves(std::function<void()> onSaved) override
    {
        m_watch = std::make_unique<FileSaveWatch>(m_path, std::move(onSaved));
    }

private:
    pid_t m_pid;
    QString m_path;
    bool m_succeeded = true;
    std::unique_ptr<FileSaveWatch> m_watch;
};

/// Frees a GLib string vector or string when it goes out of scope.
struct GStrvHolder {
    gchar** v = nullptr;
    ~GStrvHolder() { g_strfreev(v); }
};
struct GCharHolder {
    gchar* s = nullptr;
    ~GCharHolder() { g_free(s); }
};

bool onPath(const char* program)
{
    GCharHolder found{g_find_program_in_path(program)};
    return found.s != nullptr;
}

/// Starts argv directly (searched on PATH, descriptors other than 0-2 closed in the child,
/// so the editor never inherits our sockets); the pid is left for us to reap.
std::optional<pid_t> spawn(const QList<QByteArray>& args)
{
    QList<QByteArray> owned = args;
    std::vector<gchar*> argv;
    for (QByteArray& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    GPid pid = 0;
    GError* error = nullptr;
    const gboolean ok = g_spawn_async(nullptr, argv.data(), nullptr,
                                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                                      nullptr, nullptr, &pid, &error);
    if (!ok) {
        g_clear_error(&error);
        return std::nullopt;
    }
    return pid;
}

void rememberPid(GDesktopAppInfo*, GPid pid, gpointer data)
{
    *static_cast<pid_t*>(data) = pid;
}

/// The desktop's default application for plain text, started through its desktop entry, so
/// its Exec line, field codes and Terminal key mean what the desktop means by them.
std::optional<pid_t> launchDefaultApplication(const QByteArray& localPath)
{
    GAppInfo* info = g_app_info_get_default_for_type("text/plain", FALSE);
    if (!info)
        return std::nullopt;
    std::optional<pid_t> result;
    GError* error = nullptr;
    GCharHolder uri{g_filename_to_uri(localPath.constData(), nullptr, &error)};
    if (uri.s && G_IS_DESKTOP_APP_INFO(info)) {
        GList* uris = g_list_append(nullptr, uri.s);
        pid_t pid = 0;
        const gboolean ok = g_desktop_app_info_launch_uris_as_manager(
            G_DESKTOP_APP_INFO(info), uris, nullptr,
            GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
            rememberPid, &pid, &error);
        g_list_free(uris);
        // An application activated over D-Bus reports no pid; it is running elsewhere already.
        if (ok)
            result = pid;
    }
    g_clear_error(&error);
    g_object_unref(info);
    return result;
}

/// $VISUAL, else $EDITOR, with its own arguments, when its program can be found.
std::optional<QList<QByteArray>> terminalEditorCommand()
{
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const QByteArray value = qgetenv(variable);
        if (value.trimmed().isEmpty())
            continue;
        GStrvHolder parsed;
        if (!g_shell_parse_argv(value.constData(), nullptr, &parsed.v, nullptr) || !parsed.v[0])
            continue;
        if (!onPath(parsed.v[0]))
            continue;
        QList<QByteArray> argv;
        for (gchar** p = parsed.v; *p; ++p)
            argv.append(QByteArray(*p));
        return argv;
    }
    return std::nullopt;
}

/// The editor of $VISUAL / $EDITOR run inside the first terminal emulator installed; each
/// emulator takes the command and its arguments after its own option.
std::optional<pid_t> launchInTerminal(const QByteArray& localPath)
{
    const std::optional<QList<QByteArray>> editor = terminalEditorCommand();
    if (!editor)
        return std::nullopt;
    static const std::pair<const char*, const char*> terminals[] = {
        {"x-terminal-emulator", "-e"}, {"gnome-terminal", "--"}, {"konsole", "-e"},
        {"xfce4-terminal", "-x"},      {"xterm", "-e"},
    };
    for (const auto& [terminal, option] : terminals) {
        if (!onPath(terminal))
            continue;
        QList<QByteArray> argv{terminal, option};
        argv += *editor;
        argv.append(localPath);
        if (const std::optional<pid_t> pid = spawn(argv))
            return pid;
    }
    return std::nullopt;
}

std::optional<pid_t> launchXdgOpen(const QByteArray& localPath)
{
    if (!onPath("xdg-open"))
        return std::nullopt;
    return spawn({QByteArrayLiteral("xdg-open"), localPath});
}

} // namespace

std::unique_ptr<IEditorProcess> DesktopEditorLauncher::open(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QByteArray localPath = QFile::encodeName(absolute);
    std::optional<pid_t> pid = launchDefaultApplication(localPath);
    if (!pid)
        pid = launchInTerminal(localPath);
    if (!pid)
        pid = launchXdgOpen(localPath);
    if (!pid)
        return nullptr;
    return std::make_unique<ChildProcess>(*pid, absolute);
}

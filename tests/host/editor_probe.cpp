// Runs the desktop launcher in a process of its own, because GLib reads the XDG folders and
// the desktop entries once per process and the tests need a fresh environment for each case.
// Usage: editor_probe FILE RECORD RELEASE. Prints "null", or "opened", "active=0|1" once the
// editor has written RECORD, then creates RELEASE and prints "ended" or "still running", and
// "succeeded=0|1".
#include "platform/linux/desktop_editor_launcher.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <cstdio>
#include <functional>

namespace {

bool waitFor(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString record = QString::fromLocal8Bit(argv[2]);
    const QString release = QString::fromLocal8Bit(argv[3]);

    DesktopEditorLauncher launcher;
    std::unique_ptr<IEditorProcess> process = launcher.open(file);
    if (!process) {
        std::puts("null");
        return 0;
    }
    std::puts("opened");
    if (!waitFor([&] { return QFile::exists(record); })) {
        std::puts("no record");
        return 0;
    }
    std::printf("active=%d\n", process->stillActive() ? 1 : 0);
    QFile marker(release);
    if (!marker.open(QIODevice::WriteOnly))
        return 3;
    marker.close();
    std::puts(waitFor([&] { return !process->stillActive(); }) ? "ended" : "still running");
    std::printf("succeeded=%d\n", process->succeeded() ? 1 : 0);
    return 0;
}

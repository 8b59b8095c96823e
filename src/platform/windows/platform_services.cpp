#include "platform/platform_services.h"

#include "platform/windows/keep_awake_win.h"
#include "platform/windows/local_time_clock.h"
#include "platform/windows/multimedia_tick_timer.h"
#include "platform/windows/notepad_editor_launcher.h"
#include "platform/windows/wave_resource_sound.h"
#include "platform/windows/winsock_local_address.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// The installer looks for this name and refuses to replace the program while it exists. Every
// instance holds it; the system drops it with the last one, however that ends.
std::shared_ptr<void> markRunning()
{
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\RivectRunning");
    if (!mutex)
        return {};
    return std::shared_ptr<void>(mutex, [](void* handle) { CloseHandle(handle); });
}

} // namespace

PlatformServices makePlatformServices()
{
    PlatformServices services;
    services.runningMark = markRunning();
    services.tickTimer = makeTickTimer();
    services.clock = std::make_unique<LocalTimeClock>();
    services.editor = std::make_unique<NotepadEditorLauncher>();
    services.localAddress = std::make_unique<WinsockLocalAddress>();
    services.keepAwake = std::make_unique<WindowsKeepAwake>();
    return services;
}

std::unique_ptr<ITickTimer> makeTickTimer()
{
    return std::make_unique<MultimediaTickTimer>();
}

std::unique_ptr<IAlertSound> makeAlertSound()
{
    return std::make_unique<WaveResourceSound>();
}

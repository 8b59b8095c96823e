#include "platform/platform_services.h"

#include "platform/linux/canberra_alert_sound.h"
#include "platform/linux/desktop_clock.h"
#include "platform/linux/desktop_editor_launcher.h"
#include "platform/linux/keep_awake_desktop.h"
#include "platform/linux/kernel_local_address.h"
#include "platform/linux/tick_thread_timer.h"

PlatformServices makePlatformServices()
{
    PlatformServices services;
    services.tickTimer = makeTickTimer();
    services.clock = std::make_unique<DesktopClock>();
    services.editor = std::make_unique<DesktopEditorLauncher>();
    services.localAddress = std::make_unique<KernelLocalAddress>();
    services.keepAwake = std::make_unique<DesktopKeepAwake>();
    return services;
}

std::unique_ptr<ITickTimer> makeTickTimer()
{
    return std::make_unique<TickThreadTimer>();
}

std::unique_ptr<IAlertSound> makeAlertSound()
{
    return std::make_unique<CanberraAlertSound>();
}

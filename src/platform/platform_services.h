#pragma once

#include "platform/alert_sound.h"
#include "platform/editor_launcher.h"
#include "platform/keep_awake.h"
#include "platform/local_address.h"
#include "platform/system_clock.h"
#include "platform/tick_timer.h"

#include <memory>

/// The real OS services of this platform, as the program uses them.
struct PlatformServices {
    std::unique_ptr<ITickTimer> tickTimer;
    std::unique_ptr<ISystemClock> clock;
    std::unique_ptr<IEditorLauncher> editor;
    std::unique_ptr<ILocalAddress> localAddress;
    /// Held from Start to Stop, so that the PC neither sleeps nor blanks in a run.
    std::unique_ptr<IKeepAwake> keepAwake;
    /// Held for the program's whole run where the OS lets other programs see that it runs
    /// (an installer refuses to replace a running program); empty elsewhere.
    std::shared_ptr<void> runningMark;
};

/// Builds this platform's services; call once, after the application object exists.
PlatformServices makePlatformServices();

/// This platform's periodic tick timer alone (the one makePlatformServices builds).
std::unique_ptr<ITickTimer> makeTickTimer();

/// This platform's alert chimes. Made only where they are wanted: on Linux it starts a thread.
std::unique_ptr<IAlertSound> makeAlertSound();

#pragma once

#include "pit/pit_observer.h"
#include "platform/alert_sound.h"

/// The chime of each kind of alert, each kind its own; a kind this table does not know yet
/// still sounds, with the notice.
AlertTone alertTone(AlertKind kind);

/// The observer's chime that plays each alert's tone on sound, which must outlive it.
PitObserver::Chime alertChime(IAlertSound& sound);

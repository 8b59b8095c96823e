#pragma once

#include "sim_options.h"

#include <QRandomGenerator>
#include <cstdint>

/// Whether the car stops in the pits during lap lapNo (counted from 1, never wrapped).
bool isPitLap(const SimOptions& options, int64_t lapNo);

/// The time of periodic lap lapNo (counted from 1, never wrapped) in milliseconds: --lap with
/// its random --spread, or on a pit lap --lap plus the stop.
int plannedLapMs(const SimOptions& options, int64_t lapNo, QRandomGenerator& random);

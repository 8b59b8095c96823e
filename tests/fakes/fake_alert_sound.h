#pragma once

#include "platform/alert_sound.h"

#include <QList>

/// Records every tone it is asked to play.
class FakeAlertSound : public IAlertSound {
public:
    void play(AlertTone tone) override { played.append(tone); }
    QList<AlertTone> played;
};

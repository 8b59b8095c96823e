#pragma once

#include "platform/alert_sound.h"

#include <string>

/// The name of the tone's WAVE resource in the program: CHIME_ and the tone's name in capitals.
inline std::wstring chimeResourceName(AlertTone tone)
{
    std::wstring name = L"CHIME_";
    for (const char c : alertToneName(tone))
        name += wchar_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return name;
}

/// Sounds the chimes from the program's own WAVE resources with PlaySoundW, which starts the
/// sound and returns. Windows without a sound device plays nothing, and says nothing either.
class WaveResourceSound : public IAlertSound {
public:
    void play(AlertTone tone) override;
};

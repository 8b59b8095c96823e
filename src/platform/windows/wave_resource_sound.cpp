#include "platform/windows/wave_resource_sound.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

void WaveResourceSound::play(AlertTone tone)
{
    // SND_ASYNC: the system plays it on a thread of its own (a new chime cuts the last one
    // short). SND_NODEFAULT: a missing resource or device is silence, not the system's beep.
    PlaySoundW(chimeResourceName(tone).c_str(), GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC | SND_NODEFAULT);
}

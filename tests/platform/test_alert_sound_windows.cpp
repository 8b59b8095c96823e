// Every chime the client plays is in rivect.exe: a WAVE resource under the name the Windows
// sound asks PlaySoundW for, holding a RIFF WAVE file. A plain program without Qt, run on
// Windows (or under Wine); it reads the executable as data.

#include "platform/windows/wave_resource_sound.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: test_alert_sound_windows RIVECT_EXE\n");
        return 2;
    }
    const HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        std::printf("FAIL cannot read %s: %lu\n0 passed, 1 failed\n", argv[1], GetLastError());
        return 1;
    }
    int passed = 0;
    int failed = 0;
    for (const AlertTone tone : kAlertTones) {
        const std::wstring name = chimeResourceName(tone);
        const HRSRC found = FindResourceW(module, name.c_str(), L"WAVE");
        const DWORD size = found ? SizeofResource(module, found) : 0;
        const auto* bytes = found ? static_cast<const char*>(LockResource(LoadResource(module, found))) : nullptr;
        // The RIFF header and the format chunk at the least.
        const bool wave = bytes && size > 44 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WAVE", 4) == 0;
        std::printf("%s %ls (%lu bytes)\n", wave ? "PASS" : "FAIL", name.c_str(), size);
        ++(wave ? passed : failed);
    }
    FreeLibrary(module);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

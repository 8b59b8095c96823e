/* Holds the mutex a running rivect.exe holds, as long as the file named by its argument exists.
 * It creates that file once the mutex is held.
 *   hold_mutex [--deny] READY_FILE   --deny: with an access list that lets nobody open it, as a
 *                                    Rivect started elevated looks to an ordinary user
 *   hold_mutex --open                exit 0 when the mutex opens, else OpenMutexW's error */
#include <windows.h>
#include <sddl.h>
#include <wchar.h>

#define RUNNING_MUTEX L"Local\\RivectRunning"

int wmain(int argc, wchar_t **argv)
{
    if (argc == 2 && wcscmp(argv[1], L"--open") == 0) {
        HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, RUNNING_MUTEX);
        if (!opened)
            return (int)GetLastError();
        CloseHandle(opened);
        return 0;
    }
    int deny = argc == 3 && wcscmp(argv[1], L"--deny") == 0;
    if (argc != 2 + deny)
        return 2;
    SECURITY_ATTRIBUTES denied = {sizeof denied, NULL, FALSE};
    /* Owned by and open to SYSTEM alone, as an elevated token's default access list leaves
     * the ordinary user out; the holder keeps the handle creation gave it. (Wine lets an
     * owner open whatever the list says, so the owner must be another.) */
    if (deny && !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SYD:(A;;GA;;;SY)", SDDL_REVISION_1,
                                                                      &denied.lpSecurityDescriptor, NULL))
        return 1;
    HANDLE mutex = CreateMutexW(deny ? &denied : NULL, TRUE, RUNNING_MUTEX);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    const wchar_t *readyFile = argv[1 + deny];
    HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    /* A test that dies leaves no holder behind for long. */
    for (int waited = 0; waited < 120000 && GetFileAttributesW(readyFile) != INVALID_FILE_ATTRIBUTES; waited += 50)
        Sleep(50);
    CloseHandle(mutex);
    return 0;
}

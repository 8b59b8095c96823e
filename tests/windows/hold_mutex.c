/* Holds the mutex a running rivect.exe holds, as long as the file named by its argument exists.
 * It creates that file once the mutex is held. */
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    HANDLE mutex = CreateMutexW(NULL, TRUE, L"Local\\RivectRunning");
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    /* A test that dies leaves no holder behind for long. */
    for (int waited = 0; waited < 120000 && GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES; waited += 50)
        Sleep(50);
    CloseHandle(mutex);
    return 0;
}

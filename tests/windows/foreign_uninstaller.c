/* Stands for another program's uninstaller in a folder that Rivect is installed into: run, it
 * leaves ran.txt beside itself. */
#include <windows.h>
#include <wchar.h>

int wmain(void)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    wchar_t *slash = wcsrchr(path, L'\\');
    if (n == 0 || n >= MAX_PATH || !slash || slash - path + 8 >= MAX_PATH)
        return 1;
    wcscpy(slash + 1, L"ran.txt");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return 0;
}

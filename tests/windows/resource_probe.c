/* Prints the resources of an executable as key=value lines: the version resource, the icon
 * sizes and the manifest. Without an argument it reads its own. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static void printVersionString(const void *block, const wchar_t *name)
{
    wchar_t query[128];
    wchar_t *value = NULL;
    UINT length = 0;
    swprintf(query, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
    if (VerQueryValueW(block, query, (void **)&value, &length) && length > 0)
        wprintf(L"%ls=%ls\n", name, value);
    else
        wprintf(L"%ls=<missing>\n", name);
}

static void printVersion(const wchar_t *path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        wprintf(L"VersionResource=<missing>\n");
        return;
    }
    void *block = malloc(size);
    if (!GetFileVersionInfoW(path, 0, size, block)) {
        wprintf(L"VersionResource=<unreadable>\n");
        free(block);
        return;
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", (void **)&fixed, &length) && length >= sizeof *fixed)
        wprintf(L"FixedFileVersion=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    static const wchar_t *const names[] = {L"ProductName", L"ProductVersion", L"FileVersion", L"FileDescription",
                                           L"OriginalFilename"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        printVersionString(block, names[i]);
    free(block);
}

#pragma pack(push, 2)
typedef struct {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
} GroupIconEntry;
typedef struct {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
} GroupIconHeader;
#pragma pack(pop)

static void printIconsAndManifest(const wchar_t *path)
{
    HMODULE module = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        wprintf(L"Module=<unloadable>\n");
        return;
    }
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), (LPCWSTR)RT_GROUP_ICON);
    const GroupIconHeader *header = group ? LockResource(LoadResource(module, group)) : NULL;
    wprintf(L"IconSizes=");
    for (WORD i = 0; header && i < header->count; ++i)
        wprintf(L"%ls%u", i ? L"," : L"", header->entries[i].width ? header->entries[i].width : 256u);
    wprintf(header ? L"\n" : L"<missing>\n");

    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), (LPCWSTR)RT_MANIFEST);
    if (manifest) {
        const char *text = LockResource(LoadResource(module, manifest));
        DWORD size = SizeofResource(module, manifest);
        printf("Manifest=");
        fflush(stdout);
        for (DWORD i = 0; i < size; ++i)
            putchar(text[i] == '\r' || text[i] == '\n' ? ' ' : text[i]);
        printf("\n");
        fflush(stdout);
    } else {
        wprintf(L"Manifest=<missing>\n");
    }
    FreeLibrary(module);
}

int wmain(int argc, wchar_t **argv)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    const wchar_t *path = argc > 1 ? argv[1] : self;
    printVersion(path);
    printIconsAndManifest(path);
    fflush(stdout);
    return 0;
}

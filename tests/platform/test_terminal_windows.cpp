// The programs' terminal answers as a console shows them: rivect.exe (a window program) and
// rivect-laps.exe started from a console of the test's own with no handles handed down, the way
// cmd starts them, and read back from the console's screen, which is set to code page 932 as on
// a Japanese crew PC. And the same answer sent to a file stays in the file, as UTF-8.
//   test_terminal_windows RIVECT_EXE RIVECT_LAPS_EXE
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring widen(const char* text)
{
    std::wstring out;
    for (; *text; ++text)
        out += *text == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*text));
    // CMake hands over Unix paths; Wine's drive Z: is the Unix root.
    return out.rfind(L"\\", 0) == 0 ? L"Z:" + out : out;
}

/// What the child's standard handles are when it starts.
enum class Handed {
    Nothing,  // none handed down, the way cmd starts a window program
    File,     // standard output and error sent to a file
};

/// Runs command on the test's console with its handles as handed says; returns the exit status.
DWORD run(const std::wstring& command, Handed handed, HANDLE file)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (handed != Handed::Nothing) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = file;
        si.hStdError = file;
    }
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, handed == Handed::File, 0, nullptr, nullptr, &si,
                        &pi))
        return DWORD(-1);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = DWORD(-1);
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return status;
}

HANDLE screen()
{
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

void clearScreen()
{
    const HANDLE out = screen();
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(out, &info);
    DWORD done = 0;
    FillConsoleOutputCharacterW(out, L' ', DWORD(info.dwSize.X) * DWORD(info.dwSize.Y), COORD{0, 0}, &done);
    SetConsoleCursorPosition(out, COORD{0, 0});
    CloseHandle(out);
}

/// The console's screen, one line per row, trailing blanks cut.
std::wstring screenText()
{
    const HANDLE out = screen();
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(out, &info);
    std::wstring text;
    std::vector<wchar_t> row(size_t(info.dwSize.X));
    for (SHORT y = 0; y < info.dwSize.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(out, row.data(), DWORD(row.size()), COORD{0, y}, &read);
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += line + L'\n';
    }
    CloseHandle(out);
    return text.substr(0, text.find_last_not_of(L'\n') + 1);
}

std::wstring fromUtf8(const std::string& bytes)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), out.data(), n);
    return out;
}

void show(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
}

struct Case {
    const wchar_t* name;
    bool laps;                          // rivect-laps.exe rather than rivect.exe
    std::wstring arguments;
    Handed handed;
    unsigned short busyPort;            // a UDP port the test holds while the program runs; 0 for none
    DWORD exitStatus;
    std::vector<std::wstring> present;  // each must be shown
    std::vector<std::wstring> absent;   // none may be shown
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: test_terminal_windows RIVECT_EXE RIVECT_LAPS_EXE\n");
        return 2;
    }
    // The client is started from a folder with a Japanese name, which it prints as the settings
    // folder; its Qt comes from the DLL path the emulator gives.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"rivect 端末 " + std::to_wstring(GetCurrentProcessId());
    const std::wstring rivect = folder + L"\\rivect.exe";
    const std::wstring laps = widen(argv[2]);
    const std::wstring outFile = folder + L"\\out.txt";
    if (!CreateDirectoryW(folder.c_str(), nullptr) || !CopyFileW(widen(argv[1]).c_str(), rivect.c_str(), TRUE)) {
        std::printf("FAIL cannot prepare %lu\n", GetLastError());
        return 1;
    }

    WSADATA wsa{};
    WSAStartup(MAKEWORD(2, 2), &wsa);
    // A console of the test's own, as cmd's window, showing code page 932.
    FreeConsole();
    if (!AllocConsole() || !SetConsoleOutputCP(932)) {
        std::printf("FAIL no console of the test's own\n");
        return 1;
    }

    const std::wstring missing = folder + L"\\ラップ記録.csv";
    const std::vector<Case> cases = {
        {L"version", false, L"--version", Handed::Nothing, 0, 0, {L"Rivect 1.00"}, {}},
        {L"help names what Windows checks", false, L"--help", Handed::Nothing, 0, 0,
         {L"--check-setup", L"keeping the PC awake"}, {L"priority limits", L"time synchronisation"}},
        {L"checklist with a Japanese folder", false, L"--check-setup", Handed::Nothing, 0, 0,
         {L"✓ a run can keep this PC awake", L"the settings folder " + folder + L" "}, {}},
        {L"a busy port mended the Windows way", false, L"--check-setup", Handed::Nothing, 7031, 1,
         {L"✗ the client's UDP ports", L"mend:  netstat -ano -p UDP | findstr \":7031\""}, {L"sudo"}},
        {L"a mistake on standard error", false, L"--check-setup --no-such", Handed::Nothing, 0, 1,
         {L"rivect: Unknown option 'no-such'"}, {}},
        {L"checklist sent to a file", false, L"--check-setup", Handed::File, 0, 0,
         {L"✓ a run can keep this PC awake", L"the settings folder " + folder + L" "}, {}},
        {L"laps help", true, L"--help", Handed::Nothing, 0, 0, {L"Usage: rivect-laps"}, {}},
        {L"laps complaint naming a Japanese file", true, L"\"" + missing + L"\" -o x.png", Handed::Nothing, 0, 1,
         {L"rivect-laps: cannot read " + missing}, {}},
    };
    int failed = 0;
    for (const Case& c : cases) {
        clearScreen();
        HANDLE file = nullptr;
        if (c.handed == Handed::File) {
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            file = CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        SOCKET held = INVALID_SOCKET;
        if (c.busyPort) {
            held = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(c.busyPort);
            if (bind(held, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0)
                std::printf("FAIL %ls: cannot hold the port\n", c.name);
        }
        const std::wstring program = c.laps ? laps : rivect;
        const DWORD status = run(L"\"" + program + L"\" " + c.arguments, c.handed, file);
        std::wstring shown = screenText();
        if (held != INVALID_SOCKET)
            closesocket(held);
        if (file) {
            CloseHandle(file);
            // What reached the file, as UTF-8; the console must have shown nothing.
            std::string bytes;
            if (FILE* f = _wfopen(outFile.c_str(), L"rb")) {
                char buffer[4096];
                for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
                    bytes.append(buffer, n);
                std::fclose(f);
            }
            if (!shown.empty()) {
                std::printf("FAIL %ls: the console showed what was sent to the file\n", c.name);
                ++failed;
            }
            shown = fromUtf8(bytes);
        }
        bool ok = status == c.exitStatus;
        for (const std::wstring& part : c.present)
            ok = ok && shown.find(part) != std::wstring::npos;
        for (const std::wstring& part : c.absent)
            ok = ok && shown.find(part) == std::wstring::npos;
        std::printf("%s %ls (exit %ld)\n", ok ? "ok  " : "FAIL", c.name, long(status));
        if (!ok) {
            show(L"---- shown:\n" + shown + L"\n----");
            ++failed;
        }
    }
    DeleteFileW(outFile.c_str());
    DeleteFileW(rivect.c_str());
    for (const wchar_t* name : {L"\\Rivect.ini", L"\\OutMess.txt"})
        DeleteFileW((folder + name).c_str());
    // The check looks only: its probe of the folder left nothing behind.
    if (!RemoveDirectoryW(folder.c_str())) {
        std::printf("FAIL the folder holds more than the program and its two files\n");
        ++failed;
    }
    std::printf("%d failed\n", failed);
    return failed == 0 ? 0 : 1;
}

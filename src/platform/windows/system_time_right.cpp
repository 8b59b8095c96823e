#include "platform/windows/system_time_right.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <optional>
#include <vector>

namespace {

/// The process's token, closed when it goes out of scope.
struct Token {
    HANDLE handle = nullptr;
    explicit Token(DWORD access)
    {
        if (!OpenProcessToken(GetCurrentProcess(), access, &handle))
            handle = nullptr;
    }
    ~Token()
    {
        if (handle)
            CloseHandle(handle);
    }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
};

bool systemTimeLuid(LUID& luid)
{
    return LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &luid) != 0;
}

/// The right's entry in the token's list, when the token holds it.
std::optional<LUID_AND_ATTRIBUTES> entry()
{
    LUID luid{};
    Token token(TOKEN_QUERY);
    if (!token.handle || !systemTimeLuid(luid))
        return std::nullopt;
    DWORD size = 0;
    GetTokenInformation(token.handle, TokenPrivileges, nullptr, 0, &size);
    if (size == 0)
        return std::nullopt;
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.handle, TokenPrivileges, buffer.data(), size, &size))
        return std::nullopt;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& l = privileges->Privileges[i].Luid;
        if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart)
            return privileges->Privileges[i];
    }
    return std::nullopt;
}

bool adjust(bool enable)
{
    LUID luid{};
    Token token(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    if (!token.handle || !systemTimeLuid(luid))
        return false;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    // AdjustTokenPrivileges succeeds also for a right the token lacks; only the last error
    // tells that nothing was changed.
    if (!AdjustTokenPrivileges(token.handle, FALSE, &wanted, 0, nullptr, nullptr))
        return false;
    return GetLastError() == ERROR_SUCCESS;
}

} // namespace

namespace SystemTimeRight {

bool held()
{
    return entry().has_value();
}

bool enabled()
{
    const std::optional<LUID_AND_ATTRIBUTES> found = entry();
    return found && (found->Attributes & SE_PRIVILEGE_ENABLED) != 0;
}

Enabled::Enabled()
{
    m_wasEnabled = enabled();
    m_ok = m_wasEnabled || adjust(true);
}

Enabled::~Enabled()
{
    if (m_ok && !m_wasEnabled)
        adjust(false);
}

QString errorText(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString result = length ? QString::fromWCharArray(text, int(length)).simplified() : QString();
    if (text)
        LocalFree(text);
    if (result.isEmpty())
        result = QStringLiteral("error %1").arg(code);
    return result;
}

} // namespace SystemTimeRight

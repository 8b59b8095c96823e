#include "platform/session_end.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"RivectSessionEnd";

} // namespace

struct SessionEnd::Private {
    std::function<void()> end;
    std::function<void()> saveNow;
    HWND window = nullptr;

    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Private*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_QUERYENDSESSION:
            // The session may end: nothing here needs the operator first.
            return TRUE;
        case WM_ENDSESSION:
            // Once every program has answered this, Windows ends the process wherever it is:
            // the program's own end would never come, so what must be kept is written now.
            if (wParam && self) {
                if (self->end)
                    self->end();
                if (self->saveNow)
                    self->saveNow();
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
        }
    }
};

SessionEnd::SessionEnd(std::function<void()> end, std::function<void()> saveNow) : d(std::make_unique<Private>())
{
    d->end = std::move(end);
    d->saveNow = std::move(saveNow);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Private::proc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    // Registered again after an earlier object of this kind: ERROR_CLASS_ALREADY_EXISTS is fine.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;
    // A hidden top-level window: only top-level windows are told of the session's end (a
    // message-only window is not), whatever windows Qt has or has not made.
    d->window = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"Rivect", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr);
    if (d->window)
        SetWindowLongPtrW(d->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d.get()));
}

SessionEnd::~SessionEnd()
{
    if (d->window)
        DestroyWindow(d->window);
}

bool SessionEnd::watching() const
{
    return d->window != nullptr;
}

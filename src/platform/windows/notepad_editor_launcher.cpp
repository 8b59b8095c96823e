#include "platform/windows/notepad_editor_launcher.h"

#include "platform/file_save_watch.h"

#include <QDir>
#include <QFileInfo>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

/// The started editor, polled on its process handle. A null handle stands for a launch that
/// gave none back (the shell handed the file to a program already running): ended at once.
class EditorProcess : public IEditorProcess {
public:
    EditorProcess(HANDLE process, QString path) : m_process(process), m_path(std::move(path)) {}
    ~EditorProcess() override
    {
        if (m_process)
            CloseHandle(m_process);
    }
    EditorProcess(const EditorProcess&) = delete;
    EditorProcess& operator=(const EditorProcess&) = delete;

    bool stillActive() override
    {
        if (!m_process)
            return false;
        DWORD code = 0;
        if (GetExitCodeProcess(m_process, &code) && code == STILL_ACTIVE)
            return true;
        // Notepad that could not open the file still starts and ends with 0; a program that
        // fails to start at all, or is ended from outside, reports another code.
        m_succeeded = code == 0;
        CloseHandle(m_process);
        m_process = nullptr;
        return false;
    }

    bool succeeded() const override { return m_succeeded; }

    void watchSaves(std::function<void()> onSaved) override
    {
        m_watch = std::make_unique<FileSaveWatch>(m_path, std::move(onSaved));
    }

private:
    HANDLE m_process;
    QString m_path;
    bool m_succeeded = true;
    std::unique_ptr<FileSaveWatch> m_watch;
};

} // namespace

std::wstring NotepadEditorLauncher::notepadPath()
{
    // By its full path: a bare name is looked for in the program's own folder and the current
    // folder first, where any file called notepad.exe would be started instead.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::wstring(folder, length) + L"\\notepad.exe";
}

std::unique_ptr<IEditorProcess> NotepadEditorLauncher::open(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const std::wstring file = notepadPath();
    if (file.empty())
        return nullptr;
    // Quoted, so that a folder with blanks in its name stays one argument.
    const std::wstring parameters = (QLatin1Char('"') + QDir::toNativeSeparators(absolute) + QLatin1Char('"')).toStdWString();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return nullptr;
    return std::make_unique<EditorProcess>(info.hProcess, absolute);
}

#pragma once

#include "platform/editor_launcher.h"

#include <string>

/// Opens a file in Notepad through the shell, and waits for it on its process handle.
class NotepadEditorLauncher : public IEditorLauncher {
public:
    /// Starts the system folder's notepad.exe on path (quoted as one argument); null when the
    /// shell could not start it. When the shell gives no process handle back, the editing
    /// counts as ended at once and only the saves of the file tell of it.
    std::unique_ptr<IEditorProcess> open(const QString& path) override;

    /// Notepad in the system folder, by its full path; empty when the folder is not known.
    static std::wstring notepadPath();
};

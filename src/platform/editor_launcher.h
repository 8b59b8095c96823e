#pragma once

#include <QString>
#include <memory>

/// An editor process started for a file.
class IEditorProcess {
public:
    virtual ~IEditorProcess() = default;
    /// True while the editor still runs.
    virtual bool stillActive() = 0;
};

/// Opens a text file in the user's text editor.
class IEditorLauncher {
public:
    virtual ~IEditorLauncher() = default;
    /// Starts the editor on path; null when no editor could be started.
    virtual std::unique_ptr<IEditorProcess> open(const QString& path) = 0;
};

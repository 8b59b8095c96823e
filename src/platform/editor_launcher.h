#pragma once

#include <QString>
#include <functional>
#include <memory>

/// An editor process started for a file.
class IEditorProcess {
public:
    virtual ~IEditorProcess() = default;
    /// True while the editor still runs.
    virtual bool stillActive() = 0;
    /// Once it has ended: false when the launch failed after all (the program that was started
    /// reported a failure in its exit status, or was killed).
    virtual bool succeeded() const = 0;
    /// From now until this object is destroyed, calls onSaved once after each save of the file.
    virtual void watchSaves(std::function<void()> onSaved) = 0;
};

/// Opens a text file in the user's text editor.
class IEditorLauncher {
public:
    virtual ~IEditorLauncher() = default;
    /// Starts the editor on path; null when no editor could be started.
    virtual std::unique_ptr<IEditorProcess> open(const QString& path) = 0;
};

#pragma once

#include "platform/editor_launcher.h"

/// Opens a file in the desktop user's text editor: the desktop's default application for
/// plain text, else $VISUAL or $EDITOR in a terminal emulator, else xdg-open.
class DesktopEditorLauncher : public IEditorLauncher {
public:
    /// A launcher that resolves the editor afresh at every open.
    DesktopEditorLauncher() = default;
    /// Starts the editor on path, passed as one argument and never through a shell;
    /// null when none of the ways could start a program.
    std::unique_ptr<IEditorProcess> open(const QString& path) override;
};

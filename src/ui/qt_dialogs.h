#pragma once

#include "platform/dialogs.h"

/// Message boxes and the input box as Qt dialogs, modal over the active window; their
/// nested event loop keeps timers and sockets served while they are open.
class QtDialogs : public IDialogs {
public:
    /// The title of every box that brings none of its own.
    static QString programTitle();

    int msgBox(const QString& prompt, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
};

#pragma once

#include <QString>

/// Button, icon and default flags of a message box, and its answers.
namespace MsgBox {
constexpr int vbOKOnly = 0;
constexpr int vbYesNo = 4;
constexpr int vbCritical = 16;
constexpr int vbExclamation = 48;
constexpr int vbInformation = 64;
constexpr int vbDefaultButton1 = 0;
constexpr int vbDefaultButton2 = 256;

constexpr int vbOK = 1;
constexpr int vbYes = 6;
constexpr int vbNo = 7;
} // namespace MsgBox

/// Message boxes and the input box. Both keep timers and sockets served while open.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    /// Shows prompt (a lone CR separates lines) with the buttons, icon and default of style;
    /// an empty title shows the program's title. Returns the answer (vbOK, vbYes, vbNo).
    virtual int msgBox(const QString& prompt, int style, const QString& title) = 0;
    /// Asks for a line of text; returns the text entered, or the empty text for Cancel.
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) = 0;
};

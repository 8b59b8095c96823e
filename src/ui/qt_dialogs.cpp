#include "ui/qt_dialogs.h"

#include "ui/appearance.h"
#include "ui/caption_fit.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

#include <vector>

namespace {

// Button sets, icons and default-button numbers as the style value encodes them.
constexpr int kButtonsMask = 0x7;
constexpr int kIconMask = 0x70;
constexpr int kDefaultMask = 0x300;
constexpr int kOKCancel = 1;
constexpr int kAbortRetryIgnore = 2;
constexpr int kYesNoCancel = 3;
constexpr int kRetryCancel = 5;
constexpr int kQuestion = 32;
constexpr int kCancelAnswer = 2;
constexpr int kAbortAnswer = 3;
constexpr int kRetryAnswer = 4;
constexpr int kIgnoreAnswer = 5;

struct Choice {
    QMessageBox::StandardButton button;
    int answer;
};

std::vector<Choice> choicesFor(int style)
{
    using B = QMessageBox;
    switch (style & kButtonsMask) {
    case kOKCancel: return {{B::Ok, MsgBox::vbOK}, {B::Cancel, kCancelAnswer}};
    case kAbortRetryIgnore: return {{B::Abort, kAbortAnswer}, {B::Retry, kRetryAnswer}, {B::Ignore, kIgnoreAnswer}};
    case kYesNoCancel: return {{B::Yes, MsgBox::vbYes}, {B::No, MsgBox::vbNo}, {B::Cancel, kCancelAnswer}};
    case MsgBox::vbYesNo: return {{B::Yes, MsgBox::vbYes}, {B::No, MsgBox::vbNo}};
    case kRetryCancel: return {{B::Retry, kRetryAnswer}, {B::Cancel, kCancelAnswer}};
    default: return {{B::Ok, MsgBox::vbOK}};
    }
}

QMessageBox::Icon iconFor(int style)
{
    switch (style & kIconMask) {
    case MsgBox::vbCritical: return QMessageBox::Critical;
    case kQuestion: return QMessageBox::Question;
    case MsgBox::vbExclamation: return QMessageBox::Warning;
    case MsgBox::vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

QString titleOrProgram(const QString& title)
{
    return title.isEmpty() ? QtDialogs::programTitle() : title;
}

} // namespace

QString QtDialogs::programTitle()
{
    return QStringLiteral("Rivect");
}

int QtDialogs::msgBox(const QString& prompt, int style, const QString& title)
{
    const std::vector<Choice> choices = choicesFor(style);
    QMessageBox box(iconFor(style), titleOrProgram(title), QString(), QMessageBox::NoButton,
                    QApplication::activeWindow());
    // An address too long for the screen keeps its two ends; the box stays on the screen.
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() / 2 : 320;
    box.setText(CaptionFit::elidedRuns(Appearance::displayText(prompt), box.font(), widest));
    box.setTextFormat(Qt::PlainText);
    for (const Choice& c : choices)
        box.addButton(c.button);
    const std::size_t defaultIndex = std::size_t((style & kDefaultMask) >> 8);
    box.setDefaultButton(choices[defaultIndex < choices.size() ? defaultIndex : 0].button);

    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (const Choice& c : choices) {
        if (c.button == pressed)
            return c.answer;
    }
    // Closed without a button (only possible where the box has an escape): its last button.
    return choices.back().answer;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(titleOrProgram(title));
    dialog.setLabelText(Appearance::displayText(prompt));
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

#include "platform/Messages.h"

#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace platform {

namespace {

MessageBoxes* installed = nullptr;

QMessageBox::StandardButton standardButton(MsgResult r)
{
    switch (r) {
    case MsgResult::Ok: return QMessageBox::Ok;
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::Abort: return QMessageBox::Abort;
    case MsgResult::Retry: return QMessageBox::Retry;
    case MsgResult::Ignore: return QMessageBox::Ignore;
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon standardIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::None: return QMessageBox::NoIcon;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Critical: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// What closing the box without a button means.
MsgResult escapeAnswer(const std::vector<MsgResult>& buttons)
{
    for (MsgResult r : {MsgResult::Cancel, MsgResult::No, MsgResult::Ok})
        if (std::find(buttons.begin(), buttons.end(), r) != buttons.end()) return r;
    return buttons.back();
}

}  // namespace

std::vector<MsgResult> buttonsOf(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok: return {MsgResult::Ok};
    case MsgButtons::OkCancel: return {MsgResult::Ok, MsgResult::Cancel};
    case MsgButtons::YesNo: return {MsgResult::Yes, MsgResult::No};
    case MsgButtons::YesNoCancel: return {MsgResult::Yes, MsgResult::No, MsgResult::Cancel};
    case MsgButtons::RetryCancel: return {MsgResult::Retry, MsgResult::Cancel};
    case MsgButtons::AbortRetryIgnore: return {MsgResult::Abort, MsgResult::Retry, MsgResult::Ignore};
    }
    return {MsgResult::Ok};
}

MsgResult defaultAnswer(const Message& message)
{
    std::vector<MsgResult> buttons = buttonsOf(message.buttons);
    int index = std::clamp(message.defaultButton, 0, static_cast<int>(buttons.size()) - 1);
    return buttons[static_cast<std::size_t>(index)];
}

MsgResult QtMessageBoxes::show(QWidget* parent, const Message& message)
{
    QMessageBox box(standardIcon(message.icon), message.title, message.text, QMessageBox::NoButton, parent);
    std::vector<MsgResult> buttons = buttonsOf(message.buttons);
    for (MsgResult r : buttons) box.addButton(standardButton(r));
    box.setDefaultButton(standardButton(defaultAnswer(message)));
    box.setEscapeButton(box.button(standardButton(escapeAnswer(buttons))));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (MsgResult r : buttons)
        if (clicked && clicked == box.button(standardButton(r))) return r;
    return escapeAnswer(buttons);
}

MessageBoxes& messageBoxes()
{
    static QtMessageBoxes own;
    return installed ? *installed : own;
}

MessageBoxes* install(MessageBoxes* boxes)
{
    MessageBoxes* before = installed;
    installed = boxes;
    return before;
}

MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title, int defaultButton,
                 QWidget* parent)
{
    return messageBoxes().show(parent, Message{text, buttons, icon, title, defaultButton});
}

}  // namespace platform

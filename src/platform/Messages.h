#pragma once
// Message boxes: a text, a set of buttons, an icon and a title (the
// program's title unless another is given). Every box goes through the
// installed MessageBoxes, so that a test answers them instead of a person.

#include "platform/Settings.h"

#include <QString>

#include <vector>

class QWidget;

namespace platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgIcon { None, Information, Exclamation, Question, Critical };
// The answers, with the classic message box numbers (OK 1 ... No 7).
enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct Message {
    QString text;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    QString title = programTitle();
    int defaultButton = 0;  // 0 the first button, 1 the second, 2 the third
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgResult show(QWidget* parent, const Message& message) = 0;
};

// QMessageBox, modal.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgResult show(QWidget* parent, const Message& message) override;
};

MessageBoxes& messageBoxes();
MessageBoxes* install(MessageBoxes* boxes);

// The buttons of a set, in the order they stand.
std::vector<MsgResult> buttonsOf(MsgButtons buttons);
// The button a box chooses when Enter is pressed: its default button.
MsgResult defaultAnswer(const Message& message);

// Shows a message box and returns the button chosen (closing the box counts
// as Cancel, or as No when there is no Cancel button, or as OK).
MsgResult msgBox(const QString& text, MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None,
                 const QString& title = programTitle(), int defaultButton = 0, QWidget* parent = nullptr);

}  // namespace platform

#pragma once
// The spelling dialog: shows each word the dictionary does not know in the
// line it stands in, offers the dictionary's suggestions, and lets the person
// change the word (here or everywhere after), ignore it (here or everywhere
// after), add it to the personal word list, or stop. It works a SpellCheck;
// it closes accepted when the check has reached the end of the text, rejected
// when the person stopped it (the changes made until then stay in the
// check's text).

#include "zoom/SpellCheck.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace zoom {

class frmSpelling : public QDialog {
    Q_OBJECT
public:
    // `check` stands on its first unknown word.
    explicit frmSpelling(SpellCheck& check, QWidget* parent = nullptr);

    QLabel* lblNotInDictionary;
    QTextEdit* txtContext;
    QLabel* lblChangeTo;
    QLineEdit* txtChangeTo;
    QLabel* lblSuggestions;
    QListWidget* lstSuggestions;
    QPushButton* cmdIgnore;
    QPushButton* cmdIgnoreAll;
    QPushButton* cmdAdd;
    QPushButton* cmdChange;
    QPushButton* cmdChangeAll;
    QPushButton* cmdCancel;
    QLabel* lblLanguage;

    void cmdIgnore_Click();
    void cmdIgnoreAll_Click();
    void cmdAdd_Click();
    void cmdChange_Click();
    void cmdChangeAll_Click();

private:
    // Shows the check's current word, or closes at the end.
    void showWord();

    SpellCheck& check_;
};

}  // namespace zoom

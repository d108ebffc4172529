#pragma once
// A spelling check of one value, word by word, as the spelling dialog runs
// it: find the next word the dictionary does not know, then change it (once
// or everywhere after), ignore it (once or everywhere after), or add it to the
// personal word list.
//
// Only words are checked. Left out are runs of letters that touch a digit
// (numbers, handles and dimensions: 1/2", 2x4, 3'-6", A-101, M10x1.5), a
// handle in capitals made of the letters A to F, the formatting codes of
// multi-line text (\P, \A1;, \H2.5x;, \fArial|b0;, {, }, \U+00B0 and the
// word they touch), the special characters %%c, %%d, %%p and %%nnn, and DXF's
// caret characters (^J).

#include "platform/Spelling.h"

#include <QString>

#include <map>
#include <optional>
#include <set>

namespace zoom {

struct WordSpan {
    int start = 0;   // 0-based
    int length = 0;
    bool operator==(const WordSpan&) const = default;
};

// How the program keeps the personal word list: through the one routine it
// writes every file with.
platform::WordListWriter wordListWriter();

// The next word at or after `from` that a spelling check looks at.
std::optional<WordSpan> nextWord(const QString& text, int from);

class SpellCheck {
public:
    SpellCheck(QString text, platform::Speller& speller);

    // Moves to the next word the dictionary does not know (words changed
    // with Change All are changed on the way). False at the end of the text.
    bool next();
    bool atEnd() const { return !current_; }

    const QString& text() const { return text_; }
    // The word found, and where.
    WordSpan span() const { return current_.value_or(WordSpan{}); }
    QString word() const;
    // The line the word stands in, and where the word is in it.
    QString context(WordSpan* wordInContext = nullptr) const;
    QStringList suggestions() const;
    QString language() const { return speller_.language(); }

    // What a person does with the word found; each goes on to the next
    // unknown word. Change with an empty replacement removes the word.
    void change(const QString& replacement);
    void changeAll(const QString& replacement);
    void ignore();
    void ignoreAll();
    // False, with the reason in `error`, when the word could not be kept in
    // the personal word list (it is known for the rest of this check all
    // the same).
    bool add(QString* error = nullptr);

    // Whether any word was changed.
    bool changed() const { return changed_; }

private:
    void replaceCurrent(const QString& replacement);

    QString text_;
    platform::Speller& speller_;
    std::optional<WordSpan> current_;
    int position_ = 0;  // where the search for the next word goes on
    std::set<QString> ignored_;
    std::map<QString, QString> changeAll_;
    bool changed_ = false;
};

}  // namespace zoom

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
//
// The check goes through the value once, however many words it changes: the
// value is read run by run (a run is the text between two separators, such
// as spaces or formatting codes), and a change reads again only the run it
// falls in.

#include "platform/Spelling.h"

#include <QString>
#include <QStringView>

#include <map>
#include <optional>
#include <set>
#include <vector>

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

// A text with a gap in it, where words are replaced: a change moves the text
// between the gap and the word, never the text after the word, so that
// changes made from the start to the end of a long text cost time in
// proportion to the text. The text from the gap on stands in one piece.
class GapText {
public:
    explicit GapText(QString text);
    int size() const { return static_cast<int>(buffer_.size()) - gapLength(); }
    QChar at(int i) const { return buffer_.at(i < gapStart_ ? i : i + gapLength()); }
    QString mid(int from, int length) const;
    QString toString() const;
    // The text from tailStart() to the end, in one piece.
    int tailStart() const { return gapStart_; }
    QStringView tail() const { return QStringView(buffer_).mid(gapEnd_); }
    // Replaces `length` characters at `start` by `replacement`; afterwards the
    // text from `keepFrom` (at most `start`) on stands in one piece.
    void replace(int keepFrom, int start, int length, QStringView replacement);

private:
    int gapLength() const { return gapEnd_ - gapStart_; }
    void moveGapTo(int position);

    QString buffer_;
    int gapStart_ = 0, gapEnd_ = 0;
};

class SpellCheck {
public:
    SpellCheck(QString text, platform::Speller& speller);

    // Moves to the next word the dictionary does not know (words changed
    // with Change All are changed on the way). False at the end of the text.
    bool next();
    bool atEnd() const { return !current_; }

    QString text() const { return text_.toString(); }
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
    // The first word at or after `from`, reading on from where the reading
    // stands.
    std::optional<WordSpan> wordFrom(int from);

    GapText text_;
    platform::Speller& speller_;
    std::optional<WordSpan> current_;
    int position_ = 0;  // where the search for the next word goes on
    std::set<QString> ignored_;
    std::map<QString, QString> changeAll_;
    bool changed_ = false;

    // The reading of the text: where it goes on, the words of the run read
    // last that are still to come, where the run before that one ended (a
    // change in the run reads again from there), and where a formatting code
    // without its closing semicolon was met (-1 for none; a semicolon put
    // into the text later closes it, so the text is read again from the start).
    int readAt_ = 0;
    std::vector<WordSpan> runWords_;
    std::size_t nextRunWord_ = 0;
    int runReadFrom_ = 0;
    int lastRunEnd_ = 0;
    int unclosedCode_ = -1;
};

}  // namespace zoom

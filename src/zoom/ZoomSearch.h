#pragma once
// The zoom editor's own find and replace: it works on the editor's text
// alone, never on the grid or the drawing. Positions are 1-based; the
// editor's selection start is 0-based.
//
// Whole words are told apart only by a space, a period directly after the
// word, and the start and end of the text; at the end of the text the
// character before the word is not looked at, and the start position does
// not count there either.

#include <QString>

namespace zoom {

struct SearchOptions {
    bool matchCase = false;
    bool wholeWord = false;
};

// The position of the match of `find` in `value` at or after `start`
// (1-based), 0 when there is none.
int locateMatch(const QString& value, const QString& find, int start, SearchOptions options);
// The value with every occurrence of `find` replaced by `replacement`, as
// Replace All does it.
QString replaceEvery(const QString& value, const QString& find, const QString& replacement, SearchOptions options);

// The editor's text and its selection.
struct EditorText {
    QString value;
    int selectionStart = 0;  // 0-based
    int selectionLength = 0;
    QString selectedText() const { return value.mid(selectionStart, selectionLength); }
};

// What a button of the panel did, for the screen to show.
struct SearchOutcome {
    enum class Box { None, EnterFindText, EnterReplacement, NoSelection };
    enum class Focus { None, FindWhat, ReplaceWith, Value };
    Box box = Box::None;         // a message box to show
    Focus focus = Focus::None;   // where the focus goes
    QString label;               // the new message label; null: unchanged
    bool textChanged = false;    // the editor's text (and selection) changed
    bool selectionChanged = false;
};

// The message boxes' texts.
QString boxText(SearchOutcome::Box box);

class ZoomSearch {
public:
    // Find First, Find Next, Replace and Replace All on `text`, which they
    // change in place.
    SearchOutcome findFirst(EditorText& text, const QString& find, SearchOptions options);
    SearchOutcome findNext(EditorText& text, const QString& find, SearchOptions options);
    SearchOutcome replace(EditorText& text, const QString& find, const QString& replacement, SearchOptions options);
    SearchOutcome replaceAll(EditorText& text, const QString& find, const QString& replacement,
                             SearchOptions options);

    // Where Find Next starts: 1 at first and after every "Text not found.",
    // else one character past the end of the last match.
    int findStart() const { return findStart_; }

private:
    SearchOutcome locate(EditorText& text, const QString& find, int start, SearchOptions options);

    int findStart_ = 1;
};

}  // namespace zoom

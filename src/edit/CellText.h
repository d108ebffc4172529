#pragma once
// The text rules of editing in the grid: proper case, the numeric test and
// the rounding of layer colors, and the searches and replacements inside one
// cell's text. Positions are 1-based, as the grid search counts them; 0
// means "not found".

#include <QString>

#include <optional>

namespace edit {

// The first letter of every word in upper case, every other letter in lower
// case. Words are separated by space, tab, line feed, vertical tab, form
// feed, carriage return and NUL.
QString properCase(const QString& text);

// A decimal number with an optional sign, fraction and exponent, blanks
// allowed around it ("7", " -1.5e3 ", ".5").
bool isNumeric(const QString& text);

// The layer color a text names: a number rounded to the nearest whole number
// (halves to the even one) from 1 to 255. None for anything else.
std::optional<long> layerColorOf(const QString& text);

// The position of `what` in `text` at or after `start`; 0 when it is not
// there (also when `start` lies past the end). An empty `what` is found at
// `start`.
int findIn(const QString& text, const QString& what, int start, Qt::CaseSensitivity cs);

// `text` with every occurrence of `what` replaced by `with`, scanning left to
// right without overlaps. An empty `what` changes nothing.
QString replaceIn(const QString& text, const QString& what, const QString& with, Qt::CaseSensitivity cs);

// A whole-word match in one cell's text, searched from `start`.
struct WordMatch {
    int position = 0;
    // The match is the text's ending: the next search goes on to the next
    // record.
    bool atEnd = false;
};
// Tried in order: the text beginning with `what` and a blank (only from
// position 1); blank, `what`, blank; blank, `what` and a period (blank and
// `what` when `what` ends with a period); the text ending with `what` (the
// character before not examined, and regardless of `start`).
std::optional<WordMatch> findWholeWord(const QString& text, const QString& what, int start, Qt::CaseSensitivity cs);

// The whole-word replacement of Replace All, step after step: blank, `what`,
// blank; blank, `what`, period; then either the text's beginning `what` and
// blank, or else its ending `what`.
QString replaceWholeWords(const QString& text, const QString& what, const QString& with, Qt::CaseSensitivity cs);

}  // namespace edit

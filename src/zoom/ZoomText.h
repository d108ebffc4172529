#pragma once
// How a value looks in the zoom editor, and how the editor's text goes back
// into the form the drawing stores.
//
// Paragraphs. Multi-line text (MTEXT, and attributes that carry their text as
// multi-line text) stores its paragraph breaks as the code \P inside the one
// value; the grid shows them so. The editor shows one paragraph a line, and
// writes each line break back as \P. A value whose breaks are stored in DXF's
// caret form ^J (a line feed, as some programs write MTEXT) gets ^J back, so
// that an untouched paragraph is stored as it was. A line feed stored as
// such (binary DXF can hold one) is a line too; it goes back as \P, the form
// the drawing component writes every break of multi-line text in. \\P is an
// escaped backslash followed by a P, not a break, and stays as it is. Every
// other formatting code stays in the text, as the grid shows it.
//
// Single-line text (TEXT, ordinary attributes) cannot hold a line break: the
// drawing stores one, should a person type it, as ^J, and the editor shows
// ^J as a line break again.

#include <QString>

namespace zoom {

enum class ValueLines { Single, Paragraphs };

// The editor's text for a stored value. Line breaks are "\n".
QString toEditorText(const QString& stored, ValueLines lines);
// The stored form of the editor's text; `stored` is the value the editor was
// loaded with (its break form is kept). CR LF, CR and LF are line breaks.
QString toStoredText(const QString& editor, ValueLines lines, const QString& stored);

}  // namespace zoom

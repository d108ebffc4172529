#include "zoom/ZoomText.h"

namespace zoom {

namespace {

const QString Paragraph = QStringLiteral("\\P");
const QString CaretLineFeed = QStringLiteral("^J");

// Where the next stored break starts at or after `from`, and how long it is;
// -1 when there is none. Multi-line text also knows \P (but not \\P).
qsizetype nextBreak(const QString& s, qsizetype from, ValueLines lines, qsizetype& length)
{
    for (qsizetype i = from; i + 1 < s.size(); ++i) {
        QChar c = s.at(i), n = s.at(i + 1);
        if (c == QLatin1Char('^') && n == QLatin1Char('J')) {
            length = 2;
            return i;
        }
        if (lines == ValueLines::Paragraphs && c == QLatin1Char('\\')) {
            if (n == QLatin1Char('P')) {
                length = 2;
                return i;
            }
            ++i;  // an escaped character, \\ included, is not a code's start
        }
    }
    return -1;
}

}  // namespace

QString toEditorText(const QString& stored, ValueLines lines)
{
    QString out;
    out.reserve(stored.size());
    qsizetype from = 0, length = 0;
    for (qsizetype at; (at = nextBreak(stored, from, lines, length)) >= 0; from = at + length) {
        out += QStringView(stored).mid(from, at - from);
        out += QLatin1Char('\n');
    }
    out += QStringView(stored).mid(from);
    return out;
}

QString toStoredText(const QString& editor, ValueLines lines, const QString& stored)
{
    // The break form of the value as loaded: that of its first break.
    QString form = lines == ValueLines::Paragraphs ? Paragraph : CaretLineFeed;
    qsizetype length = 0;
    qsizetype first = nextBreak(stored, 0, lines, length);
    if (first >= 0) form = stored.mid(first, length);

    QString out;
    out.reserve(editor.size());
    for (qsizetype i = 0; i < editor.size(); ++i) {
        QChar c = editor.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator) {
            if (c == QLatin1Char('\r') && i + 1 < editor.size() && editor.at(i + 1) == QLatin1Char('\n')) ++i;
            out += form;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace zoom

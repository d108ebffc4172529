#include "zoom/ZoomText.h"

#include <QRegularExpression>

#include <cfenv>
#include <cmath>

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

bool isWordSeparator(QChar c)
{
    switch (c.unicode()) {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case 0: return true;
    default: return false;
    }
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

QString properCase(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < text.size();) {
        QChar c = text.at(i);
        if (isWordSeparator(c)) {
            out += c;
            wordStart = true;
            ++i;
            continue;
        }
        // One character, a surrogate pair taken whole.
        qsizetype n = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        QString ch = text.mid(i, n);
        out += wordStart ? ch.toUpper() : ch.toLower();
        wordStart = false;
        i += n;
    }
    return out;
}

QString upperCase(const QString& text) { return text.toUpper(); }

QString lowerCase(const QString& text) { return text.toLower(); }

std::optional<double> parseNumber(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)\\s*$"));
    QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    double v = m.captured(1).toDouble(&ok);
    if (!ok && !std::isinf(v)) return std::nullopt;
    return v;
}

double roundHalfEven(double value)
{
    double whole = std::round(value);  // halves away from zero
    if (std::fabs(value - std::trunc(value)) == 0.5) whole = 2.0 * std::round(value / 2.0);
    return whole;
}

}  // namespace zoom

#include "edit/CellText.h"

#include <cmath>

namespace edit {

namespace {

bool separatesWords(QChar c)
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

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Rounds to the nearest whole number, halves to the even one.
double roundHalfEven(double v)
{
    double down = std::floor(v);
    double rest = v - down;
    if (rest > 0.5) return down + 1;
    if (rest < 0.5) return down;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

}  // namespace

QString properCase(const QString& text)
{
    QString out = text;
    bool wordStart = true;
    for (qsizetype i = 0; i < out.size(); ++i) {
        QChar c = out[i];
        if (separatesWords(c)) {
            wordStart = true;
            continue;
        }
        if (c.isHighSurrogate() || c.isLowSurrogate()) {
            wordStart = false;
            continue;
        }
        out[i] = wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return out;
}

bool isNumeric(const QString& text)
{
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i])) ++i;
    while (n > i && isBlank(text[n - 1])) --n;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
        qsizetype exponent = 0;
        while (i < n && isDigit(text[i])) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == n;
}

std::optional<long> layerColorOf(const QString& text)
{
    if (!isNumeric(text)) return std::nullopt;
    bool ok = false;
    double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;  // an exponent too large for a double
    double n = roundHalfEven(v);
    if (n < 1 || n > 255) return std::nullopt;
    return static_cast<long>(n);
}

int findIn(const QString& text, const QString& what, int start, Qt::CaseSensitivity cs)
{
    if (start < 1) start = 1;
    if (start > text.size()) return 0;
    if (what.isEmpty()) return start;
    qsizetype at = text.indexOf(what, start - 1, cs);
    return at < 0 ? 0 : static_cast<int>(at) + 1;
}

QString replaceIn(const QString& text, const QString& what, const QString& with, Qt::CaseSensitivity cs)
{
    if (what.isEmpty()) return text;
    QString out = text;
    out.replace(what, with, cs);
    return out;
}

std::optional<WordMatch> findWholeWord(const QString& text, const QString& what, int start, Qt::CaseSensitivity cs)
{
    const QString blank = QStringLiteral(" ");
    if (findIn(text, what + blank, start, cs) == 1) return WordMatch{start, false};
    if (int q = findIn(text, blank + what + blank, start, cs)) return WordMatch{q + 1, false};
    const QString withPeriod = what.endsWith(QLatin1Char('.')) ? blank + what : blank + what + QStringLiteral(".");
    if (int q = findIn(text, withPeriod, start, cs)) return WordMatch{q + 1, false};
    if (text.size() >= what.size() && !what.isEmpty() && text.right(what.size()).compare(what, cs) == 0) {
        qsizetype last = text.lastIndexOf(what, -1, Qt::CaseInsensitive);
        return WordMatch{static_cast<int>(last) + 1, true};
    }
    return std::nullopt;
}

QString replaceWholeWords(const QString& text, const QString& what, const QString& with, Qt::CaseSensitivity cs)
{
    if (what.isEmpty()) return text;
    const QString blank = QStringLiteral(" ");
    QString out = replaceIn(text, blank + what + blank, blank + with + blank, cs);
    out = replaceIn(out, blank + what + QStringLiteral("."), blank + with + QStringLiteral("."), cs);
    if (out.left(what.size() + 1).compare(what + blank, cs) == 0) {
        qsizetype at = out.indexOf(what, 0, cs);
        if (at >= 0) out.replace(at, what.size(), with);
    } else if (out.size() >= what.size() && out.right(what.size()).compare(what, cs) == 0) {
        out = out.left(out.size() - what.size()) + with;
    }
    return out;
}

}  // namespace edit

#include "extract/Csv.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace extract {

namespace {

constexpr QChar kMark = u'\'';

// The first characters by which a spreadsheet takes a field for a formula.
bool startsFormula(QChar c)
{
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// "-12", "-0.5", "-1.5e-07": a minus sign and a number as the program
// writes numbers, which no spreadsheet runs.
bool isNegativeNumber(QStringView t)
{
    qsizetype i = 0, n = t.size();
    if (i < n && t[i] == u'-') ++i;
    else return false;
    qsizetype digits = 0;
    while (i < n && isDigit(t[i])) ++i, ++digits;
    if (digits == 0) return false;
    if (i < n && t[i] == u'.') {
        ++i;
        qsizetype fraction = 0;
        while (i < n && isDigit(t[i])) ++i, ++fraction;
        if (fraction == 0) return false;
    }
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-')) ++i;
        qsizetype exponent = 0;
        while (i < n && isDigit(t[i])) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == n;
}

bool needsMark(QStringView text)
{
    if (text.isEmpty()) return false;
    if (text.front() == kMark) return true;
    return startsFormula(text.front()) && !isNegativeNumber(text);
}

bool isLineEnd(QChar c) { return c == u'\r' || c == u'\n'; }

// Steps over one line end at `i` (CR LF, CR or LF).
qsizetype skipLineEnd(QStringView text, qsizetype i)
{
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') return i + 2;
    return i + 1;
}

}  // namespace

QString protectCsvField(const QString& text) { return needsMark(text) ? kMark + text : text; }

QString unprotectCsvField(const QString& text)
{
    if (text.size() >= 2 && text[0] == kMark && needsMark(QStringView(text).mid(1))) return text.mid(1);
    return text;
}

void CsvWriter::field(QStringView text, bool first)
{
    if (needsMark(text)) {
        rawField(QString(kMark) + text.toString(), first);
        return;
    }
    rawField(text, first);
}

void CsvWriter::rawField(QStringView text, bool first)
{
    if (!first) out_.push_back(',');
    bool quote = !text.isEmpty() &&
                 (text.front() == u' ' || text.back() == u' ' || text.front() == u'\t' || text.back() == u'\t');
    for (QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        append(text);
        return;
    }
    out_.push_back('"');
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'"') {
            append(text.mid(from, i + 1 - from));
            out_.push_back('"');
            from = i + 1;
        }
    }
    append(text.mid(from));
    out_.push_back('"');
}

void CsvWriter::append(QStringView text)
{
    if (text.isEmpty()) return;
    std::size_t at = out_.size();
    out_.resize(at + static_cast<std::size_t>(encoder_.requiredSpace(text.size())));
    char* end = encoder_.appendToBuffer(out_.data() + at, text);
    out_.resize(static_cast<std::size_t>(end - out_.data()));
}

bool decodeCsv(QByteArrayView bytes, QString& text, QString& error)
{
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype skip = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        skip = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        skip = 2;
    }
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    text = decoder.decode(bytes.sliced(skip));
    if (decoder.hasError() || (encoding != QStringDecoder::Utf8 && (bytes.size() - skip) % 2 != 0)) {
        text.clear();
        error = encoding == QStringDecoder::Utf8
                    ? QStringLiteral("it is not UTF-8 text (save it as CSV in UTF-8)")
                    : QStringLiteral("its UTF-16 text is damaged");
        return false;
    }
    return true;
}

std::vector<CsvRecord> readCsv(QStringView text, QChar separator, const std::vector<bool>& kept)
{
    // Fields are taken from the text a run at a time: a field without
    // doubled quotes is one slice of it.
    std::vector<CsvRecord> records;
    qsizetype i = 0;
    const qsizetype n = text.size();
    int line = 1;
    qsizetype width = 0;  // the fields of the record before: room for as many
    while (i < n) {
        CsvRecord record;
        record.line = line;
        record.fields.reserve(width);
        bool hasText = false;
        bool ended = false;
        while (!ended) {
            // The first record, a header, is taken whole.
            const auto at = static_cast<std::size_t>(record.fields.size());
            const bool keep = records.empty() || kept.empty() || (at < kept.size() && kept[at]);
            QString field;
            auto take = [&](QStringView piece) {
                hasText = hasText || !piece.isEmpty();
                if (!keep || piece.isEmpty()) return;
                if (field.isNull()) field = piece.toString();
                else field += piece;
            };
            if (i < n && text[i] == u'"') {
                // A quoted field: up to the quote that is not doubled; line
                // ends inside it are kept as they are.
                ++i;
                qsizetype from = i;
                bool closed = false;
                while (i < n) {
                    const QChar c = text[i];
                    if (c == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            take(text.sliced(from, i + 1 - from));  // the first of the two
                            i += 2;
                            from = i;
                            continue;
                        }
                        break;
                    }
                    if (isLineEnd(c)) {
                        i = skipLineEnd(text, i);
                        ++line;
                        continue;
                    }
                    ++i;
                }
                take(text.sliced(from, i - from));
                if (i < n) {
                    ++i;  // the closing quote
                    closed = true;
                }
                if (!closed && record.error.isEmpty())
                    record.error = QStringLiteral("a quoted field is not closed before the end of the file");
                if (i < n && text[i] != separator && !isLineEnd(text[i]) && record.error.isEmpty())
                    record.error = QStringLiteral("text follows the closing quote of field %1").arg(record.fields.size() + 1);
            }
            // The rest of an unquoted field (or what follows a closing quote).
            const qsizetype from = i;
            while (i < n && text[i] != separator && !isLineEnd(text[i])) {
                if (text[i] == u'"' && record.error.isEmpty())
                    record.error = QStringLiteral("a quote stands inside the unquoted field %1").arg(record.fields.size() + 1);
                ++i;
            }
            take(text.sliced(from, i - from));
            record.fields << std::move(field);
            if (i < n && text[i] == separator) {
                ++i;
                continue;
            }
            if (i < n) {
                i = skipLineEnd(text, i);
                ++line;
            }
            ended = true;
        }
        width = record.fields.size();
        if (hasText || !record.error.isEmpty()) records.push_back(std::move(record));
    }
    return records;
}

QStringView firstCsvRecord(QStringView text)
{
    qsizetype end = 0;
    bool quoted = false;
    for (; end < text.size(); ++end) {
        if (text[end] == u'"') quoted = !quoted;
        else if (!quoted && isLineEnd(text[end])) break;
    }
    return text.left(end);
}

std::optional<QChar> csvSeparator(QStringView text, const QString& wanted)
{
    const QStringView first = firstCsvRecord(text);
    for (QChar separator : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
        std::vector<CsvRecord> header = readCsv(first, separator);
        if (header.empty()) continue;
        for (const QString& name : header.front().fields)
            if (name.trimmed().compare(wanted, Qt::CaseInsensitive) == 0) return separator;
    }
    return std::nullopt;
}

}  // namespace extract

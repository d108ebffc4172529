#pragma once
// CSV as the grid's view is written and read back: RFC 4180 (fields quoted
// when they must be, a quote doubled inside), UTF-8.
//
// Writing guards the reader's spreadsheet: a field that begins with "=",
// "+", "-", "@", a tab or a carriage return would run as a formula there, so
// it is written with an apostrophe in front (which spreadsheets show as
// text); so is a field that itself begins with an apostrophe, so that the
// reading side can tell the two apart. A field that is a plain number
// ("-12.5") runs as nothing and stays as it is. Reading takes the
// apostrophe off again, and only where writing put one.
//
// Reading accepts what a spreadsheet program saves: a byte-order mark or
// none (UTF-8 or UTF-16), CR LF, LF or CR line ends, quoted fields that hold
// line breaks, and a separator of its choice.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringEncoder>
#include <QStringView>

#include <optional>
#include <string>
#include <vector>

namespace extract {

// A field as written: with the apostrophe in front when it needs one.
QString protectCsvField(const QString& text);
// The field as it was before protectCsvField.
QString unprotectCsvField(const QString& text);

// Writes CSV into `out`: fields are encoded as UTF-8 and quoted when they
// hold the separator, a quote, a line break, or blanks at either end.
class CsvWriter {
public:
    explicit CsvWriter(std::string& out) : out_(out) {}
    // A field, protected (see above).
    void field(QStringView text, bool first);
    // A field exactly as given (a header's name).
    void rawField(QStringView text, bool first);
    void endRow() { out_.append("\r\n"); }

private:
    void append(QStringView text);
    std::string& out_;
    QStringEncoder encoder_{QStringEncoder::Utf8};
};

// The text of a CSV file's bytes: UTF-8 with or without a byte-order mark,
// or UTF-16 with one. False, with `error` set, for bytes that are neither.
bool decodeCsv(QByteArrayView bytes, QString& text, QString& error);

struct CsvRecord {
    int line = 0;        // the line it begins on, from 1
    QStringList fields;  // as stored: not unprotected
    QString error;       // why the record is malformed; empty when it is not
};

// The records of CSV text with `separator` between fields. A record that
// holds nothing (an empty line, or separators alone) is left out. A record
// is malformed when a quote stands inside an unquoted field, text follows a
// closing quote, or a quoted field is not closed by the end. The first
// record is read whole; of the others, only the fields that `kept` marks
// (by their place) are read, and the rest come back empty; an empty `kept`
// reads every field.
std::vector<CsvRecord> readCsv(QStringView text, QChar separator, const std::vector<bool>& kept = {});

// The text of the first record (a header): up to its first line end
// outside quotes.
QStringView firstCsvRecord(QStringView text);

// The separator under which the first record of `text` has a field named
// `wanted` (letter case and surrounding blanks aside): ",", ";" or tab, as
// spreadsheets save with the separator of the user's language. None when
// no separator gives such a field.
std::optional<QChar> csvSeparator(QStringView text, const QString& wanted);

}  // namespace extract

// CSV as written for a spreadsheet and read back from one: the guard against
// formulas and its exact undoing, and the forms a spreadsheet saves in.

#include "extract/Csv.h"

#include <gtest/gtest.h>

using extract::CsvRecord;
using extract::CsvWriter;
using extract::protectCsvField;
using extract::readCsv;
using extract::unprotectCsvField;

namespace {

QStringList fieldsOf(const std::string& csv)
{
    QString text = QString::fromUtf8(csv.data(), static_cast<qsizetype>(csv.size()));
    std::vector<CsvRecord> records = readCsv(text, u',');
    EXPECT_EQ(records.size(), 1u) << csv;
    return records.empty() ? QStringList() : records.front().fields;
}

}  // namespace

TEST(Csv, FormulaLikeFieldsAreGuardedAndComeBackAsTheyWere)
{
    const QStringList guarded = {"=1+2", "=HYPERLINK(\"http://x\")", "+44 20 7946", "+5", "-x", "-", "- item", "-.5",
                                 "@SUM(A1)", "\tindented", "\rx", "'", "''", "'=1", "'-5", "'plain"};
    const QStringList kept = {"", "plain", "a=b", "1+1", "-12", "-12.5", "-1.5e-07", "-0", " =spaced", "中文 = x"};
    for (const QString& v : guarded) {
        const QString p = protectCsvField(v);
        EXPECT_EQ(p, QLatin1Char('\'') + v) << v.toStdString();
        EXPECT_EQ(unprotectCsvField(p), v) << v.toStdString();
    }
    for (const QString& v : kept) {
        EXPECT_EQ(protectCsvField(v), v) << v.toStdString();
        EXPECT_EQ(unprotectCsvField(v), v) << v.toStdString();
    }
    // An apostrophe that export did not put there stays.
    EXPECT_EQ(unprotectCsvField("'plain"), "'plain");
    EXPECT_EQ(unprotectCsvField("'-12"), "'-12");

    // What the writer writes, quoted where it must be, reads back to the guarded text.
    std::string out;
    CsvWriter w(out);
    const QStringList row = {"=A1,\"q\"", "'x", "-3", "line\r\nbreak", " lead"};
    for (qsizetype i = 0; i < row.size(); ++i) w.field(row[i], i == 0);
    w.endRow();
    EXPECT_EQ(out, "\"'=A1,\"\"q\"\"\",''x,-3,\"line\r\nbreak\",\" lead\"\r\n");
    QStringList back = fieldsOf(out);
    ASSERT_EQ(back.size(), row.size());
    for (qsizetype i = 0; i < row.size(); ++i) EXPECT_EQ(unprotectCsvField(back[i]), row[i]);
}

TEST(Csv, ReadsWhatSpreadsheetsSave)
{
    // LF, CR LF and CR line ends; a quoted field holding line ends and quotes;
    // blank lines and rows of separators alone left out.
    QString text = QStringLiteral("a,b\n1,\"x\ny\"\"z\"\"\r\nw\"\r\n\r\n,,\n2,\rlast,\"\"");
    std::vector<CsvRecord> r = readCsv(text, u',');
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].fields, QStringList({"a", "b"}));
    EXPECT_EQ(r[1].fields, QStringList({"1", "x\ny\"z\"\r\nw"}));
    EXPECT_EQ(r[1].line, 2);
    EXPECT_EQ(r[2].fields, QStringList({"2", ""}));
    EXPECT_EQ(r[2].line, 7);
    EXPECT_EQ(r[3].fields, QStringList({"last", ""}));
    EXPECT_EQ(r[3].line, 8);
    for (const CsvRecord& rec : r) EXPECT_TRUE(rec.error.isEmpty()) << rec.error.toStdString();

    // Only the fields asked for, after the header: the others come back
    // empty, yet count, still keep their record from being blank, and still
    // tell what is malformed in them.
    r = readCsv(u"a,b,c\r\n1,\"x\"\"y\",2\r\n,only here,\r\n3,q\"q,4\r\n", u',', {true, false, true});
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].fields, QStringList({"a", "b", "c"}));
    EXPECT_EQ(r[1].fields, QStringList({"1", "", "2"}));
    EXPECT_EQ(r[2].fields, QStringList({"", "", ""}));
    EXPECT_EQ(r[2].line, 3);
    EXPECT_NE(r[3].error.indexOf("quote"), -1) << r[3].error.toStdString();

    // Separators by the user's language.
    EXPECT_EQ(extract::csvSeparator(u"Name;Display;Color\r\n0;On;7", "name"), QChar(u';'));
    EXPECT_EQ(extract::csvSeparator(u"\"a,b\"\tName\n", "Name"), QChar(u'\t'));
    EXPECT_EQ(extract::csvSeparator(u"Handle,Value", "Handle"), QChar(u','));
    EXPECT_FALSE(extract::csvSeparator(u"Handle Value", "Handle"));
    EXPECT_EQ(readCsv(u"x;\"a;b\";c", u';').front().fields, QStringList({"x", "a;b", "c"}));

    // UTF-8 with or without a byte-order mark, UTF-16 with one; nothing else.
    QString decoded, why;
    ASSERT_TRUE(extract::decodeCsv("\xEF\xBB\xBFHandle,Value\r\n", decoded, why));
    EXPECT_EQ(decoded, "Handle,Value\r\n");
    ASSERT_TRUE(extract::decodeCsv("Stra\xC3\x9F" "e", decoded, why));
    EXPECT_EQ(decoded, QString::fromUtf8("Straße"));
    ASSERT_TRUE(extract::decodeCsv(QByteArrayView("\xFF\xFEH\0i\0", 6), decoded, why));
    EXPECT_EQ(decoded, "Hi");
    EXPECT_FALSE(extract::decodeCsv("Stra\xDF" "e", decoded, why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(extract::decodeCsv(QByteArrayView("\xFF\xFEH\0i", 5), decoded, why));
}

TEST(Csv, MalformedRecordsSayWhyAndLeaveTheOthersWhole)
{
    std::vector<CsvRecord> r = readCsv(u"k,v\r\n1,a\"b\r\n2,\"a\"b\r\n3,ok\r\n4,\"open\r\n5,x", u',');
    ASSERT_EQ(r.size(), 5u);
    EXPECT_NE(r[1].error.indexOf("quote"), -1) << r[1].error.toStdString();
    EXPECT_EQ(r[1].line, 2);
    EXPECT_NE(r[2].error.indexOf("closing quote"), -1) << r[2].error.toStdString();
    EXPECT_TRUE(r[3].error.isEmpty());
    EXPECT_EQ(r[3].fields, QStringList({"3", "ok"}));
    // The unclosed quote runs to the end of the file: that record is the last.
    EXPECT_NE(r[4].error.indexOf("not closed"), -1);
    EXPECT_EQ(r[4].line, 5);
}

// Reading XML documents of records: what becomes rows, fields and values,
// which documents are refused, and reading in pieces.

#include "data/XmlRecords.h"

#include <gtest/gtest.h>

using data::RecordTable;

namespace {

QStringList names(const RecordTable& t) { return t.fieldNames(); }

QString valueOf(const RecordTable& t, qsizetype row, const char* field)
{
    int f = t.fieldIndex(QString::fromLatin1(field));
    return f < 0 ? QStringLiteral("<none>") : t.value(row, f).toString();
}

bool reads(const QByteArray& xml, RecordTable& t, QString* error = nullptr)
{
    return data::readXmlRecords(xml, t, error);
}

}  // namespace

TEST(XmlRecords, RowsFieldsAndDecodedValues)
{
    // ISO-8859-1 bytes, references of every kind, a character beyond the
    // basic plane, CDATA, a comment, an empty element, nested elements.
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n"
                     "<Group>\r\n"
                     "<R><A>caf\xE9 &amp; &lt;x&gt; &quot;q&quot; &apos;</A><B>&#20013;&#x1F600;&#61;</B></R>\r\n"
                     "<R><B>  two  </B><!-- note --><C/><A><![CDATA[<raw> & ]]>tail</A><A>second A</A></R>\r\n"
                     "<R attr='1'><D>x<i>y</i>z</D>loose text</R>\r\n"
                     "</Group>\r\n";
    RecordTable t;
    QString error;
    ASSERT_TRUE(reads(xml, t, &error)) << error.toStdString();
    EXPECT_EQ(names(t), QStringList({"A", "B", "C", "D"}));  // the union, in order of first appearance
    ASSERT_EQ(t.rowCount(), 3);
    EXPECT_EQ(valueOf(t, 0, "A"), QString::fromUtf8("café & <x> \"q\" '"));
    EXPECT_EQ(valueOf(t, 0, "B"), QString::fromUtf8("中😀="));
    EXPECT_EQ(valueOf(t, 0, "C"), QString());
    EXPECT_EQ(valueOf(t, 1, "B"), QStringLiteral("  two  "));
    EXPECT_EQ(valueOf(t, 1, "A"), QStringLiteral("<raw> & tail"));  // the first A of the row
    EXPECT_EQ(valueOf(t, 2, "D"), QStringLiteral("xyz"));
}

TEST(XmlRecords, Utf8DocumentsAndLineEnds)
{
    QByteArray xml = "\xEF\xBB\xBF<G><R><V>Stra\xC3\x9F" "e\r\nnext\rlast &#13;</V></R></G>";
    RecordTable t;
    ASSERT_TRUE(reads(xml, t));
    EXPECT_EQ(valueOf(t, 0, "V"), QString::fromUtf8("Straße\nnext\nlast \r"));
}

TEST(XmlRecords, ADocumentWithoutRecordsOrRootElement)
{
    RecordTable t;
    ASSERT_TRUE(reads("<?xml version=\"1.0\"?>\r\n<Layers></Layers>\r\n", t));
    EXPECT_EQ(t.fieldCount(), 0);
    EXPECT_EQ(t.rowCount(), 0);
    QString error;
    EXPECT_FALSE(reads("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n", t, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no root element"))) << error.toStdString();
}

TEST(XmlRecords, MalformedDocumentsAreRefused)
{
    const char* bad[] = {
        "<G><R><A>x</B></R></G>",
        "<G><R><A>x</A></R>",
        "<G><R><A>x</A></R></G><G/>",
        "<G><R><A>&unknown;</A></R></G>",
        "<G><R><A>&#0;</A></R></G>",
        "<G><R><A>&#x110000;</A></R></G>",
        "<G><R><A>a & b</A></R></G>",
        "<G><R><A>a\x01</A></R></G>",
        "<G><R><A>]]></A></R></G>",
        "<G><R a=1/></G>",
        "<G><R a='1' a='2'/></G>",
        "<?xml version='1.0' encoding='EBCDIC'?><G/>",
        "<G><R><A>\xC3</A></R></G>",
        "text<G/>",
        "<G><!-- a -- b --></G>",
        "<G><R><1A>x</1A></R></G>",
        "",
    };
    for (const char* doc : bad) {
        RecordTable t;
        QString error;
        EXPECT_FALSE(reads(QByteArray(doc), t, &error)) << doc;
        EXPECT_FALSE(error.isEmpty()) << doc;
        EXPECT_EQ(t.rowCount(), 0) << doc;
    }
}

// Reading in pieces gives what reading the whole gives, wherever the
// document is cut: inside names, references, line ends, CDATA, multi-byte
// characters, the declaration.
TEST(XmlRecords, PiecesCutAnywhereReadAsTheWhole)
{
    const QByteArray docs[] = {
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE G>\r\n<?pi x?>\r\n<G>\r\n"
        "<R><Name>\xC3\xA9t\xC3\xA9 &amp;&#x1F600;</Name><X a=\"&lt;\">1\r\n2</X></R>\r\n"
        "<R><Name><![CDATA[a]]b]]></Name><!-- c --><X/></R>\r\n</G>\r\n<!-- end -->\r\n",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n<Attributes>\r\n<Attribute>\r\n<Block>*Model_Space</Block>\r\n"
        "<AttributeValue>caf\xE9 &quot;x&quot; &#20013;</AttributeValue>\r\n</Attribute>\r\n</Attributes>\r\n",
    };
    for (const QByteArray& doc : docs) {
        RecordTable whole;
        ASSERT_TRUE(reads(doc, whole));
        for (qsizetype cut = 0; cut <= doc.size(); ++cut) {
            for (qsizetype second = cut; second <= doc.size(); second += 7) {
                RecordTable t;
                data::XmlRecordReader reader(t);
                ASSERT_TRUE(reader.feed(doc.left(cut), false));
                ASSERT_TRUE(reader.feed(doc.mid(cut, second - cut), false));
                ASSERT_TRUE(reader.feed(doc.mid(second), true)) << cut << " " << second << reader.error().toStdString();
                ASSERT_EQ(t.fieldNames(), whole.fieldNames());
                ASSERT_EQ(t.rowCount(), whole.rowCount());
                for (qsizetype r = 0; r < t.rowCount(); ++r)
                    for (int f = 0; f < t.fieldCount(); ++f)
                        ASSERT_EQ(t.value(r, f), whole.value(r, f)) << cut << " " << second;
            }
        }
    }
    // A document cut short is refused once its last piece is in.
    RecordTable t;
    data::XmlRecordReader reader(t);
    EXPECT_TRUE(reader.feed("<G><R><A>x", false));
    EXPECT_FALSE(reader.feed("</A>", true));
    EXPECT_EQ(t.rowCount(), 0);
}

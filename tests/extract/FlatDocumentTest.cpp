// From the content document to the flat document, byte for byte.

#include "extract/FlatDocument.h"
#include "extract/clsConcat.h"

#include "ddvue/DDVueEngine.h"

#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace extract;

namespace {

// Lines joined with CR LF, each followed by one.
std::string lines(std::initializer_list<const char*> list)
{
    std::string out;
    for (const char* line : list) {
        out += line;
        out += "\r\n";
    }
    return out;
}

const std::string declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n\r\n";

std::string flat(const std::string& content, int code) { return flatDocument(normalizeExportXml(content), code); }

const std::string attributeContent = lines({
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
    "<DrawingContent>",
    "<Layers>",
    "<Layer>",
    "<Name>0</Name>",
    "</Layer>",
    "</Layers>",
    "<Attributes>",
    "<Block name=\"*Model_Space\">",
    "<LayoutName name=\"Model\">",
    "<Insert>",
    "<Name>TB</Name>",
    "<Handle>2A</Handle>",
    "<ElementId>42</ElementId>",
    "<LayerName>0</LayerName>",
    "<InsertionPoint>",
    "<X>1</X>",
    "<Y>2</Y>",
    "<Z>0</Z>",
    "</InsertionPoint>",
    "<NumberAttributes>1</NumberAttributes>",
    "<NumberConstantAttributes>0</NumberConstantAttributes>",
    "<Rows>3</Rows>",
    "<Columns>1</Columns>",
    "",
    "<custom>",
    "<Junk>x</Junk>",
    "</custom>",
    "<Attribute>",
    "<Handle>2B</Handle>",
    "<ElementId>43</ElementId>",
    "<AttributeTag>PANHANDLE</AttributeTag>",
    "<AttributeValue>handle &quot;q&quot; &APOS;s&apos; &amp; &lt;elementid&gt;</AttributeValue>",
    "</Attribute>",
    "</Insert>",
    "</LayoutName>",
    "</Block>",
    "<Block name=\"B1\">",
    "<LayoutName name=\"\">",
    "<Insert>",
    "<Name>TB2</Name>",
    "<Handle>2C</Handle>",
    "<ElementId>44</ElementId>",
    "<LayerName>L</LayerName>",
    "<InsertionPoint>",
    "<X>5</X>",
    "<Y>6</Y>",
    "<Z>7</Z>",
    "</InsertionPoint>",
    "<NumberAttributes>1</NumberAttributes>",
    "<NumberConstantAttributes>0</NumberConstantAttributes>",
    "<Columns>2</Columns>",
    "<Attribute>",
    "<Handle>2D</Handle>",
    "<ElementId>45</ElementId>",
    "<AttributeTag>T</AttributeTag>",
    "<AttributeValue>v</AttributeValue>",
    "</Attribute>",
    "</Insert>",
    "</LayoutName>",
    "</Block>",
    "</Attributes>",
    "<TextLiterals>",
    "</TextLiterals>",
    "</DrawingContent>",
});

const std::string textContent = lines({
    "<TextLiterals>",
    "<Block name=\"*Paper_Space\">",
    "<LayoutName name=\"Sheet 1\">",
    "<Text>",
    "<Value>  a &amp; b</Value>",
    "<Handle>1</Handle>",
    "<X>0</X>",
    "</Text>",
    "<MText>",
    "<Value>m\\Pn</Value>",
    "<Handle>2</Handle>",
    "</MText>",
    "</LayoutName>",
    "</Block>",
    "</TextLiterals>",
});

}  // namespace

TEST(clsConcat, GrowsInStepsAndHoldsWhatAStepCannot)
{
    clsConcat b;
    b.SConcat("abc");  // longer than the text held: grows by its own length
    EXPECT_EQ(b.capacity(), 3u);
    b.SConcat("d");  // the step
    EXPECT_EQ(b.capacity(), 15003u);
    EXPECT_EQ(b.used(), 4u);

    // A text as long as the buffer is full, then one longer than a step but
    // not longer than the text held: a step alone would cut it short.
    clsConcat big;
    big.SConcat(std::string(20000, 'a'));
    EXPECT_EQ(big.capacity(), 20000u);
    big.SConcat(std::string(16000, 'b'));
    EXPECT_EQ(big.capacity(), 36000u);
    std::string text = big.GetString();
    EXPECT_EQ(text, std::string(20000, 'a') + std::string(16000, 'b'));
    EXPECT_EQ(big.used(), 0u);
    EXPECT_EQ(big.GetString(), std::string());

    b.SetString("xyz");  // counts as the text held
    EXPECT_EQ(b.capacity(), 15003u);
    b.SConcat("!");
    EXPECT_EQ(b.GetString(), "xyz!");
    b.SConcat("q");
    b.ReInit();
    EXPECT_EQ(b.used(), 0u);
    EXPECT_EQ(b.capacity(), 0u);
}

TEST(NormalizeExportXml, PutsEveryElementOnALineOfItsOwn)
{
    const std::string content = lines({
        "<Rows />",
        "<Block name=\"B &amp; 'x'\" />",
        "<LayoutName NAME='L1'>",
        "<Block name=\"*Model_Space\">",
        "<Value>a name&#61;b</Value>",
        "",
    });
    EXPECT_EQ(normalizeExportXml(content), lines({
                                              "<Rows></Rows>",
                                              "<Block name=\"B &amp; 'x'\"></Block name=\"B &amp; 'x'\">",
                                              "<LayoutName>",
                                              "<Name>L1</Name>",
                                              "<Block>",
                                              "<Name>*Model_Space</Name>",
                                              "<Value>a name&#61;b</Value>",
                                              "",
                                              "",
                                          }));
    EXPECT_EQ(normalizeExportXml(""), "\r\n");

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("_temp.xml"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content.data(), static_cast<qint64>(content.size()));
    f.close();
    ASSERT_TRUE(NormalizeExportXml(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), normalizeExportXml(content));
}

TEST(WriteFlatXml, AttributeRecordsCarryTheirBlockLayoutAndInsert)
{
    EXPECT_EQ(flat(attributeContent, FlatAttributes),
              declaration + lines({
                                "<Attributes>",
                                "<Attribute>",
                                "<Block>*Model_Space</Block>",
                                "<Layout>Model</Layout>",
                                "<Name>TB</Name>",
                                "<Handle>2A</Handle>",
                                "<ElementId>42</ElementId>",
                                "<LayerName>0</LayerName>",
                                "<X>1</X>",
                                "<Y>2</Y>",
                                "<Z>0</Z>",
                                "<NumberAttributes>1</NumberAttributes>",
                                "<NumberConstantAttributes>0</NumberConstantAttributes>",
                                "<Rows>3</Rows>",
                                "<Columns>1</Columns>",
                                "<AttributeHandle>2B</AttributeHandle>",
                                "<AttributeElementId>43</AttributeElementId>",
                                // The tag's text keeps its "HANDLE"; only element names are renamed.
                                "<AttributeTag>PANHANDLE</AttributeTag>",
                                // Quotes come back as characters; &, < and > stay escaped.
                                "<AttributeValue>handle \"q\" 's' &amp; &lt;elementid&gt;</AttributeValue>",
                                "</Attribute>",
                                "<Attribute>",
                                "<Block>B1</Block>",
                                "<Layout></Layout>",
                                "<Name>TB2</Name>",
                                "<Handle>2C</Handle>",
                                "<ElementId>44</ElementId>",
                                "<LayerName>L</LayerName>",
                                "<X>5</X>",
                                "<Y>6</Y>",
                                "<Z>7</Z>",
                                "<NumberAttributes>1</NumberAttributes>",
                                "<NumberConstantAttributes>0</NumberConstantAttributes>",
                                "<Rows>3</Rows>",  // this insert has none: the one before stays
                                "<Columns>2</Columns>",
                                "<AttributeHandle>2D</AttributeHandle>",
                                "<AttributeElementId>45</AttributeElementId>",
                                "<AttributeTag>T</AttributeTag>",
                                "<AttributeValue>v</AttributeValue>",
                                "</Attribute>",
                                "</Attributes>",
                            }));
    // Layers pass unchanged; a category missing from the content gives the
    // declaration alone; so does an unknown code.
    EXPECT_EQ(flat(attributeContent, FlatLayers),
              declaration + lines({"<Layers>", "<Layer>", "<Name>0</Name>", "</Layer>", "</Layers>"}));
    EXPECT_EQ(flat(attributeContent, FlatExternalReferences), declaration);
    EXPECT_EQ(flat(attributeContent, 42), declaration);
}

TEST(WriteFlatXml, TextsKeepTheirKindAndAnUnfinishedSkipEndsTheDocument)
{
    const char* textHead[] = {"<TextLiterals>", "<Block>*Paper_Space</Block>", "<Layout>Sheet 1</Layout>"};
    EXPECT_EQ(flat(textContent, FlatSingleText),
              declaration + lines({"<TextLiterals>", "<Text>", textHead[1], textHead[2], "<Value>  a &amp; b</Value>",
                                   "<Handle>1</Handle>", "<X>0</X>", "</Text>", "</TextLiterals>"}));
    EXPECT_EQ(flat(textContent, FlatMultiText),
              declaration + lines({"<TextLiterals>", "<MText>", textHead[1], textHead[2], "<Value>m\\Pn</Value>",
                                   "<Handle>2</Handle>", "</MText>", "</TextLiterals>"}));

    // A text passed over whose end line never comes: the document ends there,
    // keeping what came before, and counts as cut short.
    const std::string cut = lines({"<TextLiterals>", "<MText>", "<Value>m</Value>", "</MText>", "<Text>", "<Value>t</Value>"});
    bool truncated = false;
    EXPECT_EQ(flatDocument(normalizeExportXml(cut), FlatMultiText, &truncated),
              declaration + lines({"<TextLiterals>", "<MText>", "", "",  // no block or layout yet
                                   "<Value>m</Value>", "</MText>"}));
    EXPECT_TRUE(truncated);

    QTemporaryDir dir;
    QString source = dir.filePath(QStringLiteral("_temp.xml")), target = dir.filePath(QStringLiteral("_flat.xml"));
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(cut.data(), static_cast<qint64>(cut.size()));
    f.close();
    EXPECT_EQ(WriteFlatXml(source, target, FlatMultiText), -2);
    EXPECT_TRUE(QFile::exists(target));
}

TEST(WriteFlatXml, GroupEdgesAndWorkingFiles)
{
    // A group written as one self-closing line opens and closes it.
    EXPECT_EQ(flat(lines({"<Layers />", "<Layer>", "</Layer>"}), FlatLayers), declaration + lines({"<Layers></Layers>"}));
    // A one-line section of the component's own is left out without taking the lines after it.
    EXPECT_EQ(flat(lines({"<Layers>", "<custom>x</custom>", "<Layer>", "</Layer>", "</Layers>"}), FlatLayers),
              declaration + lines({"<Layers>", "<Layer>", "</Layer>", "</Layers>"}));

    QTemporaryDir dir;
    QString source = dir.filePath(QStringLiteral("_temp.xml")), target = dir.filePath(QStringLiteral("_flat.xml"));
    EXPECT_EQ(WriteFlatXml(source, target, FlatAttributes), -1);
    EXPECT_FALSE(QFile::exists(target));

    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(attributeContent.data(), static_cast<qint64>(attributeContent.size()));
    f.close();
    EXPECT_EQ(WriteFlatXml(source, target, FlatAttributes), 1);
    QFile out(target), in(source);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly) && in.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll().toStdString(), flat(attributeContent, FlatAttributes));
    EXPECT_EQ(in.readAll().toStdString(), normalizeExportXml(attributeContent));  // normalised in place
}

// The one-pass and the piecewise forms give the text of normalising and
// flattening in two steps, on real drawings, for every category.
TEST(FlatDocument, OnePassAndPiecesGiveTheSameText)
{
    QStringList drawings = QDir(testpaths::corpus(QStringLiteral("more"))).entryList({"*.dxf", "*.DXF"}, QDir::Files);
    drawings.replaceInStrings(QRegularExpression("^"), QStringLiteral("more/"));
    drawings << QStringLiteral("sample_2018_ascii.dxf") << QStringLiteral("sample_R12_ascii.dxf");
    int checked = 0;
    for (const QString& name : drawings) {
        ddvue::DDVueEngine engine;
        QString path = testpaths::corpus(name);
        if (!engine.OpenDrawing(path)) continue;
        const std::string content = engine.contentDocument(true, true, true, true);
        for (int code : {FlatLayers, FlatAttributes, FlatExternalReferences, FlatSingleText, FlatMultiText}) {
            const std::string expected = flat(content, code);
            EXPECT_EQ(flatDocumentOfContent(content, code), expected) << name.toStdString() << " " << code;
            std::string pieces;
            bool lastSeen = false;
            streamFlatDocument(content, code, [&](std::string_view piece, bool last) {
                EXPECT_FALSE(lastSeen);
                pieces += piece;
                lastSeen = last;
            });
            EXPECT_TRUE(lastSeen);
            EXPECT_EQ(pieces, expected) << name.toStdString() << " " << code;
        }
        ++checked;
    }
    EXPECT_GE(checked, 5);
}

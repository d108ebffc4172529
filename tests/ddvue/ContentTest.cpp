// The content document: what it lists, how it escapes, where each object is
// said to stand.

#include "DxfText.h"
#include "ddvue/ContentDocument.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/TextCodec.h"

#include <gtest/gtest.h>

using namespace ddvue;

namespace {

std::string escaped(std::string_view utf8)
{
    std::string out;
    appendEscaped(out, utf8);
    return out;
}

std::string content(const dxftext::Groups& groups, ContentSelection what)
{
    dxf::Document doc;
    EXPECT_TRUE(doc.load(dxftext::write(groups))) << doc.error();
    return writeContentDocument(doc, "plan.dxf", what);
}

}  // namespace

TEST(Content, EscapingLeavesNothingThatLooksLikeMarkupAndLosesNoCharacter)
{
    EXPECT_EQ(escaped("a&b<c>d\"e'f=g"), "a&amp;b&lt;c&gt;d&quot;e&apos;f&#61;g");
    EXPECT_EQ(escaped("  leading"), "  leading");
    EXPECT_EQ(escaped("caf\xC3\xA9"), "caf\xE9");                  // é as its ISO-8859-1 byte
    EXPECT_EQ(escaped("\xE4\xB8\xAD\xF0\x9F\x98\x80"), "&#20013;&#128512;");  // above U+00FF: references
    EXPECT_EQ(escaped("tab\there\r\n"), "tab&#9;here&#13;&#10;");
    EXPECT_EQ(escaped(std::string("bell\x07", 5)), "bell&#9223;");  // U+2407, the control picture
    EXPECT_EQ(escaped(" name=\"x\" />"), " name&#61;&quot;x&quot; /&gt;");
}

TEST(Content, NumbersAreShortestAndReadBack)
{
    EXPECT_EQ(formatNumber(0.1), "0.1");
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(1e21), "1e+21");
    EXPECT_EQ(formatNumber(1520.75), "1520.75");
    double third = 1.0 / 3.0;
    EXPECT_EQ(std::stod(formatNumber(third)), third);
}

TEST(Content, TheDocumentListsEachCategoryItsFlagsAskFor)
{
    auto drawing = dxftext::titleBlockDrawing();
    std::string all = content(drawing, {true, true, true, true});
    const char* expected =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<DrawingContent>\r\n";
    EXPECT_EQ(all.rfind(expected, 0), 0u);
    const char* attributes =
        "<Attributes>\r\n<Block name=\"*Model_Space\">\r\n<LayoutName name=\"Model\">\r\n<Insert>\r\n"
        "<Name>TB</Name>\r\n<Handle>31</Handle>\r\n<ElementId>49</ElementId>\r\n<LayerName>0</LayerName>\r\n"
        "<InsertionPoint>\r\n<X>10</X>\r\n<Y>20</Y>\r\n<Z>0</Z>\r\n</InsertionPoint>\r\n"
        "<NumberAttributes>2</NumberAttributes>\r\n<NumberConstantAttributes>1</NumberConstantAttributes>\r\n"
        "<Rows>1</Rows>\r\n<Columns>1</Columns>\r\n"
        "<Attribute>\r\n<Handle>32</Handle>\r\n<ElementId>50</ElementId>\r\n<AttributeTag>SHEET</AttributeTag>\r\n"
        "<AttributeValue>A-101</AttributeValue>\r\n</Attribute>\r\n"
        "<Attribute>\r\n<Handle>33</Handle>\r\n<ElementId>51</ElementId>\r\n<AttributeTag>REV</AttributeTag>\r\n"
        "<AttributeValue>Rev B</AttributeValue>\r\n</Attribute>\r\n"
        "</Insert>\r\n</LayoutName>\r\n</Block>\r\n</Attributes>\r\n";
    EXPECT_NE(all.find(attributes), std::string::npos) << all;
    const char* texts =
        "<TextLiterals>\r\n<Block name=\"*Model_Space\">\r\n<LayoutName name=\"Model\">\r\n"
        "<Text>\r\n<Value>Hello</Value>\r\n<Handle>30</Handle>\r\n<LayerName>Notes</LayerName>\r\n"
        "<X>1.5</X>\r\n<Y>2</Y>\r\n<Z>0</Z>\r\n</Text>\r\n"
        "<MText>\r\n<Value>First\\PSecond</Value>\r\n<Handle>35</Handle>\r\n<LayerName>Notes</LayerName>\r\n"
        "<X>0</X>\r\n<Y>5</Y>\r\n<Z>0</Z>\r\n</MText>\r\n"
        "</LayoutName>\r\n</Block>\r\n</TextLiterals>\r\n";
    EXPECT_NE(all.find(texts), std::string::npos) << all;
    const char* layers =
        "<Layers>\r\n<Layer>\r\n<Name>0</Name>\r\n<Display>On</Display>\r\n<Color>7</Color>\r\n</Layer>\r\n"
        "<Layer>\r\n<Name>Notes</Name>\r\n<Display>Off</Display>\r\n<Color>3</Color>\r\n</Layer>\r\n</Layers>\r\n";
    EXPECT_NE(all.find(layers), std::string::npos) << all;
    EXPECT_NE(all.find("<ExternalReferences>\r\n</ExternalReferences>\r\n</DrawingContent>\r\n"), std::string::npos);

    std::string onlyLayers = content(drawing, {false, false, true, false});
    EXPECT_NE(onlyLayers.find("<Layers>"), std::string::npos);
    EXPECT_EQ(onlyLayers.find("<Attributes>"), std::string::npos);
    EXPECT_EQ(onlyLayers.find("<TextLiterals>"), std::string::npos);
    EXPECT_EQ(onlyLayers.find("<ExternalReferences>"), std::string::npos);
}

TEST(Content, ObjectsAreListedUnderTheSpaceOrBlockThatHoldsThem)
{
    auto groups = dxftext::join({
        dxftext::header("AC1015"),
        dxftext::section("TABLES",
                         {{0, "TABLE"}, {2, "LAYER"}, {0, "LAYER"}, {5, "10"}, {2, "0"}, {70, "0"}, {62, "7"},
                          {0, "ENDTAB"},
                          {0, "TABLE"}, {2, "BLOCK_RECORD"},
                          {0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"}, {340, "22"},
                          {0, "BLOCK_RECORD"}, {5, "1B"}, {2, "*Paper_Space"}, {340, "1E"},
                          {0, "BLOCK_RECORD"}, {5, "50"}, {2, "DETAIL"},
                          {0, "ENDTAB"}}),
        dxftext::section("BLOCKS",
                         {{0, "BLOCK"}, {5, "51"}, {330, "50"}, {8, "0"}, {2, "DETAIL"}, {70, "0"},
                          {0, "TEXT"}, {5, "52"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "in a block"},
                          {0, "ENDBLK"}, {5, "53"}, {8, "0"}}),
        dxftext::section("ENTITIES",
                         {{0, "TEXT"}, {5, "60"}, {67, "1"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"},
                          {1, "on paper"},
                          {0, "TEXT"}, {5, "61"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "in the model"}}),
        dxftext::section("OBJECTS",
                         {{0, "LAYOUT"}, {5, "1E"}, {330, "1A"}, {100, "AcDbPlotSettings"}, {1, ""},
                          {100, "AcDbLayout"}, {1, "Sheet A1"}, {70, "1"}, {330, "1B"},
                          {0, "LAYOUT"}, {5, "22"}, {330, "1A"}, {100, "AcDbPlotSettings"}, {1, ""},
                          {100, "AcDbLayout"}, {1, "Model"}, {70, "1"}, {330, "1F"}}),
        {{0, "EOF"}},
    });
    std::string text = content(groups, {false, false, false, true});
    std::size_t model = text.find("<Block name=\"*Model_Space\">\r\n<LayoutName name=\"Model\">\r\n<Text>\r\n"
                                  "<Value>in the model</Value>");
    std::size_t paper = text.find("<Block name=\"*Paper_Space\">\r\n<LayoutName name=\"Sheet A1\">\r\n<Text>\r\n"
                                  "<Value>on paper</Value>");
    std::size_t block = text.find("<Block name=\"DETAIL\">\r\n<LayoutName name=\"\">\r\n<Text>\r\n"
                                  "<Value>in a block</Value>");
    EXPECT_NE(model, std::string::npos) << text;
    EXPECT_NE(paper, std::string::npos) << text;
    EXPECT_NE(block, std::string::npos) << text;
    EXPECT_LT(model, paper);
    EXPECT_LT(paper, block);
}

TEST(Content, InPiecesItIsTheSameDocumentAndTheSinkCanStopIt)
{
    // Enough texts for several pieces of a megabyte.
    dxftext::Groups entities;
    for (int i = 0; i < 30000; ++i) {
        std::string h = std::to_string(0x100 + i);
        entities.insert(entities.end(), {{0, "TEXT"}, {5, h}, {8, "0"}, {10, "1"}, {20, "2"}, {30, "0"}, {40, "2.5"},
                                         {1, "Note <" + std::to_string(i) + "> \xC3\xA9 & \xE4\xB8\xAD"}});
    }
    dxf::Document doc;
    ASSERT_TRUE(doc.load(dxftext::write(dxftext::join({dxftext::header(), dxftext::section("ENTITIES", entities),
                                                       {{0, "EOF"}}}))));
    ContentSelection all{true, true, true, true};
    std::string whole = writeContentDocument(doc, "plan.dxf", all);
    ASSERT_GT(whole.size(), 3u << 20);
    std::string joined;
    int pieces = 0;
    EXPECT_TRUE(writeContentDocument(doc, "plan.dxf", all, {}, [&](std::string_view piece) {
        joined += piece;
        ++pieces;
        return true;
    }));
    EXPECT_EQ(joined, whole);
    EXPECT_GT(pieces, 2);
    int asked = 0;
    EXPECT_FALSE(writeContentDocument(doc, "plan.dxf", all, {}, [&](std::string_view) { return ++asked < 2; }));
    EXPECT_EQ(asked, 2) << "nothing more is handed over once the sink said stop";
}

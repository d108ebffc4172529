// The DXF written from a reader's report: handles, texts in both encodings,
// layers, and what cannot be brought across.

#include "ddvue/dwg/DwgDxfWriter.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

using namespace ddvue;

QJsonObject report(const char* version, const QString& mtext, const QString& attribute)
{
    QJsonObject d = QJsonDocument::fromJson(R"({
      "codePage": "ANSI_1252", "maxHandle": "1F0",
      "controls": {"LAYER": "2"},
      "layers": [
        {"handle": "10", "name": "0", "standardFlag": 0, "colorIndex": 7, "lineType": "Continuous"},
        {"handle": "20", "name": "Walls", "standardFlag": 5, "colorIndex": 0, "trueColor": 1151726, "off": true},
        {"handle": "21", "name": "Notes", "standardFlag": 0, "colorIndex": 3, "lineType": "NoSuchType"}
      ],
      "blocks": [
        {"handle": "1F", "name": "*Model_Space", "flags": 0, "begin": "20A", "end": "20B", "entities": [
          {"type": "MTEXT", "handle": "100", "layer": "Notes", "colorIndex": 256,
           "insertionPoint": {"x": 1, "y": 2, "z": 0}, "textHeight": 2.5, "text": "", "attachmentPoint": 1},
          {"type": "INSERT", "handle": "101", "layer": "Walls", "name": "TITLE", "colorIndex": 256,
           "insertionPoint": {"x": 10, "y": 20, "z": 0}, "rotation": 1.5707963267948966,
           "attribs": [{"type": "ATTRIB", "handle": "102", "layer": "0", "tag": "SHEET", "text": "",
                        "startPoint": {"x": 10, "y": 20}, "textHeight": 1}]},
          {"type": "LINE", "layer": "Gone", "startPoint": {"x": 0, "y": 0, "z": 0}, "endPoint": {"x": 1, "y": 1, "z": 0}},
          {"type": "INSERT", "handle": "103", "name": "NOT_DEFINED", "insertionPoint": {"x": 0, "y": 0, "z": 0}},
          {"type": "SURFACE", "handle": "104"}
        ]},
        {"handle": "58", "name": "*Paper_Space", "flags": 0, "entities": []},
        {"handle": "30", "name": "TITLE", "flags": 2, "basePoint": {"x": 0, "y": 0, "z": 0}, "entities": [
          {"type": "ATTDEF", "handle": "31", "layer": "0", "tag": "SHEET", "prompt": "Sheet?", "flags": 2,
           "text": "A-1", "startPoint": {"x": 0, "y": 0}, "textHeight": 1}
        ]}
      ],
      "skipped": {"MESH": 2}
    })").object();
    d.insert("version", QString::fromLatin1(version));
    QJsonObject blocks0 = d["blocks"].toArray()[0].toObject();
    QJsonArray entities = blocks0["entities"].toArray();
    QJsonObject m = entities[0].toObject();
    m["text"] = mtext;
    entities[0] = m;
    QJsonObject insert = entities[1].toObject();
    QJsonArray attribs = insert["attribs"].toArray();
    QJsonObject a = attribs[0].toObject();
    a["text"] = attribute;
    attribs[0] = a;
    insert["attribs"] = attribs;
    entities[1] = insert;
    blocks0["entities"] = entities;
    QJsonArray blocks = d["blocks"].toArray();
    blocks[0] = blocks0;
    d["blocks"] = blocks;
    return d;
}

}  // namespace

TEST(DwgDxfWriter, KeepsHandlesAndTextsAndNamesWhatItCannotBring)
{
    // A long multi-line text with characters outside every single-byte code
    // page, a control character and a literal escape; an attribute on two lines.
    QString mtext = QString("Ärger 中文 \\U+00B0 {\\fArial;x} ").repeated(12) + QString("end");
    QString attribute = QStringLiteral("first\nsecond");
    for (const char* version : {"AC1014", "AC1018", "AC1032"}) {
        SCOPED_TRACE(version);
        dwg::DxfFromDwg out = dwg::writeDxfFromDwg(report(version, mtext, attribute));
        dxf::Document doc;
        ASSERT_TRUE(doc.load(out.dxf)) << doc.error();
        EXPECT_EQ(doc.acadVersion(), dwg::dxfVersionFor(version));
        EXPECT_EQ(out.version, version);
        // The two the reader reported, the type the writer does not know, and
        // the insert of a block the drawing does not define.
        EXPECT_EQ(out.skippedEntities, 2 + 1 + 1);

        auto m = doc.findHandle("100");
        ASSERT_TRUE(m);
        std::string stored = dxf::entityText(doc, *m);
        // Before 2007 the code page holds no Chinese: it travels as \U+ and
        // the engine reads the same characters back. A written \U+00B0 is
        // the character itself in every version.
        QString expected = mtext;
        expected.replace("\\U+00B0", QString::fromUtf8("°"));
        EXPECT_EQ(QString::fromStdString(stored), expected);
        auto a = doc.findHandle("102");
        ASSERT_TRUE(a);
        EXPECT_EQ(dxf::entityText(doc, *a), "first^Jsecond");
        EXPECT_EQ(doc.record(*a).parent, static_cast<std::int32_t>(*doc.findHandle("101")));

        // The line had no handle: it gets one above all of the drawing's,
        // and the seed stands above that.
        std::uint64_t highest = 0;
        for (std::uint32_t i = 0; i < doc.recordCount(); ++i) highest = std::max(highest, doc.record(i).handle);
        EXPECT_GT(highest, 0x20Bu);
        auto seed = doc.headerValue("$HANDSEED");
        ASSERT_TRUE(seed);
        auto seedValue = dxf::Document::parseHandle(doc.headerView().str(*seed - doc.record(0).first));
        ASSERT_TRUE(seedValue);
        EXPECT_GT(*seedValue, highest);

        auto walls = doc.findLayer("Walls");
        ASSERT_TRUE(walls);
        dxf::LayerState s = dxf::layerState(doc, *walls);
        EXPECT_FALSE(s.on);
        EXPECT_TRUE(s.frozen);
        EXPECT_TRUE(s.locked);
        EXPECT_EQ(s.color, 150);
        EXPECT_EQ(s.trueColor, 1151726u);
        EXPECT_TRUE(doc.findHandle("31"));
        EXPECT_FALSE(doc.findHandle("103"));
    }
}

TEST(DwgDxfWriter, VersionsAndColours)
{
    EXPECT_EQ(dwg::dxfVersionFor("AC1012"), "AC1015");
    EXPECT_EQ(dwg::dxfVersionFor("AC1014"), "AC1015");
    EXPECT_EQ(dwg::dxfVersionFor("AC1015"), "AC1015");
    EXPECT_EQ(dwg::dxfVersionFor("AC1027"), "AC1027");
    EXPECT_EQ(dwg::dxfVersionFor("AC1032"), "AC1032");
    EXPECT_EQ(dwg::dxfVersionFor(""), "AC1015");
    // The palette's own colours map to their numbers; true colours to the
    // number CAD programs write beside them.
    EXPECT_EQ(dwg::nearestColorIndex(0xFF0000), 1);
    EXPECT_EQ(dwg::nearestColorIndex(0xFFFFFF), 7);
    EXPECT_EQ(dwg::nearestColorIndex(0x808080), 8);
    EXPECT_EQ(dwg::nearestColorIndex(0x1192EE), 150);
    EXPECT_EQ(dwg::nearestColorIndex(0xFCC187), 31);
}

TEST(DwgDxfWriter, TrueColoursKeepTheColourNumberTheDrawingStores)
{
    // A CAD program stores the number it chose beside a true colour; that
    // number is written, and the nearest one only where none is stored.
    QJsonObject d = QJsonDocument::fromJson(R"({
      "version": "AC1032", "codePage": "ANSI_1252", "maxHandle": "200",
      "layers": [
        {"handle": "10", "name": "0", "standardFlag": 0, "colorIndex": 7},
        {"handle": "20", "name": "Stored", "standardFlag": 0, "colorIndex": 5, "trueColor": 1151726},
        {"handle": "21", "name": "Nearest", "standardFlag": 0, "trueColor": 1151726}
      ],
      "blocks": [{"handle": "1F", "name": "*Model_Space", "flags": 0, "entities": [
        {"type": "LINE", "handle": "100", "layer": "0", "colorIndex": 230, "color": 16059027,
         "startPoint": {"x": 0, "y": 0, "z": 0}, "endPoint": {"x": 1, "y": 1, "z": 0}},
        {"type": "LINE", "handle": "101", "layer": "0", "color": 16059027,
         "startPoint": {"x": 0, "y": 0, "z": 0}, "endPoint": {"x": 1, "y": 1, "z": 0}},
        {"type": "LINE", "handle": "102", "layer": "0", "colorIndex": 3,
         "startPoint": {"x": 0, "y": 0, "z": 0}, "endPoint": {"x": 1, "y": 1, "z": 0}}
      ]}]
    })").object();
    dwg::DxfFromDwg out = dwg::writeDxfFromDwg(d);
    dxf::Document doc;
    ASSERT_TRUE(doc.load(out.dxf)) << doc.error();
    EXPECT_EQ(dxf::layerState(doc, *doc.findLayer("Stored")).color, 5);
    EXPECT_EQ(dxf::layerState(doc, *doc.findLayer("Nearest")).color, 150);
    EXPECT_EQ(dxf::layerState(doc, *doc.findLayer("Nearest")).trueColor, 1151726u);
    auto group = [&](const char* handle, int code) {
        dxf::RecordView v = doc.view(*doc.findHandle(handle));
        int i = v.findMain(code);
        return i < 0 ? -1 : static_cast<long long>(v.real(i));
    };
    EXPECT_EQ(group("100", 62), 230);
    EXPECT_EQ(group("100", 420), 16059027);
    EXPECT_EQ(group("101", 62), dwg::nearestColorIndex(16059027));
    EXPECT_EQ(group("102", 62), 3);
    EXPECT_EQ(group("102", 420), -1);
}

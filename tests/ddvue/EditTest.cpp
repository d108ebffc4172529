// Edits change exactly the groups they must and leave every other byte of the
// drawing as it was; saving never leaves a half-written file.

#include "DxfText.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/LayerEdits.h"
#include "ddvue/dxf/Operations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

using namespace ddvue::dxf;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        out.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

// The lines that differ between two texts once their common beginning and end
// are taken away: what was removed and what was added.
struct Region {
    std::vector<std::string> removed, added;
};

Region changed(const std::string& before, const std::string& after)
{
    auto a = lines(before), b = lines(after);
    std::size_t p = 0;
    while (p < a.size() && p < b.size() && a[p] == b[p]) ++p;
    std::size_t s = 0;
    while (s < a.size() - p && s < b.size() - p && a[a.size() - 1 - s] == b[b.size() - 1 - s]) ++s;
    Region r;
    r.removed.assign(a.begin() + static_cast<long>(p), a.end() - static_cast<long>(s));
    r.added.assign(b.begin() + static_cast<long>(p), b.end() - static_cast<long>(s));
    return r;
}

std::vector<std::string> crlf(std::initializer_list<const char*> items)
{
    std::vector<std::string> out;
    for (const char* i : items) out.push_back(std::string(i) + "\r");
    return out;
}

struct Loaded {
    Document doc;
    std::string before;
    explicit Loaded(const dxftext::Groups& groups = dxftext::titleBlockDrawing())
        : before(dxftext::write(groups))
    {
        EXPECT_TRUE(doc.load(before)) << doc.error();
    }
    std::uint32_t rec(const char* handle) { return *doc.findHandle(handle); }
    Region diff() { return changed(before, doc.serialize()); }
};

}  // namespace

TEST(Edit, ValuesChangeOnlyTheirOwnGroup)
{
    {
        Loaded d;
        ASSERT_TRUE(setAttributeValue(d.doc, d.rec("32"), "A-102 & <more> \"x\"=1"));
        Region r = d.diff();
        EXPECT_EQ(r.removed, crlf({"A-101"}));
        EXPECT_EQ(r.added, crlf({"A-102 & <more> \"x\"=1"}));
    }
    {
        Loaded d;
        ASSERT_TRUE(setTextValue(d.doc, d.rec("30"), "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD"));  // Grüße 中
        Region r = d.diff();
        // A 2000 drawing stores ü and ß in its code page and 中 as an escape.
        EXPECT_EQ(r.added, crlf({"Gr\xFC\xDF" "e \\U+4E2D"}));
        Document again;
        ASSERT_TRUE(again.load(d.doc.serialize()));
        EXPECT_EQ(entityText(again, *again.findHandle("30")), "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD");
    }
    {
        Loaded d(dxftext::titleBlockDrawing("AC1032"));
        ASSERT_TRUE(setTextValue(d.doc, d.rec("30"), "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD"));
        EXPECT_EQ(d.diff().added, crlf({"Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD"}));  // UTF-8 from 2007
    }
    {
        Loaded d;
        EXPECT_FALSE(setAttributeValue(d.doc, d.rec("30"), "a TEXT is not an attribute"));
        EXPECT_FALSE(setTextValue(d.doc, d.rec("32"), "an ATTRIB is not a text"));
        EXPECT_EQ(d.doc.serialize(), d.before);
    }
}

TEST(Edit, LineBreaksNeverSplitALineOfTheFile)
{
    Loaded d;
    ASSERT_TRUE(setTextValue(d.doc, d.rec("30"), "one\ntwo"));
    ASSERT_TRUE(setTextValue(d.doc, d.rec("35"), "one\r\ntwo\nthree"));
    Document again;
    ASSERT_TRUE(again.load(d.doc.serialize())) << again.error();
    EXPECT_EQ(entityText(again, again.findHandle("30").value()), "one^Jtwo");
    EXPECT_EQ(entityText(again, again.findHandle("35").value()), "one\\Ptwo\\Pthree");
}

TEST(Edit, LongMultilineTextIsWrittenInChunksOf250Bytes)
{
    Loaded d;
    // 248 letters, then 中 (written as the 7-byte escape \U+4E2D, which must
    // not be cut), then 300 letters with a € (one byte in Windows-1252) among them.
    std::string value = std::string(248, 'a') + "\xE4\xB8\xAD" + std::string(150, 'b') + "\xE2\x82\xAC" +
                        std::string(149, 'b');
    ASSERT_TRUE(setTextValue(d.doc, d.rec("35"), value));
    RecordView v = d.doc.view(d.rec("35"));
    std::vector<std::pair<int, std::size_t>> chunks;
    for (std::uint32_t i = 0; i < v.size(); ++i)
        if (v.code(i) == 1 || v.code(i) == 3) chunks.push_back({v.code(i), v.str(i).size()});
    using C = std::pair<int, std::size_t>;
    EXPECT_EQ(chunks, (std::vector<C>{C{3, 248}, C{3, 250}, C{1, 57}}));
    EXPECT_EQ(entityText(d.doc, d.rec("35")), value);
    int second = v.find(3, static_cast<std::uint32_t>(v.find(3)) + 1);
    EXPECT_NE(v.str(static_cast<std::uint32_t>(second)).find('\x80'), std::string_view::npos) << "the euro sign as its code page byte";
    // The style group stays after the text.
    EXPECT_EQ(v.code(v.size() - 1), 7);
}

TEST(Edit, ColorsAndLayerStates)
{
    {
        Loaded d;
        ASSERT_TRUE(setEntityColor(d.doc, d.rec("30"), 1));
        Region r = d.diff();
        EXPECT_TRUE(r.removed.empty());
        EXPECT_EQ(r.added, crlf({" 62", "1"})) << "the color goes after the layer, in the file's style";
        ASSERT_TRUE(setEntityColor(d.doc, d.rec("30"), 256));
        EXPECT_EQ(d.diff().added, crlf({" 62", "256"}));
        EXPECT_FALSE(setEntityColor(d.doc, d.rec("30"), 257));
    }
    {
        // A file that right-aligns its integers gets the new one aligned too.
        auto groups = dxftext::titleBlockDrawing();
        groups.insert(groups.begin() + 2, {{9, "$LUNITS"}, {70, "     2"}});
        Loaded d(groups);
        ASSERT_TRUE(setEntityColor(d.doc, d.rec("30"), 1));
        EXPECT_EQ(d.diff().added, crlf({" 62", "     1"}));
    }
    {
        Loaded d;
        auto notes = *d.doc.findLayer("NOTES");
        EXPECT_FALSE(layerState(d.doc, notes).on);
        ASSERT_TRUE(setLayerColor(d.doc, notes, 5));
        EXPECT_EQ(d.diff().added, crlf({"-5"})) << "an off layer stays off";
        ASSERT_TRUE(setLayerDisplay(d.doc, notes, true));
        EXPECT_EQ(d.diff().added, crlf({"5"}));
        EXPECT_EQ(layerState(d.doc, notes).color, 5);
        EXPECT_TRUE(layerState(d.doc, notes).on);
        EXPECT_FALSE(setLayerColor(d.doc, notes, 0));
        EXPECT_FALSE(setLayerColor(d.doc, notes, 256));
    }
    {
        // True colors would hide the new color number: they go.
        auto groups = dxftext::titleBlockDrawing();
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (groups[i] == std::pair<int, std::string>{2, "0"} && groups[i - 1].second == "10") {
                groups.insert(groups.begin() + static_cast<long>(i) + 3, {420, "16711680"});
                break;
            }
        }
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (groups[i] == std::pair<int, std::string>{1, "Hello"}) {
                groups.insert(groups.begin() + static_cast<long>(i), {{62, "3"}, {420, "255"}, {430, "RAL 9010"}});
                break;
            }
        }
        Loaded d(groups);
        auto zero = *d.doc.findLayer("0");
        ASSERT_TRUE(layerState(d.doc, zero).trueColor);
        ASSERT_TRUE(setLayerColor(d.doc, zero, 2));
        EXPECT_FALSE(layerState(d.doc, zero).trueColor);
        ASSERT_TRUE(setEntityColor(d.doc, d.rec("30"), 4));
        RecordView v = d.doc.view(d.rec("30"));
        EXPECT_EQ(v.integerOf(62), 4);
        EXPECT_LT(v.findMain(420), 0);
        EXPECT_LT(v.findMain(430), 0);
    }
}

TEST(Edit, ColorNumbersThatWouldWrapAreRefused)
{
    ddvue::DDVueEngine engine;
    QString path = testpaths::samples(QStringLiteral("office-floor-plan-2000.dxf"));
    ASSERT_TRUE(engine.OpenDrawing(path));
    QString handle = QStringLiteral("75");
    ASSERT_TRUE(engine.SetEntityColor(handle, 256));
    // 2^32 + 1 and 2^32 + 2 are 1 and 2 once cut to 32 bits.
    EXPECT_FALSE(engine.SetEntityColor(handle, 4294967297L));
    EXPECT_FALSE(engine.SetEntityColor(handle, -4294967295L));
    EXPECT_FALSE(engine.SetLayerColor(QStringLiteral("A-WALL"), 4294967298L));
    EXPECT_FALSE(engine.lastError().isEmpty());
    auto layer = engine.document()->findLayer("A-WALL");
    EXPECT_EQ(layerState(*engine.document(), *layer).color, 7);
    EXPECT_EQ(engine.document()->view(*engine.document()->findHandle("75")).integerOf(62), 256);
}

TEST(Edit, DeletingKeepsInsertsValid)
{
    {
        // One of two attributes: the other and the SEQEND stay.
        Loaded d;
        std::uint32_t attrib = d.rec("32");
        ASSERT_TRUE(deleteEntity(d.doc, attrib));
        EXPECT_FALSE(deleteEntity(d.doc, attrib)) << "deleted twice";
        // Exactly the ATTRIB's groups are gone.
        auto groups = dxftext::titleBlockDrawing();
        auto first = std::find(groups.begin(), groups.end(), std::pair<int, std::string>{5, "32"}) - 1;
        auto last = std::find(groups.begin(), groups.end(), std::pair<int, std::string>{5, "33"}) - 1;
        groups.erase(first, last);
        EXPECT_EQ(d.doc.serialize(), dxftext::write(groups));
        EXPECT_FALSE(d.doc.findHandle("32"));
    }
    {
        // The last attribute: the INSERT no longer announces any, its SEQEND goes.
        Loaded d;
        ASSERT_TRUE(deleteEntity(d.doc, d.rec("32")));
        ASSERT_TRUE(deleteEntity(d.doc, d.rec("33")));
        Document again;
        ASSERT_TRUE(again.load(d.doc.serialize())) << again.error();
        auto insert = *again.findHandle("31");
        EXPECT_LT(again.view(insert).findMain(66), 0);
        EXPECT_FALSE(again.findHandle("34")) << "the SEQEND stayed behind";
        EXPECT_TRUE(again.findHandle("35"));
    }
    {
        // An INSERT goes with its attributes and SEQEND; a TEXT and an MTEXT alone.
        Loaded d;
        ASSERT_TRUE(deleteEntity(d.doc, d.rec("31")));
        ASSERT_TRUE(deleteEntity(d.doc, d.rec("30")));
        ASSERT_TRUE(deleteEntity(d.doc, d.rec("35")));
        Document again;
        ASSERT_TRUE(again.load(d.doc.serialize())) << again.error();
        for (const char* h : {"30", "31", "32", "33", "34", "35"}) EXPECT_FALSE(again.findHandle(h)) << h;
        EXPECT_TRUE(again.spaces()[0].entities.empty());
        EXPECT_TRUE(again.findHandle("21")) << "the block definition stays";
    }
    {
        Loaded d;
        EXPECT_FALSE(deleteEntity(d.doc, d.rec("10"))) << "a layer is not an entity";
        EXPECT_FALSE(deleteEntity(d.doc, d.rec("34"))) << "a SEQEND goes only with its INSERT";
    }
}

TEST(Edit, BinaryDrawingsEditInTheirOwnFormat)
{
    QFile f(testpaths::corpus("sample_2018_binary.dxf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    Document doc;
    ASSERT_TRUE(doc.load(f.readAll().toStdString())) << doc.error();
    std::uint32_t text = 0, attrib = 0;
    for (std::uint32_t i = 0; i < doc.recordCount(); ++i) {
        if (!text && doc.record(i).kind == Kind::Text) text = i;
        if (!attrib && doc.record(i).kind == Kind::Attrib) attrib = i;
    }
    ASSERT_TRUE(text && attrib);
    std::uint64_t textHandle = doc.record(text).handle, attribHandle = doc.record(attrib).handle;
    ASSERT_TRUE(setTextValue(doc, text, "\xCE\xA9 binary"));
    ASSERT_TRUE(setAttributeValue(doc, attrib, "value"));
    ASSERT_TRUE(setEntityColor(doc, text, 3));
    ASSERT_TRUE(setLayerDisplay(doc, 0, false));
    std::string saved = doc.serialize();
    Document again;
    ASSERT_TRUE(again.load(saved)) << again.error();
    EXPECT_EQ(entityText(again, *again.findHandle(textHandle)), "\xCE\xA9 binary");
    EXPECT_EQ(entityText(again, *again.findHandle(attribHandle)), "value");
    EXPECT_EQ(again.view(*again.findHandle(textHandle)).integerOf(62), 3);
    EXPECT_FALSE(layerState(again, 0).on);
    EXPECT_EQ(again.recordCount(), doc.recordCount());
}

TEST(Edit, SavingReportsFailureAndLeavesTheOldFileWhole)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    std::string original = dxftext::write(dxftext::titleBlockDrawing());
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original.data(), static_cast<qint64>(original.size()));
    }
    ddvue::DDVueEngine engine;
    QString p = path;
    ASSERT_TRUE(engine.OpenDrawing(p));
    QString value = QStringLiteral("A-999");
    ASSERT_TRUE(engine.SetAttributeValue(value, QStringLiteral("32")));

    auto unchanged = [&] {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().toStdString(), original);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 1) << "a temporary file was left behind";
    };
    QString target = path;

    // A folder that cannot be written (root writes anyway, so only others try).
    if (geteuid() != 0) {
        QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(engine.SaveDrawing(target));
        QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(engine.lastError().isEmpty());
        unchanged();
    }

    // A disk that fills up halfway: a file size limit makes the write fail
    // part of the way through, as a full disk would.
    {
        struct sigaction ignore {}, previous {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previous);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 200;
        setrlimit(RLIMIT_FSIZE, &small);
        bool saved = engine.SaveDrawing(target);
        setrlimit(RLIMIT_FSIZE, &old);
        sigaction(SIGXFSZ, &previous, nullptr);
        EXPECT_FALSE(saved);
        EXPECT_FALSE(engine.lastError().isEmpty());
        EXPECT_EQ(target, path);
        unchanged();
    }

    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_NE(f.readAll().toStdString().find("A-999"), std::string::npos);
}

// ---- Layers renamed and merged: every place a drawing names a layer.

namespace {

// The current layer, three layers (one frozen in a viewport, named in
// extended data), a layer state naming them by name and by handle, a layer
// filter, and a layer index with an ID buffer for each.
dxftext::Groups layerReferences()
{
    using dxftext::section;
    return dxftext::join({
        {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$CLAYER"}, {8, "Walls"},
         {9, "$HANDSEED"}, {5, "100"}, {0, "ENDSEC"}},
        {{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {5, "2"}, {330, "0"}, {100, "AcDbSymbolTable"},
         {70, "3"},
         {0, "LAYER"}, {5, "10"}, {330, "2"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"}, {2, "0"},
         {70, "0"}, {62, "7"}, {6, "CONTINUOUS"},
         {0, "LAYER"}, {5, "11"}, {102, "{ACAD_XDICTIONARY"}, {360, "60"}, {102, "}"}, {330, "2"},
         {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"}, {2, "Walls"}, {70, "0"}, {62, "1"},
         {6, "CONTINUOUS"},
         {0, "LAYER"}, {5, "12"}, {330, "2"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"},
         {2, "Doors"}, {70, "0"}, {62, "2"}, {6, "CONTINUOUS"},
         {0, "ENDTAB"}, {0, "ENDSEC"}},
        section("ENTITIES",
                {{0, "LINE"}, {5, "30"}, {100, "AcDbEntity"}, {8, "WALLS"}, {100, "AcDbLine"}, {10, "0"}, {20, "0"},
                 {30, "0"}, {11, "1"}, {21, "1"}, {31, "0"},
                 {0, "VIEWPORT"}, {5, "31"}, {100, "AcDbEntity"}, {67, "1"}, {8, "0"}, {100, "AcDbViewport"},
                 {10, "0"}, {20, "0"}, {30, "0"}, {40, "10"}, {41, "10"}, {69, "2"}, {341, "11"}, {341, "12"},
                 {1001, "ACAD"}, {1003, "walls"}}),
        section("OBJECTS",
                {{0, "DICTIONARY"}, {5, "50"}, {330, "2"}, {100, "AcDbDictionary"}, {3, "ACAD_LAYERSTATES"},
                 {360, "51"},
                 {0, "DICTIONARY"}, {5, "51"}, {330, "50"}, {100, "AcDbDictionary"}, {3, "Plot"}, {350, "52"},
                 {0, "XRECORD"}, {5, "52"}, {330, "51"}, {100, "AcDbXrecord"}, {280, "1"}, {91, "0"}, {301, ""},
                 {290, "0"}, {302, "Walls"}, {8, "Walls"}, {90, "0"}, {62, "1"}, {330, "12"}, {90, "0"}, {62, "2"},
                 {0, "LAYER_FILTER"}, {5, "53"}, {330, "50"}, {100, "AcDbFilter"}, {100, "AcDbLayerFilter"},
                 {8, "Walls"}, {8, "Doors"},
                 {0, "LAYER_INDEX"}, {5, "54"}, {330, "50"}, {100, "AcDbIndex"}, {40, "0"}, {100, "AcDbLayerIndex"},
                 {8, "Walls"}, {360, "55"}, {90, "1"}, {8, "Doors"}, {360, "56"}, {90, "0"},
                 {0, "IDBUFFER"}, {5, "55"}, {330, "54"}, {100, "AcDbIdBuffer"}, {330, "30"},
                 {0, "IDBUFFER"}, {5, "56"}, {330, "54"}, {100, "AcDbIdBuffer"},
                 {0, "DICTIONARY"}, {5, "60"}, {330, "11"}, {100, "AcDbDictionary"}, {3, "OVERRIDES"}, {360, "61"},
                 {0, "XRECORD"}, {5, "61"}, {330, "60"}, {100, "AcDbXrecord"}, {280, "1"}}),
        {{0, "EOF"}},
    });
}

// The values of a code in a record, in order.
std::vector<std::string> valuesOf(const Document& doc, const char* handle, int code)
{
    std::vector<std::string> out;
    RecordView v = doc.view(*doc.findHandle(handle));
    for (std::uint32_t i = 0; i < v.size(); ++i)
        if (v.code(i) == code) out.push_back(v.text(i));
    return out;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(Edit, EveryReferenceToALayerFollowsItsNewName)
{
    Loaded l(layerReferences());
    Document& doc = l.doc;
    ASSERT_TRUE(renameLayer(doc, *doc.findLayer("walls"), "Mauern Ä"));
    EXPECT_TRUE(doc.findLayer("MAUERN ä"));  // names compare without letter case, of any alphabet
    EXPECT_FALSE(doc.findLayer("Walls"));
    EXPECT_EQ(valuesOf(doc, "30", 8), Names{"Mauern Ä"});
    EXPECT_EQ(doc.codec().decode(*doc.headerText("$CLAYER")), "Mauern Ä");
    EXPECT_EQ(valuesOf(doc, "31", 1003), Names{"Mauern Ä"});
    EXPECT_EQ(valuesOf(doc, "31", 341), (Names{"11", "12"}));  // by handle: unchanged
    EXPECT_EQ(valuesOf(doc, "52", 302), Names{"Mauern Ä"});
    EXPECT_EQ(valuesOf(doc, "52", 8), Names{"Mauern Ä"});
    EXPECT_EQ(valuesOf(doc, "53", 8), (Names{"Mauern Ä", "Doors"}));
    EXPECT_EQ(valuesOf(doc, "54", 8), (Names{"Mauern Ä", "Doors"}));

    // Refused, each with its reason.
    EXPECT_NE(renameRefusal(doc, *doc.findLayer("0"), "Zero").find("Layer 0"), std::string::npos);
    EXPECT_NE(renameRefusal(doc, *doc.findLayer("doors"), "mauern ä").find("exists already"), std::string::npos);
    EXPECT_NE(renameRefusal(doc, *doc.findLayer("doors"), "a/b").find("cannot contain"), std::string::npos);
    EXPECT_NE(renameRefusal(doc, *doc.findLayer("doors"), "line\nbreak").find("control character"), std::string::npos);
    EXPECT_EQ(renameRefusal(doc, *doc.findLayer("doors"), "DOORS"), "");  // its own name in other letters
}

TEST(Edit, AMergedLayerLeavesNoReferenceBehind)
{
    Loaded l(layerReferences());
    Document& doc = l.doc;
    const auto layers = doc.layers().size();
    ASSERT_EQ(mergeRefusal(doc, *doc.findLayer("0"), *doc.findLayer("Doors")),
              "Layer 0 cannot be merged into another layer: it cannot be removed.");
    ASSERT_TRUE(mergeLayer(doc, *doc.findLayer("Walls"), *doc.findLayer("Doors")));
    EXPECT_EQ(doc.layers().size(), layers - 1);
    EXPECT_FALSE(doc.findLayer("Walls"));
    EXPECT_FALSE(doc.findHandle("11")) << "the layer's entry";
    EXPECT_FALSE(doc.findHandle("60")) << "its extension dictionary";
    EXPECT_FALSE(doc.findHandle("61")) << "and what that owns";
    EXPECT_EQ(valuesOf(doc, "2", 70), Names{"2"});  // the table's count
    EXPECT_EQ(valuesOf(doc, "30", 8), Names{"Doors"});
    EXPECT_EQ(*doc.headerText("$CLAYER"), "Doors");
    EXPECT_EQ(valuesOf(doc, "31", 341), Names{"12"});  // frozen already: one entry left
    EXPECT_EQ(valuesOf(doc, "31", 1003), Names{"Doors"});
    // The layer state keeps only the entry of the layer merged into.
    EXPECT_EQ(valuesOf(doc, "52", 302), Names{"Doors"});
    EXPECT_TRUE(valuesOf(doc, "52", 8).empty());
    EXPECT_EQ(valuesOf(doc, "52", 330), (Names{"51", "12"}));
    EXPECT_EQ(valuesOf(doc, "52", 62), Names{"2"});
    EXPECT_EQ(valuesOf(doc, "53", 8), Names{"Doors"});
    EXPECT_EQ(valuesOf(doc, "54", 8), Names{"Doors"});
    EXPECT_EQ(valuesOf(doc, "54", 360), Names{"56"});
    EXPECT_FALSE(doc.findHandle("55")) << "the ID buffer of the entry that went";

    // All of it one edit: undone, the drawing as it was.
    Loaded again(layerReferences());
    ASSERT_TRUE(again.doc.history().perform(std::make_unique<MergeLayer>(*again.doc.findLayer("Walls"), *again.doc.findLayer("Doors"))));
    ASSERT_TRUE(again.doc.history().undo());
    EXPECT_TRUE(again.doc.serialize() == again.before);
    EXPECT_TRUE(again.doc.findLayer("Walls"));
}

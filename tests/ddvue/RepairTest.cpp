// Drawings that break the format's rules the way some programs' files do:
// they open, their repairs are told, and the repairs stay in memory, so an
// unchanged save gives the file back and an edit changes only its own record.

#include "DxfText.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"

#include <QFile>

#include <map>

#include <gtest/gtest.h>

using namespace ddvue::dxf;

namespace {

std::string oddFile(const char* name)
{
    QFile f(testpaths::sourceDir() + "/tests/data/odd/" + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray data = f.readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

std::string allRepairs(const Document& doc)
{
    std::string out;
    for (const std::string& r : doc.repairs()) out += r + "\n";
    return out;
}

// The texts of the drawing's model space, by their handles.
std::map<std::uint64_t, std::string> modelTexts(const Document& doc)
{
    std::map<std::uint64_t, std::string> out;
    for (std::uint32_t rec : doc.spaces()[0].entities) {
        if (doc.isDeleted(rec)) continue;
        Kind k = doc.record(rec).kind;
        if (k == Kind::Text || k == Kind::MText) out[doc.record(rec).handle] = entityText(doc, rec);
        if (k == Kind::Insert)
            for (std::uint32_t a : doc.children(rec))
                if (doc.record(a).kind == Kind::Attrib) out[doc.record(a).handle] = entityText(doc, a);
    }
    return out;
}

// The bytes of `after` that differ from `before`, as the changed middle.
std::string changedPart(const std::string& before, const std::string& after)
{
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    return after.substr(head, after.size() - head - tail);
}

}  // namespace

TEST(Repair, RuleBreakingDrawingsOpenTellTheirRepairsAndSaveBackUnchanged)
{
    struct Case {
        const char* file;
        const char* repair;  // words the repairs must hold; "" for a drawing that needs none
        std::size_t texts;   // single-line texts and attributes in model space
    } cases[] = {
        {"header-cut-by-endsec-R12.dxf", "ENDSEC stands outside any section", 6},
        {"acadver-before-first-section-2004.dxf", "1 header variable stands outside the HEADER", 6},
        {"no-header-2000.dxf", "", 6},
        {"no-tables-2000.dxf", "", 6},
        {"entities-only-R12.dxf", "", 5},
        {"duplicate-and-empty-handles-2000.dxf", "repeat the handle", 11},
        {"records-outside-sections-2000.dxf", "stands outside any section", 6},
        {"unknown-group-code-2000.dxf", "code that DXF does not define, the first 1234", 6},
        {"eof-without-value-2000.dxf", "has no value", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes = oddFile(c.file);
        ASSERT_FALSE(bytes.empty());
        Document doc;
        ASSERT_TRUE(doc.load(bytes)) << doc.error();
        if (*c.repair) EXPECT_NE(allRepairs(doc).find(c.repair), std::string::npos) << allRepairs(doc);
        else EXPECT_TRUE(doc.repairs().empty()) << allRepairs(doc);
        std::size_t texts = 0;
        for (auto& [h, text] : modelTexts(doc)) texts += text.empty() ? 0 : 1;
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(doc.serialize(), bytes);
    }
}

TEST(Repair, HeaderVariablesOutsideTheHeaderStillCount)
{
    // The code page stands after a stray ENDSEC: the Cyrillic text reads.
    Document cut;
    ASSERT_TRUE(cut.load(oddFile("header-cut-by-endsec-R12.dxf")));
    EXPECT_EQ(cut.codec().name(), "CP1251");
    bool found = false;
    for (auto& [h, text] : modelTexts(cut)) found = found || text == "Разрез 1-1";
    EXPECT_TRUE(found);

    // $ACADVER ahead of the first section.
    Document ahead;
    ASSERT_TRUE(ahead.load(oddFile("acadver-before-first-section-2004.dxf")));
    EXPECT_EQ(ahead.acadVersion(), "AC1018");
    EXPECT_TRUE(ahead.headerValue("$HANDSEED").has_value());
    std::uint32_t seed = *ahead.headerValue("$HANDSEED");
    EXPECT_EQ(ahead.headerView().str(seed), "FFFF");
}

TEST(Repair, EveryObjectGetsAHandleOfItsOwnAndEditsOnlyItself)
{
    std::string bytes = oddFile("duplicate-and-empty-handles-2000.dxf");
    Document doc;
    ASSERT_TRUE(doc.load(bytes));
    EXPECT_NE(allRepairs(doc).find("2 objects have an empty or unreadable handle"), std::string::npos);
    EXPECT_NE(allRepairs(doc).find("2 objects repeat the handle"), std::string::npos);
    auto texts = modelTexts(doc);
    ASSERT_EQ(texts.size(), 11u) << "two objects share one handle";
    // The file's handle stays with the first object that has it.
    EXPECT_EQ(texts.at(*Document::parseHandle("21")), "GROUND FLOOR");

    auto handleOf = [&](const std::string& value) {
        for (auto& [h, text] : texts)
            if (text == value) return h;
        return std::uint64_t{0};
    };
    std::uint64_t same = handleOf("Same handle as GROUND FLOOR");
    std::uint64_t empty = handleOf("Empty handle");
    ASSERT_NE(same, 0u);
    ASSERT_NE(empty, 0u);
    EXPECT_TRUE(doc.record(*doc.findHandle(same)).syntheticHandle);

    ASSERT_TRUE(setTextValue(doc, *doc.findHandle(same), "CHANGED"));
    std::string saved = doc.serialize();
    EXPECT_EQ(changedPart(bytes, saved), "CHANGED") << "only the value changed, no handle was written";
    EXPECT_EQ(entityText(doc, *doc.findHandle("21")), "GROUND FLOOR");

    std::uint32_t emptyRecord = *doc.findHandle(empty);
    ASSERT_TRUE(deleteEntity(doc, emptyRecord));
    texts = modelTexts(doc);
    EXPECT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts.count(empty), 0u);
    EXPECT_EQ(texts.at(same), "CHANGED");
    EXPECT_EQ(texts.at(*Document::parseHandle("21")), "GROUND FLOOR");
}

TEST(Repair, TheEngineAndItsStatusLineTellTheRepairs)
{
    ddvue::DDVueEngine engine;
    QString path = testpaths::sourceDir() + "/tests/data/odd/header-cut-by-endsec-R12.dxf";
    ASSERT_TRUE(engine.OpenDrawing(path));
    EXPECT_EQ(engine.repairs().size(), 2);
    EXPECT_TRUE(engine.repairSummary().startsWith("Repaired on reading: ")) << engine.repairSummary().toStdString();
    path = testpaths::sourceDir() + "/tests/data/odd/crlf-line-ends-2000.dxf";
    ASSERT_TRUE(engine.OpenDrawing(path));
    EXPECT_TRUE(engine.repairs().isEmpty());
    EXPECT_TRUE(engine.repairSummary().isEmpty());
}

TEST(Repair, SectionsWithoutEndsecAndRecordsBetweenSectionsAreKeptWhole)
{
    using namespace dxftext;
    // A SECTION that follows an unclosed one, a stray record and a stray
    // ENDSEC between sections, and header variables after the header's end.
    Groups g = join({
        {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {0, "ENDSEC"}, {9, "$DWGCODEPAGE"},
         {3, "ANSI_1253"}, {0, "ENDSEC"}},
        {{0, "LINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {11, "1"}, {21, "1"}, {31, "0"}},
        {{0, "SECTION"}, {2, "TABLES"}},
        section("ENTITIES", {{0, "TEXT"}, {5, "40"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {40, "1"},
                             {1, "\xE1\xE2\xE3"}}),
        {{0, "EOF"}},
    });
    std::string bytes = write(g);
    Document doc;
    ASSERT_TRUE(doc.load(bytes)) << doc.error();
    EXPECT_EQ(doc.repairs().size(), 4u) << allRepairs(doc);
    EXPECT_EQ(entityText(doc, *doc.findHandle("40")), "αβγ");
    EXPECT_EQ(doc.spaces()[0].entities.size(), 1u) << "the stray LINE is not listed";
    EXPECT_EQ(doc.serialize(), bytes);
}

TEST(Repair, RecordTypesAndSectionNamesInLowerCaseRead)
{
    dxftext::Groups g = dxftext::titleBlockDrawing();
    for (auto& [code, value] : g) {
        if (code != 0 && !(code == 2 && (value == "HEADER" || value == "TABLES" || value == "ENTITIES" ||
                                         value == "BLOCKS" || value == "LAYER")))
            continue;
        for (char& c : value)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::string bytes = dxftext::write(g);
    Document doc;
    ASSERT_TRUE(doc.load(bytes)) << doc.error();
    EXPECT_EQ(doc.layers().size(), 2u);
    auto texts = modelTexts(doc);
    EXPECT_EQ(texts.size(), 4u) << "the text, the two attributes and the multi-line text";
    EXPECT_EQ(entityText(doc, *doc.findHandle("32")), "A-101");
    EXPECT_EQ(doc.serialize(), bytes);
}

TEST(Repair, EscapesInANewerDrawingReadAsCharactersAndAnEditWritesUtf8)
{
    std::string bytes = oddFile("unicode-escapes-2018.dxf");
    Document doc;
    ASSERT_TRUE(doc.load(bytes));
    EXPECT_TRUE(doc.findLayer("Ebene \xC3\x84nderung").has_value()) << "the layer's name reads with its Ä";
    EXPECT_TRUE(doc.findBlock("Schild \xC3\x9C").has_value());
    std::uint64_t angle = 0, slope = 0;
    for (auto& [h, text] : modelTexts(doc)) {
        if (text == "30\xC2\xB0 \xC2\xB1 1\xC2\xB0") angle = h;
        if (text == "Neigung 45\xC2\xB0") slope = h;
    }
    ASSERT_NE(angle, 0u);
    ASSERT_NE(slope, 0u);
    ASSERT_TRUE(setAttributeValue(doc, *doc.findHandle(angle), "31\xC2\xB0"));
    std::string saved = doc.serialize();
    EXPECT_EQ(changedPart(bytes, saved), "1\xC2\xB0") << "the new value in UTF-8, nothing else changed";
    EXPECT_NE(saved.find("Neigung 45\\U+00B0"), std::string::npos) << "an untouched value keeps its bytes";
}

// Reading drawings: the forms real files take, and the bad input that must be
// refused with a reason instead of a crash or a hang.

#include "DxfText.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

using namespace ddvue::dxf;

namespace {

std::string withEol(std::string text, const std::string& eol)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += eol;
        else out.push_back(c);
    }
    return out;
}

std::string valueOf(const Document& doc, const std::string& handle)
{
    auto rec = doc.findHandle(handle);
    return rec ? entityText(doc, *rec) : std::string("<missing>");
}

}  // namespace

TEST(Reader, LineEndsCodePaddingCommentsAndEmptyValuesAllReadAndSurviveSaving)
{
    std::string base = dxftext::write(dxftext::titleBlockDrawing(), {"\n", false});
    struct Variant {
        const char* name;
        std::string text;
    } variants[] = {
        {"LF", base},
        {"CR LF", withEol(base, "\r\n")},
        {"CR", withEol(base, "\r")},
        {"padded codes", dxftext::write(dxftext::titleBlockDrawing(), {"\r\n", true})},
        {"comments", "999\nwritten by hand\n" + base},
        {"trailing spaces after codes", [&] {
             std::string t;
             bool codeLine = true;
             std::size_t start = 0;
             for (std::size_t i = 0; i < base.size(); ++i) {
                 if (base[i] != '\n') continue;
                 t += base.substr(start, i - start) + (codeLine ? "  " : "") + "\n";
                 codeLine = !codeLine;
                 start = i + 1;
             }
             return t;
         }()},
        {"no final line end", base.substr(0, base.size() - 1)},
        {"padding after EOF", base + "\n\n\x1a"},
        {"a stray CR before every line end", withEol(base, "\r\r\n")},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        Document doc;
        ASSERT_TRUE(doc.load(v.text)) << doc.error();
        EXPECT_EQ(valueOf(doc, "30"), "Hello");
        EXPECT_EQ(valueOf(doc, "32"), "A-101");
        EXPECT_EQ(valueOf(doc, "35"), "First\\PSecond");
        EXPECT_EQ(doc.layers().size(), 2u);
        EXPECT_EQ(doc.serialize(), v.text);
    }
}

TEST(Reader, EmptyValuesAndCommentsInsideRecordsAreKept)
{
    auto groups = dxftext::titleBlockDrawing();
    // An empty attribute value and a comment between two entities.
    for (auto& [code, value] : groups)
        if (code == 1 && value == "Rev B") value = "";
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i] == std::pair<int, std::string>{0, "MTEXT"}) {
            groups.insert(groups.begin() + static_cast<long>(i), {999, "a note between entities"});
            break;
        }
    std::string text = dxftext::write(groups);
    Document doc;
    ASSERT_TRUE(doc.load(text)) << doc.error();
    EXPECT_EQ(valueOf(doc, "33"), "");
    EXPECT_EQ(valueOf(doc, "35"), "First\\PSecond");
    EXPECT_EQ(doc.serialize(), text);
}

TEST(Reader, EscapedNamesAndCodePagesDecode)
{
    auto groups = dxftext::join({
        dxftext::header("AC1015", "ANSI_1252"),
        dxftext::layerTable({{0, "LAYER"}, {5, "10"}, {2, "Stra\\U+00DFe \\U+4E2D"}, {70, "0"}, {62, "1"}}),
        dxftext::section("ENTITIES", {{0, "TEXT"}, {5, "30"}, {8, "Stra\\U+00DFe \\U+4E2D"}, {10, "0"}, {20, "0"},
                                      {40, "1"}, {1, "caf\xE9 \\U+03A9"}}),
        {{0, "EOF"}},
    });
    Document doc;
    ASSERT_TRUE(doc.load(dxftext::write(groups))) << doc.error();
    ASSERT_EQ(doc.layers().size(), 1u);
    EXPECT_EQ(doc.layers()[0].name, "Stra\xC3\x9F" "e \xE4\xB8\xAD");
    EXPECT_TRUE(doc.findLayer("STRA\xC3\x9F" "E \xE4\xB8\xAD"));  // names match without regard to case
    EXPECT_EQ(valueOf(doc, "30"), "caf\xC3\xA9 \xCE\xA9");
    EXPECT_EQ(entityLayer(doc, *doc.findHandle("30")), doc.layers()[0].name);
}

TEST(Reader, BinaryDrawingsOfBothCodeWidthsRead)
{
    for (const char* name : {"sample_R12_binary.dxf", "sample_2018_binary.dxf"}) {
        SCOPED_TRACE(name);
        QFile f(testpaths::corpus(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        Document doc;
        ASSERT_TRUE(doc.load(bytes.toStdString())) << doc.error();
        EXPECT_EQ(doc.format(), Format::Binary);
        EXPECT_GT(doc.layers().size(), 10u);
        // The binary file lists what its ASCII twin lists.
        QFile twin(testpaths::corpus(QString::fromLatin1(name).replace("binary", "ascii")));
        ASSERT_TRUE(twin.open(QIODevice::ReadOnly));
        Document ascii;
        ASSERT_TRUE(ascii.load(twin.readAll().toStdString()));
        ASSERT_EQ(doc.layers().size(), ascii.layers().size());
        for (std::size_t i = 0; i < doc.layers().size(); ++i) EXPECT_EQ(doc.layers()[i].name, ascii.layers()[i].name);
    }
}

TEST(Reader, AWholeFileWithoutItsLastEndsecStillReads)
{
    std::string text = dxftext::write(dxftext::titleBlockDrawing());
    std::string endsec = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
    ASSERT_EQ(text.substr(text.size() - endsec.size()), endsec);
    text.erase(text.size() - endsec.size(), std::string("  0\r\nENDSEC\r\n").size());  // keep "  0 EOF"
    Document doc;
    ASSERT_TRUE(doc.load(text)) << doc.error();
    EXPECT_EQ(entityText(doc, *doc.findHandle("35")), "First\\PSecond");
    EXPECT_EQ(doc.serialize(), text);
}

TEST(Reader, DrawingsWithoutHandlesGetThemInMemoryOnly)
{
    auto groups = dxftext::join({
        {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"}, {9, "$HANDLING"}, {70, "0"}, {0, "ENDSEC"}},
        dxftext::layerTable({{0, "LAYER"}, {2, "0"}, {70, "0"}, {62, "7"}}),
        dxftext::section("ENTITIES", {{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "one"},
                                      {0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {40, "1"}, {1, "two"}}),
        {{0, "EOF"}},
    });
    std::string text = dxftext::write(groups);
    Document doc;
    ASSERT_TRUE(doc.load(text)) << doc.error();
    EXPECT_FALSE(doc.hasHandles());
    const Space& model = doc.spaces()[0];
    ASSERT_EQ(model.entities.size(), 2u);
    std::uint64_t h1 = doc.record(model.entities[0]).handle, h2 = doc.record(model.entities[1]).handle;
    EXPECT_NE(h1, 0u);
    EXPECT_NE(h1, h2);
    ASSERT_TRUE(setTextValue(doc, *doc.findHandle(h2), "deux"));
    std::string saved = doc.serialize();
    EXPECT_EQ(saved.find("\n  5\n"), std::string::npos) << "a handle was written into a drawing that had none";
    EXPECT_NE(saved.find("deux"), std::string::npos);
}

// What the structure takes from each record: its kind as its section gives
// it, and the first handle, paper space flag and owner of its main groups,
// never one inside a 102 bracket or after extended data.
TEST(Reader, EachRecordIsReadForItsSectionAndItsMainGroups)
{
    auto groups = dxftext::join({
        dxftext::header("AC1015"),  // its $HANDSEED is a 5 group: no handle for the section
        dxftext::section("CLASSES", {{0, "CLASS"}, {5, "zz"}, {1, "NOT_AN_OBJECT"}}),
        dxftext::section("TABLES",
                         {{0, "TABLE"}, {2, "BLOCK_RECORD"},
                          {0, "BLOCK_RECORD"}, {5, "1B"}, {2, "*Paper_Space"},
                          {0, "BLOCK_RECORD"}, {5, "1F"}, {2, "*Model_Space"},
                          {0, "ENDTAB"},
                          {0, "TABLE"}, {2, "DIMSTYLE"}, {0, "DIMSTYLE"}, {105, "30"}, {2, "STANDARD"}, {0, "ENDTAB"},
                          {0, "TABLE"}, {2, "LAYER"}, {0, "LAYER"}, {5, "10"}, {2, "0"}, {0, "INSERT"}, {5, "12"},
                          {0, "ENDTAB"}}),
        dxftext::section("ENTITIES",
                         {{0, "TEXT"}, {5, "60"}, {102, "{ACAD_REACTORS"}, {330, "1B"}, {102, "}"}, {330, "1F"},
                          {1, "model, a paper owner only among its reactors"},
                          {0, "TEXT"}, {5, "61"}, {330, "1B"}, {1, "paper by its owner alone"},
                          {0, "TEXT"}, {5, "62"}, {330, "10000001B"}, {1, "model: the owner only looks alike"},
                          {0, "TEXT"}, {102, "{APP"}, {5, "77"}, {67, "1"}, {102, "}"}, {5, "63"}, {67, "1"},
                          {1, "paper by its flag"},
                          {0, "TEXT"}, {1, "model, no handle"}, {1001, "APP"}, {5, "78"}, {67, "1"},
                          {0, "LAYER"}, {5, "65"}, {2, "NOT_A_LAYER"},
                          {0, "BLOCK"}, {5, "66"}, {2, "NOT_A_BLOCK"},
                          {0, "TEXT"}, {5, ""}, {1, "an empty handle"},
                          {0, "INSERT"}, {5, "70"}, {66, "1"}, {2, "B"},
                          {0, "ATTRIB"}, {5, "71"}, {330, "70"}, {1, "v"},
                          {0, "SEQEND"}, {5, "72"}}),
        {{0, "EOF"}},
    });
    Document doc;
    ASSERT_TRUE(doc.load(dxftext::write(groups))) << doc.error();
    EXPECT_EQ(doc.repairs(),
              std::vector<std::string>{"1 object has an empty or unreadable handle; it was given one in memory."});
    EXPECT_EQ(doc.record(0).kind, Kind::SectionStart);
    EXPECT_EQ(doc.record(0).handle, 0u);
    EXPECT_FALSE(doc.findHandle("100")) << "the header's handle seed is no object's handle";
    ASSERT_TRUE(doc.findHandle("30"));
    EXPECT_EQ(doc.typeName(*doc.findHandle("30")), "DIMSTYLE");
    ASSERT_EQ(doc.layers().size(), 1u);
    EXPECT_EQ(doc.layers()[0].name, "0");
    EXPECT_EQ(doc.record(*doc.findHandle("12")).kind, Kind::Other) << "an INSERT among the tables";
    EXPECT_EQ(doc.record(*doc.findHandle("65")).kind, Kind::Other) << "a LAYER among the entities";
    EXPECT_EQ(doc.record(*doc.findHandle("66")).kind, Kind::Other) << "a BLOCK among the entities";
    EXPECT_TRUE(doc.blocks().empty());
    EXPECT_FALSE(doc.findHandle("77")) << "a handle inside a 102 bracket";
    EXPECT_FALSE(doc.findHandle("78")) << "a handle after extended data";

    auto textOf = [&](std::uint32_t i) { return doc.view(i).textOf(1); };
    std::vector<std::string> paper, model;
    for (std::uint32_t i : doc.spaces()[1].entities) paper.push_back(textOf(i));
    for (std::uint32_t i : doc.spaces()[0].entities)
        if (doc.record(i).kind == Kind::Text) model.push_back(textOf(i));
    EXPECT_EQ(paper, (std::vector<std::string>{"paper by its owner alone", "paper by its flag"}));
    EXPECT_EQ(model, (std::vector<std::string>{"model, a paper owner only among its reactors",
                                               "model: the owner only looks alike", "model, no handle",
                                               "an empty handle"}));
    const std::uint32_t insert = *doc.findHandle("70");
    EXPECT_EQ(doc.record(insert).kind, Kind::Insert);
    EXPECT_EQ(doc.children(insert), (std::vector<std::uint32_t>{insert + 1, insert + 2}));
    EXPECT_EQ(doc.record(insert + 1).parent, static_cast<std::int32_t>(insert));
    EXPECT_EQ(doc.record(insert).parent, -1);
}

TEST(Reader, BadInputIsRefusedWithAReason)
{
    std::string good = dxftext::write(dxftext::titleBlockDrawing());
    std::string hugeLine(100u * 1024 * 1024, 'x');
    std::string blob;
    for (int i = 0; i < 5000; ++i) blob.push_back(static_cast<char>((i * 7919) % 251));
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;  // a word the reason must contain
    } cases[] = {
        {"empty", "", "empty"},
        {"truncated in an entity", good.substr(0, good.size() * 2 / 3), "truncated"},
        {"odd number of lines", good.substr(0, good.find("Hello")) , "truncated"},
        {"binary blob", blob, "not"},
        {"code not a number", "  0\r\nSECTION\r\nABC\r\nHEADER\r\n", "not a number"},
        {"code out of range", dxftext::write(dxftext::join({dxftext::header(), {{500000, "x"}}, {{0, "EOF"}}})),
         "out of range"},
        {"no record at all", dxftext::write({{999, "a comment"}, {9, "$ACADVER"}, {1, "AC1015"}}), "no DXF records"},
        {"100 MB line", hugeLine, "not a number"},
        {"binary cut short", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + std::string("\0\0SECTI", 7), "truncated"},
        {"binary with a code DXF does not define",
         std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + std::string("\0\0SECTION\0\xd2\x04x\0", 14),
         "unknown group code 1234"},
        {"a DWG where a DXF was expected", "AC1015" + std::string(200, '\0'), "DWG"},
        {"a DWG of Release 2.10", "AC2.10" + std::string(200, '\0'), "release before 2.5 (AC2.10)"},
        {"a DWG of Release 1.2", "AC1.2" + std::string(200, '\0'), "release before 2.5 (AC1.2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Document doc;
        EXPECT_FALSE(doc.load(c.bytes));
        EXPECT_NE(doc.error().find(c.reason), std::string::npos) << "reason: " << doc.error();
    }
}

TEST(Reader, OpenDrawingReportsWhyItFailed)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("broken.dxf");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("  0\nSECTION\n  2\nHEADER\n");
    f.close();
    ddvue::DDVueEngine engine;
    EXPECT_FALSE(engine.OpenDrawing(path));
    EXPECT_TRUE(engine.lastError().contains("truncated")) << engine.lastError().toStdString();
    EXPECT_FALSE(engine.isOpen());
    QString missing = tmp.filePath("missing.dxf");
    EXPECT_FALSE(engine.OpenDrawing(missing));
    EXPECT_FALSE(engine.lastError().isEmpty());
    bool flag = true;
    engine.QueryPasswordProtection(flag);
    EXPECT_EQ(flag, false);
}

TEST(Reader, VersionCodesOfEveryRelease)
{
    struct {
        const char* file;
        long code;
    } expected[] = {
        {"sample_R12_ascii.dxf", 10}, {"sample_R12_binary.dxf", 10}, {"sample_2000_ascii.dxf", 13},
        {"sample_2004_binary.dxf", 16}, {"sample_2007_ascii.dxf", 18}, {"sample_2010_ascii.dxf", 19},
        {"sample_2013_binary.dxf", 20}, {"sample_2018_ascii.dxf", 21}, {"sample_R14.dwg", 12},
        {"sample_2018.dwg", 21},        {"more/mozman__ezdxf__integration_tests_data_AC1003_LINE_Example.dxf", 6},
    };
    ddvue::DDVueEngine engine;
    for (auto& e : expected) {
        QString path = testpaths::corpus(e.file);
        EXPECT_EQ(engine.GetDrawingVersion(path), e.code) << e.file;
    }
    QString missing = testpaths::corpus("no-such-file.dxf");
    EXPECT_EQ(engine.GetDrawingVersion(missing), -1);
}

TEST(Reader, ValuesOfSixtyFourKilobytesAndMoreReadEditAndSave)
{
    // Group lengths are kept in 16 bits with longer ones aside: both sides of
    // that line, read from the file and written by an edit, in both formats.
    std::string longText(70000, 'x');
    longText[0] = 'A';
    longText.back() = 'Z';
    std::string edge(65535, 'e');
    dxftext::Groups g = dxftext::join({dxftext::header(),
                                       dxftext::section("ENTITIES", {{0, "TEXT"}, {5, "40"}, {8, "0"}, {1, longText},
                                                                     {0, "TEXT"}, {5, "41"}, {8, "0"}, {1, edge},
                                                                     {0, "TEXT"}, {5, "42"}, {8, "0"}, {1, "short"}}),
                                       {{0, "EOF"}}});
    for (const char* eol : {"\r\n", "\r"}) {
        SCOPED_TRACE(eol[1] ? "CR LF" : "CR");
        std::string bytes = dxftext::write(g, {eol, true});
        Document doc;
        ASSERT_TRUE(doc.load(bytes)) << doc.error();
        EXPECT_EQ(valueOf(doc, "40"), longText);
        EXPECT_EQ(valueOf(doc, "41"), edge);
        EXPECT_EQ(valueOf(doc, "42"), "short");
        ASSERT_TRUE(setEntityColor(doc, *doc.findHandle("40"), 3));
        ASSERT_TRUE(setTextValue(doc, *doc.findHandle("42"), longText + "!"));
        EXPECT_EQ(valueOf(doc, "40"), longText);
        EXPECT_EQ(valueOf(doc, "42"), longText + "!");
        Document again;
        ASSERT_TRUE(again.load(doc.serialize())) << again.error();
        EXPECT_EQ(valueOf(again, "40"), longText);
        EXPECT_EQ(valueOf(again, "41"), edge);
        EXPECT_EQ(valueOf(again, "42"), longText + "!");
    }
}

TEST(Reader, AMappedFileReadsAsItsCopyDoesAndSavesOverItself)
{
    QTemporaryDir tmp;
    QString path = tmp.filePath("plan.dxf");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(dxftext::write(dxftext::titleBlockDrawing())));
    }
    Document mapped;
    ASSERT_TRUE(mapped.loadFile(path.toStdString())) << mapped.error();
    Document copied;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(copied.load(f.readAll().toStdString()));
    EXPECT_EQ(mapped.serialize(), copied.serialize());
    EXPECT_EQ(valueOf(mapped, "32"), "A-101");

    // The command line's way: mapped, edited, saved over the file it maps,
    // then edited and saved again.
    ddvue::DDVueEngine engine;
    engine.setMapFiles(true);
    ASSERT_TRUE(engine.OpenDrawing(path));
    QString value = "B-202";
    ASSERT_TRUE(engine.SetAttributeValue(value, "32"));
    QString target = path;
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    value = "C-303";
    ASSERT_TRUE(engine.SetAttributeValue(value, "33"));
    ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
    Document saved;
    ASSERT_TRUE(saved.loadFile(path.toStdString()));
    EXPECT_EQ(valueOf(saved, "32"), "B-202");
    EXPECT_EQ(valueOf(saved, "33"), "C-303");
    EXPECT_EQ(valueOf(saved, "30"), "Hello");

    Document missing;
    EXPECT_FALSE(missing.loadFile(tmp.filePath("gone.dxf").toStdString()));
    EXPECT_NE(missing.error().find("Cannot read"), std::string::npos);
    QFile::resize(path, 0);
    EXPECT_FALSE(missing.loadFile(path.toStdString()));
    EXPECT_NE(missing.error().find("empty"), std::string::npos);
}

// A drawing large enough that reading it takes its page faults and its
// file's pages on another core, and that hands its bytes to work beside the
// parse: it must read exactly as its copy does, with its repairs.
TEST(Reader, ALargeMappedDrawingReadsAsItsCopyDoes)
{
    // 450,000 points, about 20 MB, their handles handed out in 40
    // interleaved runs (more than merging takes), one repeated and one
    // empty; CR LF line ends.
    std::string text = "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n  0\r\nENDSEC\r\n"
                       "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    constexpr int kPoints = 450000;
    auto handleOf = [](int i) { return std::uint64_t((i % 40) * 100000 + i / 40 + 1); };
    for (int i = 0; i < kPoints; ++i) {
        std::string handle = Document::formatHandle(handleOf(i));
        if (i == kPoints - 3) handle = Document::formatHandle(handleOf(7));  // repeats an early one
        if (i == kPoints - 2) handle.clear();
        text += "  0\r\nPOINT\r\n  5\r\n" + handle + "\r\n  8\r\nL" + std::to_string(i % 7) + "\r\n 10\r\n" +
                std::to_string(i) + ".5\r\n 20\r\n2.0\r\n";
    }
    text += "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
    ASSERT_GT(text.size(), 16u << 20);

    QTemporaryDir tmp;
    QString path = tmp.filePath("large.dxf");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    Document copied;
    ASSERT_TRUE(copied.load(text)) << copied.error();
    Document mapped;
    std::string besideSaw;
    int fd = ::open(path.toStdString().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(mapped.loadFile(fd, {}, [&besideSaw](std::string_view bytes) { besideSaw = bytes; }))
        << mapped.error();
    ::close(fd);
    EXPECT_TRUE(besideSaw == text) << "the work beside the parse saw other bytes";

    for (const Document* doc : {&copied, &mapped}) {
        ASSERT_EQ(doc->recordCount(), copied.recordCount());
        EXPECT_EQ(doc->repairs(), (std::vector<std::string>{
                                      "1 object has an empty or unreadable handle; it was given one in memory.",
                                      "1 object repeats the handle of an earlier one; it was given one of its own in memory."}));
        ASSERT_EQ(doc->spaces()[0].entities.size(), std::size_t(kPoints));
    }
    for (std::uint32_t i = 0; i < copied.recordCount(); ++i) {
        ASSERT_EQ(mapped.record(i).handle, copied.record(i).handle) << "record " << i;
        ASSERT_EQ(mapped.recordBegin(i), copied.recordBegin(i)) << "record " << i;
    }
    const std::vector<std::uint32_t>& points = mapped.spaces()[0].entities;
    for (int i : {0, 1, 39, 40, 12345, kPoints - 4, kPoints - 1}) {
        auto found = mapped.findHandle(handleOf(i));
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(*found, points[static_cast<std::size_t>(i)]) << i;
    }
    // The repeated handle stays with the first point; the later one and the
    // one without a handle get their own, above every handle of the file.
    EXPECT_EQ(*mapped.findHandle(handleOf(7)), points[7]);
    for (int i : {kPoints - 3, kPoints - 2}) {
        const Record& r = mapped.record(points[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(r.syntheticHandle);
        EXPECT_GT(r.handle, handleOf(kPoints - 1));
        EXPECT_EQ(mapped.findHandle(r.handle), points[static_cast<std::size_t>(i)]);
    }
    EXPECT_FALSE(mapped.findHandle(handleOf(kPoints)));
    EXPECT_TRUE(mapped.serialize() == text);
}

// A large file is read in two halves at once; one followed for its progress
// is read in one pass. Both must give the same groups, records, repairs and
// bytes, whatever stands near the middle or after it: odd groups, a code
// DXF does not define (its line number told), a value of 64 KB and more,
// comments, the end of the file followed by more lines, CR-only line ends.
// Record i of two documents read from the same bytes: the same in every respect.
bool sameRecord(const Document& x, const Document& y, std::uint32_t i)
{
    const Record &a = x.record(i), &b = y.record(i);
    return a.handle == b.handle && a.first == b.first && x.groupCount(i) == y.groupCount(i) &&
           x.recordBegin(i) == y.recordBegin(i) && a.parent == b.parent && a.block == b.block &&
           a.section == b.section && a.kind == b.kind && a.paperSpace == b.paperSpace &&
           a.syntheticHandle == b.syntheticHandle;
}

TEST(Reader, ALargeFileReadInTwoHalvesReadsAsInOnePass)
{
    auto points = [](std::size_t bytes, const std::string& eol) {
        std::string body;
        for (int i = 0; body.size() < bytes; ++i)
            body += "  0" + eol + "POINT" + eol + "  8" + eol + "0" + eol + " 10" + eol + std::to_string(i) + ".25" +
                    eol + " 20" + eol + "2.0" + eol;
        return body;
    };
    auto drawing = [&](int shift, const std::string& eol, const std::string& nearMiddle, const std::string& after) {
        std::string text = "  0" + eol + "SECTION" + eol + "  2" + eol + "ENTITIES" + eol;
        for (int k = 0; k < shift; ++k) text += "999" + eol + "shift" + eol;
        // Its middle a little before `nearMiddle`: the second half's reader meets it.
        text += points(9u << 20, eol) + nearMiddle + points(8u << 20, eol);
        text += "  0" + eol + "ENDSEC" + eol + "  0" + eol + "EOF" + eol + after;
        return text;
    };
    const std::string lf = "\n";
    const std::string longValue = "  0\nTEXT\n  8\n0\n  1\n" + std::string(70000, 'x') + "\n";
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"common groups only", drawing(0, lf, "", "")},
        {"one group more before the middle", drawing(1, lf, "", "")},
        {"an undefined code, padding and a comment", drawing(2, lf, "  0\nPOINT\n 10\n1.0\n12345\nodd\n   8\n0\n999\nnote\n", "")},
        {"a long value and lines after the end", drawing(3, lf, longValue, "after\nthe end\n")},
        {"CR LF", drawing(1, "\r\n", "", "")},
        {"CR only", drawing(0, "\r", "", "")},
        {"the end in the first half", "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n" + points(17u << 20, lf)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_GT(c.text.size(), 16u << 20);
        Document halves, onePass;
        ASSERT_TRUE(halves.load(c.text)) << halves.error();
        ASSERT_TRUE(onePass.load(c.text, [](int) { return true; })) << onePass.error();
        EXPECT_EQ(halves.repairs(), onePass.repairs());
        ASSERT_EQ(halves.recordCount(), onePass.recordCount());
        for (std::uint32_t i = 0; i < onePass.recordCount(); ++i) {
            ASSERT_TRUE(sameRecord(halves, onePass, i)) << "record " << i;
            RecordView va = halves.view(i), vb = onePass.view(i);
            for (std::uint32_t g = 0; g < vb.size(); ++g) {
                ASSERT_EQ(va.code(g), vb.code(g)) << "record " << i << " group " << g;
                ASSERT_EQ(va.raw(g), vb.raw(g)) << "record " << i << " group " << g;
            }
        }
        RecordView ha = halves.headerView(), hb = onePass.headerView();
        ASSERT_EQ(ha.size(), hb.size());
        EXPECT_TRUE(halves.serialize() == c.text);
    }
}

// The second half's reader starts inside a record and the first half's
// finishes it; the second stops at a group it leaves to the first (a code
// DXF does not define) inside a later record, and the first goes on there.
// Wherever in a record either falls, the records read as in one pass: their
// handles, owners, paper space flags, 102 brackets and extended data, and
// the ATTRIBs that belong to an INSERT.
TEST(Reader, ARecordCutByTheMiddleReadsAsInOnePass)
{
    const dxftext::Groups rich = {
        {0, "INSERT"}, {5, "#"}, {102, "{ACAD_REACTORS"}, {330, "1B"}, {102, "}"}, {330, "1F"}, {8, "0"}, {2, "B"},
        {66, "1"}, {0, "ATTRIB"}, {5, "#"}, {330, "1B"}, {1, "v"}, {2, "T"}, {1001, "APP"}, {1000, "x"},
        {0, "ATTRIB"}, {102, "{X"}, {5, "FF"}, {67, "0"}, {102, "}"}, {5, "#"}, {67, "1"}, {1, "w"},
        {0, "SEQEND"}, {5, "#"}, {0, "TEXT"}, {5, ""}, {330, "1B"}, {1, "note"}};
    dxftext::Style lf{"\n", true};
    std::string head = dxftext::write(dxftext::join({
        dxftext::header("AC1015"),
        dxftext::section("TABLES", {{0, "TABLE"}, {2, "BLOCK_RECORD"}, {0, "BLOCK_RECORD"}, {5, "1B"},
                                    {2, "*Paper_Space"}, {0, "ENDTAB"}}),
        {{0, "SECTION"}, {2, "ENTITIES"}}}), lf);
    std::string body;
    std::vector<std::size_t> starts;  // where each group of the rich records starts
    for (int n = 0x100; body.size() < (17u << 20); n += 8) {
        for (auto [code, value] : rich) {
            if (value == "#") value = Document::formatHandle(static_cast<std::uint64_t>(n++));
            starts.push_back(head.size() + body.size());
            body += dxftext::write({{code, value}}, lf);
        }
    }
    const std::string tail = dxftext::write({{0, "ENDSEC"}, {0, "EOF"}}, lf);
    const std::size_t base = head.size() + body.size() + tail.size();
    // A record near the middle; a comment before the ENDSEC moves the
    // middle onto each of its groups in turn (the second half starts at
    // the first group after the middle's line end).
    const std::size_t first = static_cast<std::size_t>(
        std::upper_bound(starts.begin(), starts.end(), base / 2 + 4096) - starts.begin());
    const std::size_t record = first - first % rich.size() + rich.size();
    for (std::size_t g = 0; g < rich.size(); ++g) {
        SCOPED_TRACE("the middle before group " + std::to_string(g));
        const std::size_t middle = starts[record + g] - 1;
        const std::string odd = "12345\nodd\n";
        const std::size_t oddAt = starts[record + rich.size() + g] - head.size();  // in the next record
        const std::size_t padding = 2 * middle - base - odd.size();  // the comment's group: "999", its value, two line ends
        ASSERT_GE(padding, 5u);
        const std::string text = head + body.substr(0, oddAt) + odd + body.substr(oddAt) +
                                 dxftext::write({{999, std::string(padding - 5, 'c')}}, {"\n", false}) + tail;
        ASSERT_EQ(text.size() / 2, middle);
        Document halves, onePass;
        ASSERT_TRUE(halves.load(text)) << halves.error();
        ASSERT_TRUE(onePass.load(text, [](int) { return true; })) << onePass.error();
        EXPECT_EQ(halves.repairs(), onePass.repairs());
        ASSERT_EQ(halves.recordCount(), onePass.recordCount());
        for (std::uint32_t i = 0; i < onePass.recordCount(); ++i)
            ASSERT_TRUE(sameRecord(halves, onePass, i)) << "record " << i;
        for (std::size_t k = 0; k < 2; ++k) EXPECT_EQ(halves.spaces()[k].entities, onePass.spaces()[k].entities);
        // The INSERT cut by the middle, read as its groups say: its
        // reactors' owner does not count, its ATTRIBs' owner and flag do,
        // the handle in a bracket does not; the TEXT after it has none.
        const std::uint64_t h = 0x100 + 12 * (record / rich.size());
        const auto insert = halves.findHandle(h);
        ASSERT_TRUE(insert);
        const std::uint32_t i = *insert;
        EXPECT_EQ(halves.record(i).kind, Kind::Insert);
        EXPECT_FALSE(halves.record(i).paperSpace);
        EXPECT_EQ(halves.children(i), (std::vector<std::uint32_t>{i + 1, i + 2, i + 3}));
        EXPECT_TRUE(halves.record(i + 1).paperSpace);
        EXPECT_EQ(halves.record(i + 2).handle, h + 2);
        EXPECT_TRUE(halves.record(i + 2).paperSpace);
        EXPECT_TRUE(halves.record(i + 4).syntheticHandle);
        EXPECT_TRUE(halves.record(i + 4).paperSpace);
    }
}


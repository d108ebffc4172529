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

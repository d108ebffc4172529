// export --format flat and csv: the grid's view of a category, as a file.

#include "app/CommandLine.h"
#include "app/ExportCommands.h"

#include "extract/FlatDocument.h"
#include "ddvue/DDVueEngine.h"

#include "TestPaths.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Result {
    int exit;
    std::string out, err;
};

Result run(QStringList args)
{
    static bool registered = (app::registerExportCommands(), true);
    (void)registered;
    std::ostringstream out, err;
    args.prepend(QStringLiteral("export"));
    int exit = app::runCommand(args, out, err);
    return {exit, out.str(), err.str()};
}

const QString tricky = testpaths::testData(QStringLiteral("tricky_values.dxf"));

// Reads RFC 4180 CSV: quoted fields with doubled quotes, CR LF between records.
std::vector<QStringList> parseCsv(const std::string& bytes)
{
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') field += c, ++i;
            else if (c == u'"') quoted = false;
            else field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field, field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field, field.clear();
            rows.push_back(row), row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.isEmpty() && row.isEmpty()) << "the last record lacks its CR LF";
    return rows;
}

}  // namespace

TEST(ExportCsv, TheGridsViewOfEachCategory)
{
    Result r = run({tricky, "--format", "csv"});
    ASSERT_EQ(r.exit, 0) << r.err;
    auto rows = parseCsv(r.out);
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0], QStringList({"AttributeHandle", "Block", "Layout", "Name", "LayerName", "X", "Y", "AttributeTag",
                                    "AttributeValue"}));
    EXPECT_EQ(rows[1].mid(1), QStringList({"*Model_Space", "Model", "TB", "A&B it's", "10", "20", "TITLE",
                                           "Say \"hi\" & <bye>"}));
    EXPECT_EQ(rows[4][8], QStringLiteral("  leading and trailing  "));
    EXPECT_EQ(rows[7][8], QString::fromUtf8("emoji \U0001F600 here"));
    EXPECT_EQ(rows[8][8], QStringLiteral("a&quot;b, c;d"));

    // The key field names the object in the drawing.
    ddvue::DDVueEngine engine;
    QString path = tricky;
    ASSERT_TRUE(engine.OpenDrawing(path));
    QString value = QStringLiteral("changed");
    EXPECT_TRUE(engine.SetAttributeValue(value, rows[2][0]));

    r = run({tricky, "--format", "csv", "--category", "layers"});
    ASSERT_EQ(r.exit, 0) << r.err;
    rows = parseCsv(r.out);
    // The key column is the grid's Name column: each column once.
    EXPECT_EQ(rows[0], QStringList({"Name", "Display", "Color"}));
    EXPECT_EQ(rows[5], QStringList({"Off layer", "Off", "5"}));

    r = run({tricky, "--format", "csv", "--category", "single-text"});
    rows = parseCsv(r.out);
    EXPECT_EQ(rows[0], QStringList({"Handle", "Block", "Layout", "Value", "X", "Y"}));
    EXPECT_EQ(rows[1][3], QStringLiteral("Text & <more> = \"x\""));

    // No records: the header alone.
    r = run({tricky, "--format", "csv", "--category", "xrefs"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "Name,Path,Overlay\r\n");
}

TEST(ExportCsv, FiltersLimitTheRowsAndBadOnesFail)
{
    Result r = run({tricky, "--format", "csv", "--filter", "AttributeTag LIKE '*handle' OR (Layout = 'layout1' AND AttributeValue LIKE 'str*')"});
    ASSERT_EQ(r.exit, 0) << r.err;
    auto rows = parseCsv(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][8], QStringLiteral("handle elementid Handle"));
    EXPECT_EQ(rows[2][8], QString::fromUtf8("Straße café"));
    EXPECT_EQ(rows[3][8], QString::fromUtf8("中文 ✓"));

    r = run({tricky, "--format", "csv", "--filter", "AttributeValue = 'nothing'"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(parseCsv(r.out).size(), 1u);

    for (const char* bad : {"AttributeValue LIKE 'a*b'", "Nope = 'x'", "(X = 1", "X = 1 AND"}) {
        r = run({tricky, "--format", "csv", "--filter", bad});
        EXPECT_EQ(r.exit, app::ExitFailed) << bad;
        EXPECT_NE(r.err.find("Invalid filter"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    // With no records the form is still checked.
    EXPECT_EQ(run({tricky, "--format", "csv", "--category", "xrefs", "--filter", "Name = 'x'"}).exit, 0);
    EXPECT_EQ(run({tricky, "--format", "csv", "--category", "xrefs", "--filter", "Name = "}).exit, app::ExitFailed);
}

TEST(ExportFlat, TheFlatDocumentOfTheCategory)
{
    Result r = run({tricky, "--format", "flat", "--category", "multi-text"});
    ASSERT_EQ(r.exit, 0) << r.err;
    ddvue::DDVueEngine engine;
    QString path = tricky;
    ASSERT_TRUE(engine.OpenDrawing(path));
    std::string content = engine.contentDocument(false, false, false, true);
    EXPECT_EQ(r.out, extract::flatDocument(extract::normalizeExportXml(content), extract::FlatMultiText));

    EXPECT_EQ(run({tricky, "--format", "flat", "--filter", "X = 1"}).exit, app::ExitUsage);
    EXPECT_EQ(run({tricky, "--format", "csv", "--category", "images"}).exit, app::ExitUsage);
    EXPECT_EQ(run({tricky, "--format", "csv", "--category"}).exit, app::ExitUsage);
    EXPECT_EQ(run({testpaths::testData("missing.dxf"), "--format", "csv"}).exit, app::ExitFailed);
}

// The program itself knows the two formats.
TEST(ExportCommands, TheProgramRunsThem)
{
    QProcess p;
    p.start(testpaths::program(), {"export", tricky, "--format", "csv", "--category", "layers"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("Name,Display,Color\r\n"));
}

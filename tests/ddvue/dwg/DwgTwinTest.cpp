// A DWG drawing and the DXF that its CAD program wrote for it give the same
// content; edits to a DWG are saved as a valid DXF beside it.

#include "ContentCompare.h"
#include "TestPaths.h"
#include "data/Recordset.h"
#include "ddvue/DDVueEngine.h"
#include "extract/CategoryContent.h"
#include "extract/Csv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <map>

#include <gtest/gtest.h>

namespace {

using contentcompare::Content;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Content contentOf(const QString& file, QString* error = nullptr)
{
    ddvue::DDVueEngine engine;
    QString path = file;
    if (!engine.OpenDrawing(path)) {
        if (error) *error = engine.lastError();
        return {};
    }
    std::string xml = engine.contentDocument(true, true, true, true);
    return contentcompare::parse(QByteArray::fromStdString(xml));
}

QStringList corpusDwgs()
{
    QStringList out;
    QDir dir(testpaths::corpus());
    for (const QString& name : dir.entryList({"*.dwg"}, QDir::Files)) out << dir.filePath(name);
    return out;
}

// Runs ezdxf's recover and audit over DXF files; one line per file that has
// errors. Empty when all are clean; nullopt when ezdxf is not installed.
std::optional<QString> outsideReaderErrors(const QStringList& files)
{
    const char* script = R"(
import sys
try:
    from ezdxf import recover
except ImportError:
    sys.exit(3)
for path in sys.argv[1:]:
    doc, auditor = recover.readfile(path)
    a = doc.audit()
    problems = [e.message for e in auditor.errors + a.errors]
    if problems:
        print(path, len(problems), problems[:3])
)";
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), QString::fromLatin1(script)} + files);
    if (!p.waitForFinished(300000) || p.exitCode() == 3) return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}


// The rows the grid lists, category by category, as export writes them in
// CSV: one list of fields a row, the header first.
using Rows = std::vector<QStringList>;
std::map<QString, Rows> rowsOf(const ddvue::DDVueEngine& engine)
{
    std::map<QString, Rows> out;
    for (const char* name : {"attributes", "single-text", "multi-text", "layers", "xrefs"}) {
        extract::Category c = *extract::categoryFromName(QString::fromLatin1(name));
        data::Recordset recordset;
        extract::CategoryLoad load = extract::loadCategory(engine, c, recordset);
        EXPECT_TRUE(extract::loadFailure(load).isEmpty()) << name << ": " << extract::loadFailure(load).toStdString();
        QString csv = QString::fromStdString(extract::categoryCsv(recordset, c));
        for (const extract::CsvRecord& r : extract::readCsv(csv, QLatin1Char(','))) out[name].push_back(r.fields);
    }
    return out;
}

struct Opened {
    Content content;
    std::map<QString, Rows> rows;
};

Opened open(const QString& path)
{
    ddvue::DDVueEngine engine;
    QString p = path;
    if (!engine.OpenDrawing(p)) {
        ADD_FAILURE() << path.toStdString() << ": " << engine.lastError().toStdString();
        return {};
    }
    return {contentcompare::parse(QByteArray::fromStdString(engine.contentDocument(true, true, true, true))),
            rowsOf(engine)};
}

}  // namespace

class DwgTwins : public ::testing::TestWithParam<const char*> {};

// Each DWG of the corpus against the ASCII and the binary DXF that its CAD
// program wrote for the same drawing.
TEST_P(DwgTwins, TheDwgListsTheRowsOfItsDxfTwins)
{
    QString base = testpaths::corpus(QString::fromLatin1(GetParam()));
    Opened dwg = open(base + ".dwg"), ascii = open(base + "_ascii.dxf"), binary = open(base + "_binary.dxf");
    ASSERT_FALSE(dwg.content.items.empty());
    // The ASCII twin: a binary DXF keeps line breaks in texts as they are,
    // where ASCII DXF (and so the DXF made from a DWG) writes them in caret
    // form, and the engine lists texts as stored.
    QStringList diff = contentcompare::differences(ascii.content, dwg.content);
    EXPECT_TRUE(diff.isEmpty()) << GetParam() << ":\n  " << diff.mid(0, 40).join("\n  ").toStdString();

    // The grid's rows, field by field. ASCII DXF holds a number in sixteen
    // significant digits, which the CAD program rounds to within two units
    // of the last place, where the DWG and a binary DXF hold the double
    // itself: so coordinates are the binary twin's exactly and the ASCII
    // twin's to within those units; every other field is the ASCII twin's.
    for (const auto& [category, rows] : dwg.rows) {
        const Rows& a = ascii.rows[category];
        const Rows& b = binary.rows[category];
        ASSERT_FALSE(rows.empty());
        ASSERT_EQ(rows.size(), a.size()) << category.toStdString();
        ASSERT_EQ(rows.size(), b.size()) << category.toStdString();
        const QStringList& header = rows.front();
        for (std::size_t r = 0; r < rows.size(); ++r) {
            ASSERT_EQ(rows[r].size(), a[r].size());
            for (qsizetype f = 0; f < rows[r].size(); ++f) {
                QString where = QStringLiteral("%1 row %2 %3").arg(category).arg(r).arg(header[f]);
                bool coordinate = r > 0 && (header[f] == "X" || header[f] == "Y" || header[f] == "Z");
                if (!coordinate) {
                    EXPECT_EQ(rows[r][f], a[r][f]) << where.toStdString();
                    continue;
                }
                EXPECT_EQ(rows[r][f], b[r][f]) << where.toStdString();
                double got = rows[r][f].toDouble(), expected = a[r][f].toDouble();
                double unit = std::nextafter(std::fabs(got), INFINITY) - std::fabs(got);
                EXPECT_LE(std::fabs(got - expected), 2 * unit)
                    << where.toStdString() << ": " << rows[r][f].toStdString() << ", expected "
                    << a[r][f].toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DwgTwins,
                         ::testing::Values("sample_2000", "sample_2004", "sample_2007", "sample_2010", "sample_2013",
                                           "sample_2018"),
                         [](const auto& info) { return std::string(info.param).substr(7); });

TEST(DwgTwin, TheComparisonNamesWhatDiffers)
{
    // The comparison itself must see a changed value, a moved text and a
    // missing layer, else the test above proves nothing.
    QByteArray a = "<DrawingContent><Layers><Layer><Name>0</Name><Display>On</Display><Color>7</Color></Layer>"
                   "<Layer><Name>WALLS</Name><Display>On</Display><Color>1</Color></Layer></Layers>"
                   "<TextLiterals><Block name=\"*Model_Space\"><LayoutName name=\"Model\"><Text><Value>A</Value>"
                   "<Handle>2A</Handle><X>1.0000000000000002</X></Text></LayoutName></Block></TextLiterals>"
                   "</DrawingContent>";
    QByteArray b = "<DrawingContent><Layers><Layer><Name>0</Name><Display>Off</Display><Color>7</Color></Layer></Layers>"
                   "<TextLiterals><Block name=\"B1\"><LayoutName name=\"\"><Text><Value>B</Value>"
                   "<Handle>2A</Handle><X>1</X></Text></LayoutName></Block></TextLiterals></DrawingContent>";
    QStringList diff = contentcompare::differences(contentcompare::parse(a), contentcompare::parse(b));
    EXPECT_EQ(diff.size(), 4) << diff.join("\n").toStdString();
    EXPECT_TRUE(diff.filter("Layer 0 Display: \"Off\", expected \"On\"").size() == 1);
    EXPECT_TRUE(diff.filter("Layer WALLS in").size() == 1);
    EXPECT_TRUE(diff.filter("Text 2A is in B1").size() == 1);
    EXPECT_TRUE(diff.filter("Text 2A Value").size() == 1);
    EXPECT_TRUE(contentcompare::differences(contentcompare::parse(a), contentcompare::parse(a)).isEmpty());
}

TEST(DwgSave, EditsGoIntoAValidDxfBesideTheUnchangedDwg)
{
    QTemporaryDir tmp;
    // One drawing kept in its code page (2000) and one in UTF-8 (2018).
    for (const char* name : {"sample_2000.dwg", "sample_2018.dwg"}) {
        QString dwg = tmp.filePath(name);
        ASSERT_TRUE(QFile::copy(testpaths::corpus(name), dwg));
        QByteArray before = QCryptographicHash::hash(readAll(dwg), QCryptographicHash::Sha256);
        Content original = contentOf(dwg);

        ddvue::DDVueEngine engine;
        QString path = dwg;
        ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
        ASSERT_TRUE(engine.isDwg());
        EXPECT_GT(engine.skippedEntities(), 0);  // the corpus holds meshes and multi-lines
        QString attribute = QStringLiteral("Grüße, 中文 & <done>");
        QString text = QStringLiteral("Zeile eins\nZeile zwei °");
        QString on = QStringLiteral("On");
        ASSERT_TRUE(engine.SetAttributeValue(attribute, "705"));
        ASSERT_TRUE(engine.SetTextValue("3EC", text)) << engine.lastError().toStdString();
        ASSERT_TRUE(engine.SetLayerColor("Layer1", 3));
        ASSERT_TRUE(engine.SetLayerDisplay("Layer_Off", on));
        ASSERT_TRUE(engine.DeleteEntity("3B9"));
        ASSERT_TRUE(engine.SaveDrawing(path)) << engine.lastError().toStdString();
        EXPECT_EQ(path, tmp.filePath(QString(name).replace(".dwg", ".dxf")));
        EXPECT_EQ(QCryptographicHash::hash(readAll(dwg), QCryptographicHash::Sha256), before) << "the DWG was written";

        Content saved = contentOf(path);
        ASSERT_FALSE(saved.items.empty());
        // Apply the edits to the original content: then the two must agree.
        std::vector<contentcompare::Item> expected;
        for (contentcompare::Item i : original.items) {
            QString key = contentcompare::keyOf(i);
            if (key == "Text 3B9") continue;
            if (key == "Attribute 705") i.fields["AttributeValue"] = attribute;
            if (key == "MText 3EC") i.fields["Value"] = "Zeile eins\\PZeile zwei °";
            if (key == "Layer Layer1") i.fields["Color"] = "3";
            if (key == "Layer Layer_Off") i.fields["Display"] = "On";
            expected.push_back(i);
        }
        original.items = expected;
        QStringList diff = contentcompare::differences(original, saved);
        EXPECT_TRUE(diff.isEmpty()) << name << ":\n  " << diff.join("\n  ").toStdString();

        auto problems = outsideReaderErrors({path});
        if (problems) {
            EXPECT_TRUE(problems->isEmpty()) << problems->toStdString();
        }
    }
}

TEST(DwgSave, EveryCorpusDwgSavesAsADxfThatAnOutsideReaderAccepts)
{
    QTemporaryDir tmp;
    QStringList saved;
    for (const QString& dwg : corpusDwgs()) {
        ddvue::DDVueEngine engine;
        QString path = dwg;
        ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
        QString target = tmp.filePath(QFileInfo(dwg).fileName());
        ASSERT_TRUE(engine.SaveDrawing(target)) << engine.lastError().toStdString();
        ASSERT_TRUE(target.endsWith(".dxf"));
        EXPECT_FALSE(QFile::exists(tmp.filePath(QFileInfo(dwg).fileName()))) << "a DWG was written";
        saved << target;

        // The saved DXF reads back to the same content, under the DXF's version.
        Content a = contentOf(dwg), b = contentOf(target);
        b.version = a.version;
        QStringList diff = contentcompare::differences(a, b);
        EXPECT_TRUE(diff.isEmpty()) << dwg.toStdString() << ":\n  " << diff.join("\n  ").toStdString();
    }
    auto problems = outsideReaderErrors(saved);
    if (!problems) GTEST_SKIP() << "ezdxf is not installed for /usr/bin/python3";
    EXPECT_TRUE(problems->isEmpty()) << problems->toStdString();
}

TEST(DwgCommandLine, InfoTellsVersionAndWhatWasNotBroughtAcross)
{
    QProcess p;
    p.start(testpaths::program(), {"info", testpaths::corpus("sample_R14.dwg")});
    ASSERT_TRUE(p.waitForFinished(120000));
    QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("Version code: 12\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("Block attributes: 1\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("Entities not brought across: [1-9]"))) << out.toStdString();
}

TEST(DwgTwin, EntitiesHaveTheGeometryAndPropertiesOfTheirTwins)
{
    // Every entity of the DXF twin that the DWG brings across, compared by
    // handle: layer, line type, colour, and the first point, sizes and angles
    // wherever both hold them. This catches units (radians for degrees),
    // swapped points and lost properties that the content does not show.
    const std::vector<int> texts = {8, 6, 2};
    const std::vector<int> numbers = {10, 20, 30, 11, 21, 31, 12, 22, 13, 23, 14, 24, 15, 25, 16, 26, 40, 41, 42, 50, 51, 62, 70, 71, 72};
    for (const QString& dwg : corpusDwgs()) {
        QString twin = dwg.left(dwg.size() - 4) + "_ascii.dxf";
        if (!QFile::exists(twin)) continue;
        ddvue::DDVueEngine a, b;
        QString pa = twin, pb = dwg;
        ASSERT_TRUE(a.OpenDrawing(pa));
        ASSERT_TRUE(b.OpenDrawing(pb));
        const ddvue::dxf::Document& expected = *a.document();
        const ddvue::dxf::Document& got = *b.document();
        QStringList diff;
        int compared = 0;
        for (std::uint32_t i = 0; i < expected.recordCount(); ++i) {
            const auto& r = expected.record(i);
            if (r.section != ddvue::dxf::Section::Entities && r.section != ddvue::dxf::Section::Blocks) continue;
            auto j = got.findHandle(r.handle);
            if (!j) continue;
            ddvue::dxf::RecordView e = expected.view(i), g = got.view(*j);
            QString where = QString::fromStdString(std::string(e.type()) + " " + ddvue::dxf::Document::formatHandle(r.handle));
            if (e.type() != g.type()) {
                diff << where + " is a " + QString::fromStdString(std::string(g.type()));
                continue;
            }
            ++compared;
            for (int code : texts) {
                int x = e.findMain(code), y = g.findMain(code);
                if (x >= 0 && y >= 0 && e.text(x) != g.text(y))
                    diff << QStringLiteral("%1 group %2: %3, expected %4")
                                .arg(where)
                                .arg(code)
                                .arg(QString::fromStdString(g.text(y)), QString::fromStdString(e.text(x)));
            }
            // Multi-line texts carry their columns in an embedded object, leaders
            // a last point and splines from fit points their control points
            // that the DWG library does not give.
            if (e.type() == "MTEXT" || e.type() == "LEADER" || e.type() == "SPLINE") continue;
            for (int code : numbers) {
                int x = e.findMain(code), y = g.findMain(code);
                if (x < 0 || y < 0) continue;
                // A hatch comes without its boundary objects, so no longer associative.
                if (code == 71 && e.type() == "HATCH") continue;
                double u = e.real(x), v = g.real(y);
                if (std::fabs(u - v) > 1e-9 * std::max({1.0, std::fabs(u), std::fabs(v)}))
                    diff << QStringLiteral("%1 group %2: %3, expected %4").arg(where).arg(code).arg(v, 0, 'g', 17).arg(u, 0, 'g', 17);
            }
        }
        EXPECT_GT(compared, 300) << dwg.toStdString();
        EXPECT_TRUE(diff.isEmpty()) << QFileInfo(dwg).fileName().toStdString() << ":\n  "
                                    << diff.mid(0, 40).join("\n  ").toStdString();
    }
}

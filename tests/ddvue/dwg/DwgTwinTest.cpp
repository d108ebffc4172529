// A DWG drawing and the DXF that its CAD program wrote for it give the same
// content; edits to a DWG are saved as a valid DXF beside it.

#include "ContentCompare.h"
#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

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

}  // namespace

TEST(DwgTwin, EveryCorpusDwgHasTheContentOfItsDxfTwin)
{
    QStringList dwgs = corpusDwgs();
    ASSERT_GE(dwgs.size(), 7);
    int compared = 0;
    for (const QString& dwg : dwgs) {
        QString error;
        Content fromDwg = contentOf(dwg, &error);
        ASSERT_TRUE(error.isEmpty()) << dwg.toStdString() << ": " << error.toStdString();
        EXPECT_FALSE(fromDwg.items.empty()) << dwg.toStdString();
        // The ASCII twin: a binary DXF keeps line breaks in texts as they
        // are, where ASCII DXF (and so the DXF made from a DWG) writes them
        // in caret form, and the engine lists texts as stored.
        QString twin = dwg.left(dwg.size() - 4) + "_ascii.dxf";
        if (QFile::exists(twin)) {
            Content fromDxf = contentOf(twin, &error);
            ASSERT_TRUE(error.isEmpty()) << twin.toStdString() << ": " << error.toStdString();
            QStringList diff = contentcompare::differences(fromDxf, fromDwg);
            EXPECT_TRUE(diff.isEmpty()) << QFileInfo(dwg).fileName().toStdString() << " against "
                                        << QFileInfo(twin).fileName().toStdString() << ":\n  "
                                        << diff.mid(0, 40).join("\n  ").toStdString();
            ++compared;
        }
    }
    EXPECT_GE(compared, 6);
}

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

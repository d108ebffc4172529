// Edits made in the grid reach the drawing, and a save writes them: after
// typing into cells, Replace All, a row deleted, a long multi-line text from
// the zoom editor's path and layer entries, the saved drawing read by an
// independent reader (ezdxf) holds exactly what the grid shows, every other
// entity and layer as before, and every record the edits did not touch has
// the same groups, byte for byte. In every DXF version from R12 to 2018,
// ASCII and binary, and in a Chinese code-page drawing.

#include "Drawings.h"
#include "GridFixture.h"
#include "Oracle.h"
#include "TestPaths.h"

#include "edit/SaveDrawing.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>

#include <csignal>
#include <sys/resource.h>

using extract::Category;

namespace {

const QString kAttributeValue = QStringLiteral("  Rev \"C\" <draft> & 'x' = 1 — Ωμέγα 中文 ✓ Ärger");
const QString kTextValue = QStringLiteral("Öffnung <B1> & \"Tür\" = 'offen' — Δ 门 ½");
const QString kReplacement = QStringLiteral("«Ersetzt ✓ 替换»");

QString longMultiLine()
{
    QString v = QStringLiteral("{\\fArial|b1|i0|c0|p34;Überarbeitet}");
    for (int k = 1; k <= 12; ++k) v += QStringLiteral("\nZeile %1: Façade Ω%1 尺寸 «x» & <y> = \"z\" — %1 € \\S1/2;").arg(k);
    return v;
}

// What the grid shows after the edits, and what they may have touched.
struct Expected {
    QHash<QString, QString> values;  // handle -> the value the grid shows
    QHash<QString, QPair<QString, QString>> layers;  // name -> display, color as the grid shows them
    QSet<QString> deleted;           // handles deleted through the grid
    QSet<QString> touched;           // handles of records an edit may change
    QSet<QString> touchedLayers;     // names and handles of layers an edit may change
};

QStringList valuesOf(const Grid& g, int column)
{
    QStringList out;
    for (int r = 0; r < g.rs.rowCount(); ++r) out << g.cell(r, column);
    return out;
}

void remember(const Grid& g, int column, const QStringList& before, Expected& e)
{
    for (int r = 0; r < g.rs.rowCount(); ++r) {
        e.values[g.key(r)] = g.cell(r, column);
        if (g.cell(r, column) != before[r]) e.touched << g.key(r).toUpper();
    }
}

// Edits every category of the drawing through the grid editor, as a person
// would in the grid.
void editInTheGrid(Grid& g, Expected& e)
{
    // Block attributes: one typed, then Replace All, then a row deleted.
    g.show(Category::Attributes);
    if (g.rs.rowCount() >= 3) {
        QStringList before = valuesOf(g, 7);
        g.rs.setCurrentRow(0);
        EXPECT_TRUE(g.type(7, kAttributeValue).written());
        QString last = g.cell(g.rs.rowCount() - 1, 7);
        g.editor->ReplaceAll({last.left(3), kReplacement, false, false});
        g.rs.setCurrentRow(1);
        const QString gone = g.key(1);
        EXPECT_FALSE(g.editor->BeforeDelete());
        g.rs.Delete();
        before.removeAt(1);
        e.deleted << gone.toUpper();
        remember(g, 7, before, e);
        EXPECT_EQ(e.values[g.key(0)], kAttributeValue);
    }
    // Single-line text: one typed, and a replacement in every value with a blank.
    g.show(Category::SingleText);
    if (g.rs.rowCount() >= 2) {
        QStringList before = valuesOf(g, 2);
        g.rs.setCurrentRow(0);
        EXPECT_TRUE(g.type(2, kTextValue).written());
        g.editor->ReplaceAll({QStringLiteral(" "), QStringLiteral(" · "), false, false});
        g.rs.setCurrentRow(g.rs.rowCount() - 1);
        const QString gone = g.key(g.rs.currentRow());
        EXPECT_FALSE(g.editor->BeforeDelete());
        g.rs.Delete();
        before.removeLast();
        e.deleted << gone.toUpper();
        remember(g, 2, before, e);
    }
    // Multi-line text: a long value with line breaks, as the zoom editor writes it.
    g.show(Category::MultiText);
    if (g.rs.rowCount() >= 1) {
        QStringList before = valuesOf(g, 2);
        g.rs.setCurrentRow(0);
        EXPECT_TRUE(g.editor->writeCell(*g.editor->currentCell(2), longMultiLine()).written());
        EXPECT_TRUE(g.cell(0, 2).contains(QStringLiteral("\\PZeile 12"))) << g.cell(0, 2).toStdString();
        remember(g, 2, before, e);
    }
    // Layers: one switched off, typed in another letter case; another's color halved to even.
    g.show(Category::Layers);
    int off = -1, colored = -1;
    for (int r = 0; r < g.rs.rowCount(); ++r) {
        if (g.key(r) == QLatin1String("0")) continue;
        if (off < 0 && g.cell(r, 1) == QLatin1String("On")) off = r;
        else if (colored < 0) colored = r;
    }
    auto touchLayer = [&](const QString& name) {
        const auto* doc = g.drawing.engine().document();
        auto index = doc->findLayer(name.toStdString());
        e.touchedLayers << name
                        << QString::fromStdString(
                               ddvue::dxf::Document::formatHandle(doc->record(doc->layers()[*index].record).handle));
    };
    if (off >= 0) {
        g.rs.setCurrentRow(off);
        EXPECT_TRUE(g.type(1, QStringLiteral("oFF")).written());
        touchLayer(g.key(off));
    }
    if (colored >= 0) {
        g.rs.setCurrentRow(colored);
        EXPECT_TRUE(g.type(2, QStringLiteral("12.5")).written());
        EXPECT_EQ(g.cell(colored, 2), "12");
        touchLayer(g.key(colored));
    }
    for (int r = 0; r < g.rs.rowCount(); ++r) e.layers[g.key(r)] = {g.cell(r, 1), g.cell(r, 2)};
}

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

// The records a save changed, as tests/tools/dxf_group_diff.py reports them.
QJsonObject groupDiff(const QString& original, const QString& saved)
{
    QProcess p;
    p.start(oracle::python(), {testpaths::sourceDir() + QStringLiteral("/tests/tools/dxf_group_diff.py"), original, saved});
    if (!p.waitForFinished(300000)) return {{QStringLiteral("error"), QStringLiteral("timed out")}};
    QJsonObject out = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    if (p.exitCode() != 0 && !out.contains(QLatin1String("error")))
        out.insert(QStringLiteral("error"), QString::fromUtf8(p.readAllStandardError()));
    return out;
}

// The group codes an edit of a record of this type may change.
QSet<int> editableCodes(const QString& type)
{
    if (type == QLatin1String("ATTRIB") || type == QLatin1String("MTEXT")) return {1, 3};
    if (type == QLatin1String("TEXT")) return {1};
    if (type == QLatin1String("INSERT")) return {66};  // no attributes follow once its last one is gone
    if (type == QLatin1String("LAYER")) return {62, 420, 430};
    return {};
}

void checkSaved(const QString& original, const QString& saved, const oracle::Dump& before, const oracle::Dump& after,
                Expected e)
{
    ASSERT_TRUE(before.ok()) << before.error.toStdString();
    ASSERT_TRUE(after.ok()) << "the reader cannot read the saved drawing: " << after.error.toStdString();
    QJsonObject was = before.json, now = after.json;

    // The deleted attributes' inserts may lose their "attributes follow" flag.
    QJsonObject entitiesBefore = was.value(QLatin1String("entities")).toObject();
    QJsonObject entitiesAfter = now.value(QLatin1String("entities")).toObject();
    for (auto it = entitiesBefore.begin(); it != entitiesBefore.end(); ++it)
        for (const QJsonValue& a : it.value().toObject().value(QLatin1String("attribs")).toArray())
            if (e.deleted.contains(a.toString().toUpper())) e.touched << it.key().toUpper();

    // Values: exactly what the grid shows.
    int seen = 0;
    for (const char* list : {"attributes", "texts"}) {
        for (const QJsonValue& v : now.value(QLatin1String(list)).toArray()) {
            QJsonObject o = v.toObject();
            QString handle = str(o, "handle");
            EXPECT_FALSE(e.deleted.contains(handle.toUpper())) << handle.toStdString() << " was deleted";
            auto shown = e.values.find(handle);
            if (shown == e.values.end()) continue;  // listed in no view (inside a block definition, say)
            ++seen;
            EXPECT_EQ(str(o, "value"), *shown) << list << " " << handle.toStdString();
        }
    }
    EXPECT_GT(seen, 0);
    for (const QString& handle : e.deleted) EXPECT_FALSE(entitiesAfter.contains(handle)) << handle.toStdString();

    // Every entity the edits did not touch, as it was.
    for (auto it = entitiesBefore.begin(); it != entitiesBefore.end(); ++it) {
        if (e.touched.contains(it.key().toUpper()) || e.deleted.contains(it.key().toUpper())) continue;
        QStringList diffs = oracle::diffJson(it.value(), entitiesAfter.value(it.key()), it.key());
        EXPECT_TRUE(diffs.isEmpty()) << oracle::summary(diffs);
    }
    // Layers: on and color as the grid shows them, every other value as it was.
    QJsonArray layersBefore = was.value(QLatin1String("layers")).toArray();
    QJsonArray layersAfter = now.value(QLatin1String("layers")).toArray();
    ASSERT_EQ(layersBefore.size(), layersAfter.size());
    for (qsizetype k = 0; k < layersAfter.size(); ++k) {
        QJsonObject l = layersAfter[k].toObject(), old = layersBefore[k].toObject();
        QString name = str(l, "name");
        ASSERT_TRUE(e.layers.contains(name)) << name.toStdString();
        EXPECT_EQ(l.value(QLatin1String("on")).toBool(), e.layers[name].first == QLatin1String("On")) << name.toStdString();
        EXPECT_EQ(QString::number(l.value(QLatin1String("color")).toInt()), e.layers[name].second) << name.toStdString();
        for (const char* same : {"name", "frozen", "locked"})
            EXPECT_EQ(l.value(QLatin1String(same)), old.value(QLatin1String(same))) << name.toStdString();
    }

    // Byte for byte: only the records the edits touched changed, and in them
    // only the groups those edits change.
    QJsonObject diff = groupDiff(original, saved);
    ASSERT_FALSE(diff.contains(QLatin1String("error"))) << str(diff, "error").toStdString();
    for (const QJsonValue& v : diff.value(QLatin1String("changed")).toArray()) {
        QJsonObject c = v.toObject();
        QString handle = str(c, "handle"), type = str(c, "type");
        if (type == QLatin1String("LAYER"))
            EXPECT_TRUE(e.touchedLayers.contains(handle.isEmpty() ? str(c, "name") : handle))
                << "layer " << handle.toStdString() << " " << str(c, "name").toStdString() << " changed";
        else
            EXPECT_TRUE(e.touched.contains(handle)) << type.toStdString() << " " << handle.toStdString() << " changed";
        QSet<int> allowed = editableCodes(type);
        for (const QJsonValue& code : c.value(QLatin1String("codes")).toArray())
            EXPECT_TRUE(allowed.contains(code.toInt()))
                << type.toStdString() << " " << handle.toStdString() << ": group " << code.toInt() << " changed";
    }
    for (const QJsonValue& v : diff.value(QLatin1String("removed")).toArray()) {
        QJsonObject r = v.toObject();
        EXPECT_TRUE(e.deleted.contains(str(r, "handle")) || str(r, "type") == QLatin1String("SEQEND"))
            << str(r, "type").toStdString() << " " << str(r, "handle").toStdString() << " removed";
    }
    EXPECT_TRUE(diff.value(QLatin1String("added")).toArray().isEmpty())
        << QJsonDocument(diff.value(QLatin1String("added")).toArray()).toJson().toStdString();
}

void editAndSave(const QStringList& drawings)
{
    struct Run {
        QString original, saved;
        Expected expected;
    };
    std::vector<Run> runs;
    QStringList paths;
    for (const QString& drawing : drawings) {
        SCOPED_TRACE(drawing.toStdString());
        Grid g(drawing);
        Run run{drawing, QString(), {}};
        editInTheGrid(g, run.expected);
        edit::SaveResult saved = edit::saveDrawing(g.drawing, g.drawing.engine().path(), nullptr);
        ASSERT_TRUE(saved.saved) << g.drawing.engine().lastError().toStdString();
        EXPECT_TRUE(g.boxes.shown.size() <= 2u) << "the two counts of Replace All, nothing else";
        run.saved = oracle::scratch(QStringLiteral("grid-") + QString::fromStdString(oracle::testName(drawing)) +
                                    QStringLiteral(".dxf"));
        QFile::remove(run.saved);
        ASSERT_TRUE(QFile::copy(saved.path, run.saved));
        paths << run.original << run.saved;
        runs.push_back(std::move(run));
    }
    std::vector<oracle::Dump> dumps = oracle::readWithOracle(paths, true);
    for (std::size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(runs[k].original.toStdString());
        checkSaved(runs[k].original, runs[k].saved, dumps[2 * k], dumps[2 * k + 1], runs[k].expected);
    }
}

}  // namespace

TEST(GridSave, EveryVersionAsciiAndBinary)
{
    QString error;
    const QStringList& files = oracle::ezdxfDrawings(&error);
    ASSERT_EQ(files.size(), 14) << error.toStdString();
    editAndSave(files);
}

TEST(GridSave, CodePageAndCadDrawings)
{
    editAndSave({testpaths::testData("odd/chinese-ANSI_936-2000.dxf"), testpaths::samples("office-floor-plan-2000.dxf"),
                 testpaths::samples("library-floor-plan-2013-binary.dxf"), testpaths::corpus("sample_R12_ascii.dxf")});
}

TEST(GridSave, ADwgIsSavedAsTheDxfBesideIt)
{
    Grid g(testpaths::corpus("sample_2018.dwg"));
    ASSERT_TRUE(g.drawing.engine().isOpen());
    ASSERT_GT(g.rs.rowCount(), 0);
    g.rs.setCurrentRow(0);
    ASSERT_TRUE(g.type(7, kAttributeValue).written());
    const QString handle = g.key(0);
    edit::SaveResult saved = edit::saveDrawing(g.drawing, g.drawing.engine().path(), nullptr);
    ASSERT_TRUE(saved.saved) << g.drawing.engine().lastError().toStdString();
    EXPECT_TRUE(saved.path.endsWith(QLatin1String("sample_2018.dxf"))) << saved.path.toStdString();
    oracle::Dump dump = oracle::readWithOracle(saved.path);
    ASSERT_TRUE(dump.ok()) << dump.error.toStdString();
    bool found = false;
    for (const QJsonValue& v : dump.json.value(QLatin1String("attributes")).toArray())
        if (str(v.toObject(), "handle") == handle) found = str(v.toObject(), "value") == kAttributeValue;
    EXPECT_TRUE(found);
}

TEST(GridSave, AFailedSaveSaysWhyAndKeepsTheChanges)
{
    Grid g(testpaths::samples("office-floor-plan-2000.dxf"));
    g.rs.setCurrentRow(0);
    ASSERT_TRUE(g.type(7, QStringLiteral("changed")).written());
    const QString path = g.drawing.engine().path();
    auto bytesOf = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytesOf(path);

    // A disk that is full: the file may grow no larger than a few bytes. The
    // size signal is left at its default, which would end the program, so
    // that only the save's own handling keeps the test running.
    struct sigaction fallback {}, previous {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGXFSZ, &fallback, &previous);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    edit::SaveResult r = edit::saveDrawing(g.drawing, path, nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(r.saved);
    ASSERT_EQ(g.boxes.shown.size(), 1u);
    const QString text = g.boxes.shown[0].text;
    EXPECT_TRUE(text.startsWith(QLatin1String("The drawing could not be saved."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("too large"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("changes are kept"))) << text.toStdString();
    EXPECT_EQ(g.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_EQ(bytesOf(path), before) << "the drawing's file is whole";
    EXPECT_EQ(g.held(0), "changed") << "the change is still in the drawing";
    EXPECT_TRUE(edit::saveDrawing(g.drawing, path, nullptr).saved) << "and is saved once there is room";
    EXPECT_NE(bytesOf(path), before);
}

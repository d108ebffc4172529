// `tessilux edit` changes exactly what each operation names, as the outside
// reader sees it: the whole dump before and after is compared, with the
// named change applied to the "before" side. The saved drawing passes the
// reader's audit without new errors, and an unchanged open-and-save gives
// back the file's bytes.

#include "Drawings.h"
#include "Oracle.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QMap>
#include <QRegularExpression>

#include <cmath>

#include <functional>

#include <gtest/gtest.h>

namespace {

using namespace oracle;

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// ---- Changing a dump the way an operation should change the drawing.

// Sets (or, with an undefined value, removes) a value at a path of keys.
void setPath(QJsonObject& object, const QStringList& path, const QJsonValue& value)
{
    if (path.size() == 1) {
        if (value.isUndefined()) object.remove(path[0]);
        else object.insert(path[0], value);
        return;
    }
    QJsonObject child = object.value(path[0]).toObject();
    setPath(child, path.mid(1), value);
    object.insert(path[0], child);
}

// Rewrites or drops the records of a list: `change` returns false to drop.
void editList(QJsonObject& dump, const QString& list, const std::function<bool(QJsonObject&)>& change)
{
    QJsonArray out;
    for (const QJsonValue& v : dump.value(list).toArray()) {
        QJsonObject o = v.toObject();
        if (change(o)) out.append(o);
    }
    dump.insert(list, out);
}

QJsonObject entity(const QJsonObject& dump, const QString& handle)
{
    return dump.value(QLatin1String("entities")).toObject().value(handle).toObject();
}

QString str(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

void removeEntity(QJsonObject& dump, const QString& handle) { setPath(dump, {QStringLiteral("entities"), handle}, QJsonValue::Undefined); }

void setAttribute(QJsonObject& dump, const QString& handle, const QString& value)
{
    editList(dump, QStringLiteral("attributes"), [&](QJsonObject& a) {
        if (str(a, "handle") == handle) a.insert(QStringLiteral("value"), value);
        return true;
    });
    setPath(dump, {QStringLiteral("entities"), handle, QStringLiteral("dxf"), QStringLiteral("text")}, value);
    // A multi-line attribute carries its text twice; both change.
    if (entity(dump, handle).contains(QLatin1String("embedded_text")))
        setPath(dump, {QStringLiteral("entities"), handle, QStringLiteral("embedded_text")}, value);
}

void setText(QJsonObject& dump, const QString& handle, const QString& value)
{
    editList(dump, QStringLiteral("texts"), [&](QJsonObject& t) {
        if (str(t, "handle") == handle) t.insert(QStringLiteral("value"), value);
        return true;
    });
    if (str(entity(dump, handle), "type") == QLatin1String("MTEXT")) {
        setPath(dump, {QStringLiteral("entities"), handle, QStringLiteral("text")}, value);
        // However long the value, it is stored in pieces that DXF allows.
        setPath(dump, {QStringLiteral("entities"), handle, QStringLiteral("chunks_fit")}, true);
    }
    else
        setPath(dump, {QStringLiteral("entities"), handle, QStringLiteral("dxf"), QStringLiteral("text")}, value);
}

void setEntityColor(QJsonObject& dump, const QString& handle, int color)
{
    QStringList dxf{QStringLiteral("entities"), handle, QStringLiteral("dxf")};
    setPath(dump, dxf + QStringList{QStringLiteral("color")}, color);
    // A true color would hide the new color number: it goes.
    setPath(dump, dxf + QStringList{QStringLiteral("true_color")}, QJsonValue::Undefined);
    setPath(dump, dxf + QStringList{QStringLiteral("color_name")}, QJsonValue::Undefined);
}

void deleteEntity(QJsonObject& dump, const QString& handle)
{
    QJsonObject e = entity(dump, handle);
    QString type = str(e, "type");
    if (type == QLatin1String("ATTRIB")) {
        // The INSERT stays; it loses this one attribute, and the "attributes
        // follow" flag when none is left.
        QJsonObject entities = dump.value(QLatin1String("entities")).toObject();
        for (auto it = entities.begin(); it != entities.end(); ++it) {
            QJsonObject owner = it.value().toObject();
            QJsonArray attribs = owner.value(QLatin1String("attribs")).toArray();
            if (!attribs.contains(handle)) continue;
            QJsonArray left;
            for (const QJsonValue& a : attribs)
                if (a.toString() != handle) left.append(a);
            owner.insert(QStringLiteral("attribs"), left);
            if (left.isEmpty()) {
                QJsonObject dxf = owner.value(QLatin1String("dxf")).toObject();
                dxf.remove(QStringLiteral("attribs_follow"));
                owner.insert(QStringLiteral("dxf"), dxf);
            }
            it.value() = owner;
        }
        dump.insert(QStringLiteral("entities"), entities);
        editList(dump, QStringLiteral("attributes"), [&](QJsonObject& a) { return str(a, "handle") != handle; });
    } else if (type == QLatin1String("INSERT")) {
        for (const QJsonValue& a : e.value(QLatin1String("attribs")).toArray()) removeEntity(dump, a.toString());
        editList(dump, QStringLiteral("attributes"), [&](QJsonObject& a) { return str(a, "insert") != handle; });
    }
    editList(dump, QStringLiteral("texts"), [&](QJsonObject& t) { return str(t, "handle") != handle; });
    removeEntity(dump, handle);
}

void editLayer(QJsonObject& dump, const QString& name, const std::function<void(QJsonObject& layer, QJsonObject& dxf)>& change)
{
    editList(dump, QStringLiteral("layers"), [&](QJsonObject& layer) {
        if (str(layer, "name") == name) {
            QJsonObject dxf = layer.value(QLatin1String("dxf")).toObject();
            change(layer, dxf);
            layer.insert(QStringLiteral("dxf"), dxf);
        }
        return true;
    });
}

void setLayerDisplay(QJsonObject& dump, const QString& name, bool on)
{
    editLayer(dump, name, [&](QJsonObject& layer, QJsonObject& dxf) {
        int color = layer.value(QLatin1String("color")).toInt();
        layer.insert(QStringLiteral("on"), on);
        dxf.insert(QStringLiteral("color"), on ? color : -color);
    });
}

void setLayerColor(QJsonObject& dump, const QString& name, int color)
{
    editLayer(dump, name, [&](QJsonObject& layer, QJsonObject& dxf) {
        bool on = layer.value(QLatin1String("on")).toBool();
        layer.insert(QStringLiteral("color"), color);
        layer.remove(QStringLiteral("true_color"));
        dxf.insert(QStringLiteral("color"), on ? color : -color);
        dxf.remove(QStringLiteral("true_color"));
        dxf.remove(QStringLiteral("color_name"));
    });
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Every reference to layer `from` names `to`: entities (attributes and
// entities in blocks too) and the lists' layer fields. With `merged`, the
// layer's own entry goes; else it takes the new name.
void moveLayer(QJsonObject& dump, const QString& from, const QString& to, bool merged)
{
    editList(dump, QStringLiteral("layers"), [&](QJsonObject& layer) {
        if (!sameName(str(layer, "name"), from)) return true;
        if (merged) return false;
        layer.insert(QStringLiteral("name"), to);
        QJsonObject dxf = layer.value(QLatin1String("dxf")).toObject();
        dxf.insert(QStringLiteral("name"), to);
        layer.insert(QStringLiteral("dxf"), dxf);
        return true;
    });
    for (const char* list : {"attributes", "texts"})
        editList(dump, QLatin1String(list), [&](QJsonObject& o) {
            if (sameName(str(o, "layer"), from)) o.insert(QStringLiteral("layer"), to);
            return true;
        });
    QJsonObject entities = dump.value(QLatin1String("entities")).toObject();
    for (auto it = entities.begin(); it != entities.end(); ++it) {
        QJsonObject e = it.value().toObject();
        QJsonObject dxf = e.value(QLatin1String("dxf")).toObject();
        if (!sameName(dxf.value(QLatin1String("layer")).toString(), from)) continue;
        dxf.insert(QStringLiteral("layer"), to);
        e.insert(QStringLiteral("dxf"), dxf);
        it.value() = e;
    }
    dump.insert(QStringLiteral("entities"), entities);
}

// ---- The operations tried on a drawing, chosen from what it holds.

struct Operation {
    std::string label;
    QStringList args;
    std::function<void(QJsonObject&)> expect;
};

// Values that must survive writing and reading back: markup characters, an
// equals sign after the first, leading spaces, accents, Greek, Chinese and a
// symbol no single-byte code page has.
const QString kAttributeValue = QStringLiteral("  Rev \"C\" <draft> & 'x' = 1 — Ωμέγα 中文 ✓ Ärger");
const QString kTextValue = QStringLiteral("Öffnung <B1> & \"Tür\" = 'offen' — Δ 门 ½");

QString longMText()
{
    QString v = QStringLiteral("{\\fArial|b1|i0|c0|p34;Überarbeitet}\\P");
    for (int k = 1; k <= 8; ++k)
        v += QStringLiteral("Zeile %1: Façade Ω%1 尺寸 «x» & <y> = \"z\" — %1 € \\S1/2;\\P").arg(k);
    return v;
}

std::vector<Operation> operationsFor(const QJsonObject& dump)
{
    std::vector<Operation> ops;
    QJsonArray attributes = dump.value(QLatin1String("attributes")).toArray();
    QJsonArray texts = dump.value(QLatin1String("texts")).toArray();
    QJsonObject entities = dump.value(QLatin1String("entities")).toObject();
    QJsonArray layers = dump.value(QLatin1String("layers")).toArray();

    // An attribute: the title when there is one (several lines in some
    // drawings), else the first.
    QString attribute;
    for (const QJsonValue& v : attributes)
        if (attribute.isEmpty() || str(v.toObject(), "tag") == QLatin1String("TITLE")) attribute = str(v.toObject(), "handle");
    if (!attribute.isEmpty()) {
        ops.push_back({"set-attribute", {QStringLiteral("--set-attribute"), attribute + QLatin1Char('=') + kAttributeValue},
                       [=](QJsonObject& d) { setAttribute(d, attribute, kAttributeValue); }});
    }
    // Every multi-line attribute, whichever way its drawing keeps it: a long
    // value typed with line breaks, which both its own value and its
    // embedded text hold whole, the breaks as paragraph breaks.
    QStringList multiLineArgs, multiLine;
    QString typed = longMText();
    typed.replace(QStringLiteral("\\P"), QStringLiteral("\n"));
    for (const QJsonValue& v : attributes) {
        QString h = str(v.toObject(), "handle");
        if (!entity(dump, h).contains(QLatin1String("embedded_text"))) continue;
        multiLine << h;
        multiLineArgs << QStringLiteral("--set-attribute") << h + QLatin1Char('=') + typed;
    }
    if (!multiLine.isEmpty()) {
        ops.push_back({"set-multi-line-attributes", multiLineArgs, [=](QJsonObject& d) {
                           for (const QString& h : multiLine) setAttribute(d, h, longMText());
                       }});
    }

    QString text, mtext, coloredText;
    int longest = -1;
    for (const QJsonValue& v : texts) {
        QJsonObject t = v.toObject();
        QString h = str(t, "handle");
        if (str(t, "type") == QLatin1String("TEXT")) {
            if (text.isEmpty()) text = h;
        } else if (str(t, "value").size() > longest) {
            longest = static_cast<int>(str(t, "value").size());
            mtext = h;
        }
        if (coloredText.isEmpty() && entity(dump, h).value(QLatin1String("dxf")).toObject().contains(QLatin1String("true_color")))
            coloredText = h;
    }
    if (!text.isEmpty()) {
        ops.push_back({"set-text-TEXT", {QStringLiteral("--set-text"), text + QLatin1Char('=') + kTextValue},
                       [=](QJsonObject& d) { setText(d, text, kTextValue); }});
        ops.push_back({"delete-TEXT", {QStringLiteral("--delete"), text}, [=](QJsonObject& d) { deleteEntity(d, text); }});
    }
    if (!mtext.isEmpty()) {
        QString value = longMText();
        ops.push_back({"set-text-MTEXT", {QStringLiteral("--set-text"), mtext + QLatin1Char('=') + value},
                       [=](QJsonObject& d) { setText(d, mtext, value); }});
        ops.push_back({"delete-MTEXT", {QStringLiteral("--delete"), mtext}, [=](QJsonObject& d) { deleteEntity(d, mtext); }});
    }
    QString colorTarget = !coloredText.isEmpty() ? coloredText : text;
    if (!colorTarget.isEmpty()) {
        ops.push_back({"entity-color", {QStringLiteral("--entity-color"), colorTarget + QStringLiteral("=5")},
                       [=](QJsonObject& d) { setEntityColor(d, colorTarget, 5); }});
    }

    // An INSERT with several attributes: delete it whole, and delete its
    // second attribute alone. An INSERT with a single attribute: delete that
    // attribute, which leaves an INSERT without any.
    bool several = false, single = false;
    for (auto it = entities.begin(); it != entities.end(); ++it) {
        QJsonArray attribs = it.value().toObject().value(QLatin1String("attribs")).toArray();
        QString insert = it.key();
        if (attribs.size() >= 2 && !several) {
            several = true;
            QString second = attribs[1].toString();
            ops.push_back({"delete-INSERT", {QStringLiteral("--delete"), insert}, [=](QJsonObject& d) { deleteEntity(d, insert); }});
            ops.push_back({"delete-ATTRIB", {QStringLiteral("--delete"), second}, [=](QJsonObject& d) { deleteEntity(d, second); }});
        } else if (attribs.size() == 1 && !single) {
            single = true;
            QString only = attribs[0].toString();
            ops.push_back({"delete-only-ATTRIB", {QStringLiteral("--delete"), only}, [=](QJsonObject& d) { deleteEntity(d, only); }});
        }
    }

    // Layers: one that is on goes off, one that is off comes on; a color for
    // a layer with a true color (which must go), else for one that is off
    // (which must stay off).
    QString onLayer, offLayer, trueColorLayer;
    for (const QJsonValue& v : layers) {
        QJsonObject l = v.toObject();
        QString name = str(l, "name");
        if (name == QLatin1String("0")) continue;
        if (l.value(QLatin1String("on")).toBool() && onLayer.isEmpty()) onLayer = name;
        if (!l.value(QLatin1String("on")).toBool() && offLayer.isEmpty()) offLayer = name;
        if (l.contains(QLatin1String("true_color")) && trueColorLayer.isEmpty()) trueColorLayer = name;
    }
    if (!onLayer.isEmpty())
        ops.push_back({"layer-display-Off", {QStringLiteral("--layer-display"), onLayer + QStringLiteral("=Off")},
                       [=](QJsonObject& d) { setLayerDisplay(d, onLayer, false); }});
    if (!offLayer.isEmpty())
        ops.push_back({"layer-display-On", {QStringLiteral("--layer-display"), offLayer + QStringLiteral("=On")},
                       [=](QJsonObject& d) { setLayerDisplay(d, offLayer, true); }});
    QString colorLayer = !trueColorLayer.isEmpty() ? trueColorLayer : !offLayer.isEmpty() ? offLayer : onLayer;
    if (!colorLayer.isEmpty())
        ops.push_back({"layer-color", {QStringLiteral("--layer-color"), colorLayer + QStringLiteral("=140")},
                       [=](QJsonObject& d) { setLayerColor(d, colorLayer, 140); }});

    // The layers entities are on (other than 0, Defpoints and those of
    // external references): the first renamed, given in other letter case
    // (names compare without it), with characters a drawing from 2000 on
    // allows and an older one does not; another merged into layer 0.
    QStringList used;
    for (const QJsonValue& v : layers) {
        const QString name = str(v.toObject(), "name");
        if (name == QLatin1String("0") || sameName(name, QStringLiteral("Defpoints")) || name.contains(QLatin1Char('|')))
            continue;
        for (auto it = entities.begin(); it != entities.end(); ++it) {
            if (!sameName(it.value().toObject().value(QLatin1String("dxf")).toObject().value(QLatin1String("layer")).toString(), name))
                continue;
            used << name;
            break;
        }
    }
    const bool extendedNames = str(dump, "version") >= QLatin1String("AC1015");
    if (!used.isEmpty()) {
        const QString old = used.first();
        const QString renamed = extendedNames ? QStringLiteral("Ebène 2 (umbenannt, ü $x)") : QStringLiteral("RENAMED-2_$");
        ops.push_back({"rename-layer", {QStringLiteral("--rename-layer"), old.toLower() + QLatin1Char('=') + renamed},
                       [=](QJsonObject& d) { moveLayer(d, old, renamed, false); }});
        const QString from = used.last();
        ops.push_back({"merge-layer", {QStringLiteral("--merge-layer"), from + QStringLiteral("=0")},
                       [=](QJsonObject& d) { moveLayer(d, from, QStringLiteral("0"), true); }});
    }
    return ops;
}

// Runs every operation on `drawing` (or those named in `only`), each on its
// own copy, and checks the result against the oracle.
void checkEdits(const QString& drawing, const std::string& name, const std::vector<std::string>& only = {})
{
    Dump before = readWithOracle(drawing, true, true);
    ASSERT_TRUE(before.ok()) << before.error.toStdString();
    QJsonObject beforeAudit = before.json.value(QLatin1String("audit")).toObject();
    QJsonObject base = before.json;
    base.remove(QStringLiteral("audit"));

    std::vector<Operation> ops;
    for (Operation& op : operationsFor(base))
        if (only.empty() || std::find(only.begin(), only.end(), op.label) != only.end()) ops.push_back(std::move(op));
    ASSERT_GE(ops.size(), only.empty() ? 6u : 1u) << "too little in the drawing to try the operations on";

    // Each operation on its own copy; then the oracle reads all the copies
    // in one run.
    QStringList outputs;
    for (const Operation& op : ops) {
        SCOPED_TRACE(op.label + " " + op.args.join(QLatin1Char(' ')).left(120).toStdString());
        QString out = scratch(QString::fromStdString(name + "-" + op.label + ".dxf"));
        QFile::remove(out);
        Outcome run = tessilux(QStringList{QStringLiteral("edit"), drawing, QStringLiteral("-o"), out} + op.args);
        ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
        ASSERT_FALSE(run.crashed);
        outputs << out;
    }
    std::vector<Dump> results = readWithOracle(outputs, true, true);

    for (std::size_t k = 0; k < ops.size(); ++k) {
        const Operation& op = ops[k];
        const QString& out = outputs[static_cast<qsizetype>(k)];
        SCOPED_TRACE(op.label + " " + op.args.join(QLatin1Char(' ')).left(120).toStdString());
        const Dump& after = results[k];
        ASSERT_TRUE(after.ok()) << "the oracle cannot read the saved drawing: " << after.error.toStdString();
        QJsonObject expected = base;
        op.expect(expected);
        QJsonObject actual = after.json;
        QJsonObject afterAudit = actual.take(QLatin1String("audit")).toObject();
        QStringList diffs = diffJson(expected, actual);
        EXPECT_TRUE(diffs.isEmpty()) << summary(diffs);
        QStringList fresh = newAuditErrors(beforeAudit, afterAudit);
        EXPECT_TRUE(fresh.isEmpty()) << "new audit errors:\n" << summary(fresh);

        // The program reads back what it wrote the way the oracle does.
        Outcome exported = tessilux({QStringLiteral("export"), out});
        ASSERT_EQ(exported.exitCode, 0) << exported.describe().toStdString();
        QStringList again = compareContent(parseContent(exported.out), actual);
        EXPECT_TRUE(again.isEmpty()) << summary(again);
    }
}

class Edits : public ::testing::TestWithParam<QString> {};

TEST_P(Edits, EachOperationChangesOnlyWhatItNames) { checkEdits(absolute(GetParam()), testName(GetParam())); }

auto nameOf = [](const ::testing::TestParamInfo<QString>& info) { return testName(info.param); };

// Every sample (R12 to 2018, ASCII and binary); among the odd drawings the
// ones whose text or formatting an edit must respect: a Chinese code page,
// escaped table names, a multi-line attribute, LF line ends, bare and
// padded codes, trailing spaces after codes, comments.
INSTANTIATE_TEST_SUITE_P(Samples, Edits, ::testing::ValuesIn(samples()), nameOf);
INSTANTIATE_TEST_SUITE_P(Odd, Edits,
                         ::testing::Values(QStringLiteral("tests/data/odd/chinese-ANSI_936-2000.dxf"),
                                           QStringLiteral("tests/data/odd/escaped-table-names-2000.dxf"),
                                           QStringLiteral("tests/data/odd/multiline-attribute-2018.dxf"),
                                           QStringLiteral("tests/data/odd/lf-line-ends-R12.dxf"),
                                           QStringLiteral("tests/data/odd/unpadded-codes-2004.dxf"),
                                           QStringLiteral("tests/data/odd/trailing-spaces-after-codes-2000.dxf"),
                                           QStringLiteral("tests/data/odd/comments-2007.dxf"),
                                           QStringLiteral("tests/data/odd/binary-2010.dxf")),
                         nameOf);

// Drawings that CAD programs wrote: AutoCAD binary 2000 and ASCII R12 and
// 2018, an AutoCAD drawing made in China, netDxf.
INSTANTIATE_TEST_SUITE_P(Corpus, Edits,
                         ::testing::Values(QStringLiteral("tests/corpus/sample_2000_binary.dxf"),
                                           QStringLiteral("tests/corpus/sample_R12_ascii.dxf"),
                                           QStringLiteral("tests/corpus/sample_2018_ascii.dxf"),
                                           QStringLiteral("tests/corpus/more/egghunters__dxf-viewer-examples__public_models_dxf_dxf_1.dxf"),
                                           QStringLiteral("tests/corpus/more/haplokuon__netDxf__TestDxfDocument_sample.dxf")),
                         nameOf);

// Binary drawings as ezdxf writes them, with release 12's one-byte codes.
TEST(EditsEzdxf, BinaryRelease12And2000)
{
    QString error;
    const QStringList& files = ezdxfDrawings(&error);
    ASSERT_FALSE(files.isEmpty()) << error.toStdString();
    for (const QString& file : files) {
        if (!file.endsWith(QLatin1String("R12-binary.dxf")) && !file.endsWith(QLatin1String("R2000-binary.dxf"))) continue;
        SCOPED_TRACE(file.toStdString());
        checkEdits(file, testName(file));
    }
}

// Multi-line attributes as ezdxf writes them (the attribute's own value
// holds the first line alone) and as AutoCAD does (the whole text).
TEST(EditsEzdxf, MultiLineAttributesInBothLayouts)
{
    QString error;
    const QStringList& files = ezdxfDrawings(&error);
    ASSERT_FALSE(files.isEmpty()) << error.toStdString();
    for (const QString& file : files) {
        if (!file.contains(QLatin1String("R2018"))) continue;
        SCOPED_TRACE(file.toStdString());
        checkEdits(file, testName(file), {"set-multi-line-attributes"});
        if (HasFatalFailure()) return;
    }
}

// Long multi-line text with characters that older drawings store in their
// code page (the euro sign, dashes, curly quotes, Chinese): written once, in
// chunks, and read back as typed.
TEST(EditsMText, LongTextInCodePageDrawings)
{
    for (const char* drawing : {"samples/office-floor-plan-2000.dxf", "samples/clinic-floor-plan-2004.dxf",
                                "tests/data/odd/chinese-ANSI_936-2000.dxf", "tests/corpus/sample_2000_binary.dxf"}) {
        SCOPED_TRACE(drawing);
        checkEdits(absolute(QString::fromLatin1(drawing)), testName(QString::fromLatin1(drawing)) + "-mtext",
                   {"set-text-MTEXT"});
        if (HasFatalFailure()) return;
    }
}

// ---- Synchronized attributes.

bool near(const QJsonValue& a, const QJsonValue& b, const QString& key)
{
    if (a.isArray()) {
        const QJsonArray x = a.toArray(), y = b.toArray();
        if (x.size() != y.size()) return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!near(x[i], y[i], key)) return false;
        return true;
    }
    if (!a.isDouble() || !b.isDouble()) return a == b;
    const double p = a.toDouble(), q = b.toDouble();
    if (key == QLatin1String("rotation") || key == QLatin1String("oblique")) {
        const double d = std::fmod(std::abs(p - q), 360.0);
        return std::min(d, 360 - d) < 1e-6;
    }
    return std::abs(p - q) <= 1e-6 * std::max(1.0, std::abs(p));
}

// What an attribute shows where a value is absent.
QJsonValue orDefault(const QJsonObject& a, const QString& key)
{
    if (a.contains(key)) return a.value(key);
    if (key == QLatin1String("width")) return 1.0;
    if (key == QLatin1String("rotation") || key == QLatin1String("oblique")) return 0.0;
    return QJsonValue();
}

// The differences between the references after synchronizing and what they
// should be: an attribute for every definition their block has (no other
// when orphans go, `others` kept otherwise), those kept as they were
// before, the new ones as the oracle places their definitions.
QStringList unsynchronized(const QJsonObject& before, const QJsonObject& after, bool orphansGo, const QString& onlyBlock = {})
{
    QMap<QString, QJsonObject> was;
    for (const QJsonValue& r : before.value(QLatin1String("references")).toArray())
        for (const QJsonValue& a : r.toObject().value(QLatin1String("attribs")).toArray())
            if (!str(a.toObject(), "handle").isEmpty()) was.insert(str(a.toObject(), "handle"), a.toObject());
    QStringList problems;
    for (const QJsonValue& v : after.value(QLatin1String("references")).toArray()) {
        const QJsonObject r = v.toObject();
        const QString where = str(r, "block") + QStringLiteral(" reference ") + str(r, "handle") + QStringLiteral(": ");
        const QJsonArray attribs = r.value(QLatin1String("attribs")).toArray();
        QMap<QString, QJsonObject> expected;
        for (const QJsonValue& e : r.value(QLatin1String("expected")).toArray()) expected.insert(str(e.toObject(), "tag"), e.toObject());
        const bool chosen = onlyBlock.isEmpty() || sameName(str(r, "block"), onlyBlock);
        if (!attribs.isEmpty() && r.value(QLatin1String("attribs_follow")).toInt() != 1)
            problems << where + QStringLiteral("attributes follow it, but its flag does not say so");
        QStringList tags;
        for (const QJsonValue& a : attribs) tags << str(a.toObject(), "tag");
        if (chosen && r.value(QLatin1String("defined")).toBool()) {
            for (const QString& tag : expected.keys())
                if (!tags.contains(tag)) problems << where + QStringLiteral("no attribute ") + tag;
            if (orphansGo)
                for (const QString& tag : tags)
                    if (!expected.contains(tag)) problems << where + QStringLiteral("attribute ") + tag + QStringLiteral(" has no definition");
        }
        for (const QJsonValue& v2 : attribs) {
            const QJsonObject a = v2.toObject();
            const QString handle = str(a, "handle");
            const bool kept = was.contains(handle);
            if (!kept && !chosen) problems << where + QStringLiteral("a new attribute in a block not asked for");
            const QJsonObject want = kept ? was.value(handle) : expected.value(str(a, "tag"));
            for (auto it = want.begin(); it != want.end(); ++it) {
                if (it.key() == QLatin1String("handle")) continue;
                if (!near(it.value(), orDefault(a, it.key()), it.key()))
                    problems << where + str(a, "tag") + QLatin1Char(' ') + it.key() + QStringLiteral(": ") +
                                    QString::fromUtf8(QJsonDocument(QJsonArray{it.value(), a.value(it.key())}).toJson(QJsonDocument::Compact)) +
                                    (kept ? QStringLiteral(" (kept)") : QStringLiteral(" (new)"));
            }
        }
    }
    return problems;
}

struct SyncRun {
    SyncRun(QString drawing_, QStringList args_, bool orphansGo_ = true, QString onlyBlock_ = {})
        : drawing(std::move(drawing_)), args(std::move(args_)), orphansGo(orphansGo_), onlyBlock(std::move(onlyBlock_))
    {
    }
    QString drawing;
    QStringList args;
    bool orphansGo;
    QString onlyBlock;
    QString out;
};

void checkSync(std::vector<SyncRun> runs)
{
    QStringList files;
    for (SyncRun& run : runs) {
        run.out = scratch(QString::fromStdString(testName(run.drawing)) + QStringLiteral("-sync-%1.dxf").arg(files.size()));
        QFile::remove(run.out);
        Outcome r = tessilux(QStringList{QStringLiteral("edit"), run.drawing, QStringLiteral("-o"), run.out} + run.args);
        ASSERT_EQ(r.exitCode, 0) << run.drawing.toStdString() << ": " << r.describe().toStdString();
        files << run.drawing << run.out;
    }
    std::vector<Dump> dumps = readReferences(files);
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const SyncRun& run = runs[k];
        SCOPED_TRACE(run.drawing.toStdString() + " " + run.args.join(QLatin1Char(' ')).toStdString());
        const Dump &before = dumps[2 * k], &after = dumps[2 * k + 1];
        ASSERT_TRUE(before.ok()) << before.error.toStdString();
        ASSERT_TRUE(after.ok()) << "the oracle cannot read the saved drawing: " << after.error.toStdString();
        QStringList problems = unsynchronized(before.json, after.json, run.orphansGo, run.onlyBlock);
        EXPECT_TRUE(problems.isEmpty()) << summary(problems);
        QStringList fresh = newAuditErrors(before.json.value(QLatin1String("audit")).toObject(),
                                           after.json.value(QLatin1String("audit")).toObject());
        EXPECT_TRUE(fresh.isEmpty()) << "new audit errors:\n" << summary(fresh);
    }
}

// References at every kind of placement, without attributes, with some
// missing and with one whose definition is gone, in every version, ASCII
// and binary; one block's alone, which leaves the others as they are.
TEST(SyncAttributes, ReferencesGetWhatTheirBlocksDefinePlacedAsTheyCarryIt)
{
    QString error;
    const QStringList& files = ezdxfDrawings(&error);
    ASSERT_FALSE(files.isEmpty()) << error.toStdString();
    std::vector<SyncRun> runs;
    for (const QString& file : files)
        runs.emplace_back(file, QStringList{QStringLiteral("--sync-attributes"), QStringLiteral("--remove-orphaned-attributes")});
    runs.emplace_back(files.last(), QStringList{QStringLiteral("--sync-attributes=mark")}, false, QStringLiteral("MARK"));
    runs.emplace_back(files.first(), QStringList{QStringLiteral("--sync-attributes")}, false);
    checkSync(runs);
}

// Drawings that CAD programs and this project wrote: a reference's
// attributes deleted, then given back by their definitions (a multi-line
// one with its embedded text, one in a drawing whose attributes have no
// SEQEND, one without handles).
TEST(SyncAttributes, DeletedAttributesComeBackFromTheirDefinitions)
{
    QStringList drawings = samples();
    drawings << QStringLiteral("tests/data/odd/multiline-attribute-2018.dxf")
             << QStringLiteral("tests/data/odd/attribs-without-seqend-R12.dxf")
             << QStringLiteral("tests/corpus/sample_2000_binary.dxf") << QStringLiteral("tests/corpus/sample_R12_ascii.dxf");
    QStringList paths;
    for (const QString& d : drawings) paths << absolute(d);
    std::vector<Dump> dumps = readReferences(paths);
    std::vector<SyncRun> runs;
    for (std::size_t k = 0; k < dumps.size(); ++k) {
        ASSERT_TRUE(dumps[k].ok()) << dumps[k].error.toStdString();
        QStringList args;
        for (const QJsonValue& r : dumps[k].json.value(QLatin1String("references")).toArray()) {
            const QJsonArray attribs = r.toObject().value(QLatin1String("attribs")).toArray();
            if (attribs.isEmpty() || args.size() >= 8) continue;
            // The last attribute of a few, and every attribute of one.
            const qsizetype from = args.isEmpty() ? 0 : attribs.size() - 1;
            for (qsizetype i = from; i < attribs.size(); ++i)
                args << QStringLiteral("--delete") << str(attribs[i].toObject(), "handle");
        }
        ASSERT_FALSE(args.isEmpty()) << paths[static_cast<qsizetype>(k)].toStdString();
        runs.emplace_back(paths[static_cast<qsizetype>(k)], args + QStringList{QStringLiteral("--sync-attributes")}, false);
    }
    checkSync(runs);
}

// ---- Unchanged open-and-save.

void expectSameBytes(const QString& drawing, const std::string& name)
{
    QString out = scratch(QString::fromStdString(name + "-unchanged.dxf"));
    QFile::remove(out);
    Outcome run = tessilux({QStringLiteral("edit"), drawing, QStringLiteral("-o"), out});
    ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
    QByteArray original = bytesOf(drawing), saved = bytesOf(out);
    ASSERT_FALSE(original.isEmpty());
    if (original == saved) return;
    qsizetype at = 0;
    while (at < original.size() && at < saved.size() && original[at] == saved[at]) ++at;
    ADD_FAILURE() << "saved bytes differ from byte " << at << " (sizes " << original.size() << " and " << saved.size() << ")";
}

class UnchangedSave : public ::testing::TestWithParam<QString> {};

TEST_P(UnchangedSave, GivesBackTheSameBytes) { expectSameBytes(absolute(GetParam()), testName(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Samples, UnchangedSave, ::testing::ValuesIn(samples()), nameOf);
INSTANTIATE_TEST_SUITE_P(Odd, UnchangedSave, ::testing::ValuesIn(oddDrawings()), nameOf);
INSTANTIATE_TEST_SUITE_P(Corpus, UnchangedSave, ::testing::ValuesIn(corpusDrawings()), nameOf);

TEST(UnchangedSaveEzdxf, EveryVersionAsciiAndBinary)
{
    QString error;
    const QStringList& files = ezdxfDrawings(&error);
    ASSERT_EQ(files.size(), 14) << error.toStdString();
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        expectSameBytes(file, testName(file));
    }
}

// Saving over the drawing itself (no -o) goes through the write-beside-and-
// rename path; the result is the same bytes, and no stray file is left.
TEST(UnchangedSaveInPlace, OverTheDrawingItself)
{
    for (const QString& sample : samples()) {
        SCOPED_TRACE(sample.toStdString());
        QString copy = scratch(QStringLiteral("in-place.dxf"));
        QFile::remove(copy);
        ASSERT_TRUE(QFile::copy(absolute(sample), copy));
        Outcome run = tessilux({QStringLiteral("edit"), copy});
        ASSERT_EQ(run.exitCode, 0) << run.describe().toStdString();
        EXPECT_EQ(bytesOf(copy), bytesOf(absolute(sample)));
    }
    QDir dir(scratch(QString()));
    EXPECT_EQ(dir.entryList({QStringLiteral("in-place*")}, QDir::Files | QDir::Hidden), QStringList{QStringLiteral("in-place.dxf")});
}

}  // namespace

// Undo and redo of every kind of edit, against the saved file: each edit is
// saved and read back by the outside reader, then undone step by step, each
// save equal byte for byte to the file as it stood before that edit, down to
// the file as read; redone, the saves equal the edited files again.

#include "Drawings.h"
#include "Oracle.h"

#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Operations.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <functional>
#include <set>

#include <gtest/gtest.h>

namespace {

using namespace oracle;
using ddvue::DDVueEngine;
using ddvue::dxf::Kind;

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first record of a kind in model space, by its handle ("" when none).
QString firstOf(const DDVueEngine& engine, Kind kind, const std::set<QString>& besides = {})
{
    const ddvue::dxf::Document& doc = *engine.document();
    if (doc.spaces().empty()) return {};
    auto consider = [&](std::uint32_t r) -> QString {
        if (doc.record(r).kind != kind || doc.record(r).handle == 0 || doc.isDeleted(r)) return {};
        QString h = QString::fromStdString(ddvue::dxf::Document::formatHandle(doc.record(r).handle));
        return besides.count(h) ? QString() : h;
    };
    for (std::uint32_t e : doc.spaces()[0].entities) {
        if (QString h = consider(e); !h.isEmpty()) return h;
        for (std::uint32_t c : doc.children(e))
            if (QString h = consider(c); !h.isEmpty()) return h;
    }
    return {};
}

QJsonObject find(const QJsonArray& list, const char* key, const QString& value)
{
    for (const QJsonValue& v : list)
        if (v.toObject().value(QLatin1String(key)).toString().compare(value, Qt::CaseInsensitive) == 0)
            return v.toObject();
    return {};
}

// One edit: what it does, and what the outside reader must see after it.
struct Step {
    std::string name;
    std::function<bool(DDVueEngine&)> apply;
    std::function<void(const QJsonObject& dump)> check;
};

class Undo : public ::testing::TestWithParam<QString> {};

TEST_P(Undo, EveryEditUndoesToTheBytesBeforeItAndRedoes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = absolute(GetParam());
    const QString drawing = dir.filePath(QStringLiteral("drawing.dxf"));
    ASSERT_TRUE(QFile::copy(source, drawing));
    const QByteArray original = bytesOf(drawing);

    DDVueEngine engine;
    QString path = drawing;
    ASSERT_TRUE(engine.OpenDrawing(path)) << engine.lastError().toStdString();
    EXPECT_FALSE(engine.differsFromDisk());
    EXPECT_FALSE(engine.canUndo());

    std::set<QString> used;
    auto take = [&](Kind kind) {
        QString h = firstOf(engine, kind, used);
        if (!h.isEmpty()) used.insert(h);
        return h;
    };
    const QString attribute = take(Kind::Attrib);
    const QString text = take(Kind::Text);
    const QString mtext = take(Kind::MText);
    QString colored = take(Kind::Text);
    if (colored.isEmpty()) colored = text;
    const QString deleted = take(Kind::Insert);
    const QString batchA = take(Kind::Text), batchB = take(Kind::Text);
    const auto& layers = engine.document()->layers();
    ASSERT_GE(layers.size(), 2u);
    const QString layerOff = QString::fromStdString(layers[layers.size() - 1].name);
    const QString layerColor = QString::fromStdString(layers[layers.size() - 2].name);
    // Two more layers to rename and to merge into layer 0.
    QStringList spare;
    for (std::size_t k = layers.size() - 2; k-- > 0;) {
        const QString name = QString::fromStdString(layers[k].name);
        if (name != QLatin1String("0") && name.compare(QLatin1String("Defpoints"), Qt::CaseInsensitive) != 0) spare << name;
    }
    ASSERT_GE(spare.size(), 2) << "too few layers";
    const bool r12 = engine.document()->acadVersion() < "AC1015";
    const QString renamed = r12 ? QStringLiteral("RENAMED") : QStringLiteral("Renamed Ü");
    const QString synced = take(Kind::Attrib);
    QString syncedInsert;
    qsizetype syncedCount = 0;
    if (!synced.isEmpty()) {
        const ddvue::dxf::Document& doc = *engine.document();
        const auto insert = static_cast<std::uint32_t>(doc.record(*doc.findHandle(synced.toStdString())).parent);
        syncedInsert = QString::fromStdString(ddvue::dxf::Document::formatHandle(doc.record(insert).handle));
        syncedCount = static_cast<qsizetype>(ddvue::dxf::attributeCount(doc, insert));
    }

    std::vector<Step> steps;
    auto value = [](const QJsonObject& dump, const char* list, const QString& handle) {
        return find(dump.value(QLatin1String(list)).toArray(), "handle", handle).value(QLatin1String("value")).toString();
    };
    if (!attribute.isEmpty())
        steps.push_back({"attribute value",
                         [&](DDVueEngine& e) {
                             QString v = QStringLiteral("Undone \u00e9 1");
                             return e.SetAttributeValue(v, attribute);
                         },
                         [&](const QJsonObject& d) { EXPECT_EQ(value(d, "attributes", attribute), QStringLiteral("Undone \u00e9 1")); }});
    if (!text.isEmpty())
        steps.push_back({"text value",
                         [&](DDVueEngine& e) {
                             QString v = QStringLiteral("Single line 2");
                             return e.SetTextValue(text, v);
                         },
                         [&](const QJsonObject& d) { EXPECT_EQ(value(d, "texts", text), QStringLiteral("Single line 2")); }});
    if (!mtext.isEmpty())
        steps.push_back({"multi-line text value",
                         [&](DDVueEngine& e) {
                             QString v = QStringLiteral("First\\PSecond");
                             return e.SetTextValue(mtext, v);
                         },
                         [&](const QJsonObject& d) { EXPECT_EQ(value(d, "texts", mtext), QStringLiteral("First\\PSecond")); }});
    if (!colored.isEmpty())
        steps.push_back({"object color", [&](DDVueEngine& e) { return e.SetEntityColor(colored, 3); },
                         [&](const QJsonObject& d) {
                             QJsonObject dxf = d.value(QLatin1String("entities")).toObject().value(colored).toObject()
                                                   .value(QLatin1String("dxf")).toObject();
                             EXPECT_EQ(dxf.value(QLatin1String("color")).toInt(), 3);
                         }});
    steps.push_back({"layer display",
                     [&](DDVueEngine& e) {
                         QString off = QStringLiteral("Off");
                         return e.SetLayerDisplay(layerOff, off);
                     },
                     [&](const QJsonObject& d) {
                         EXPECT_FALSE(find(d.value(QLatin1String("layers")).toArray(), "name", layerOff)
                                          .value(QLatin1String("on")).toBool(true));
                     }});
    steps.push_back({"layer color", [&](DDVueEngine& e) { return e.SetLayerColor(layerColor, 5); },
                     [&](const QJsonObject& d) {
                         EXPECT_EQ(find(d.value(QLatin1String("layers")).toArray(), "name", layerColor)
                                       .value(QLatin1String("color")).toInt(), 5);
                     }});
    if (!deleted.isEmpty())
        steps.push_back({"delete", [&](DDVueEngine& e) { return e.DeleteEntity(deleted); },
                         [&](const QJsonObject& d) {
                             EXPECT_FALSE(d.value(QLatin1String("entities")).toObject().contains(deleted));
                         }});
    steps.push_back({"rename layer", [&](DDVueEngine& e) { return e.RenameLayer(spare[0], renamed); },
                     [&](const QJsonObject& d) {
                         const QJsonArray list = d.value(QLatin1String("layers")).toArray();
                         EXPECT_FALSE(find(list, "name", renamed).isEmpty());
                         EXPECT_TRUE(find(list, "name", spare[0]).isEmpty());
                     }});
    steps.push_back({"merge layer", [&](DDVueEngine& e) { return e.MergeLayer(spare[1], QStringLiteral("0")); },
                     [&](const QJsonObject& d) {
                         EXPECT_TRUE(find(d.value(QLatin1String("layers")).toArray(), "name", spare[1]).isEmpty());
                     }});
    steps.push_back({"new layer",
                     [&](DDVueEngine& e) {
                         return e.document()->history().perform(std::make_unique<ddvue::dxf::AddLayer>("NEW-LAYER"));
                     },
                     [&](const QJsonObject& d) {
                         EXPECT_FALSE(find(d.value(QLatin1String("layers")).toArray(), "name", QStringLiteral("NEW-LAYER")).isEmpty());
                     }});
    if (!synced.isEmpty())
        steps.push_back({"attribute given back by its definition",
                         [&](DDVueEngine& e) {
                             DDVueEngine::Batch batch(e, "Synchronize");
                             return e.DeleteEntity(synced) && e.SyncAttributes(QString(), false);
                         },
                         [&](const QJsonObject& d) {
                             // The reference has as many attributes as before, one of them new.
                             qsizetype n = 0;
                             for (const QJsonValue& v : d.value(QLatin1String("attributes")).toArray()) {
                                 EXPECT_NE(v.toObject().value(QLatin1String("handle")).toString(), synced);
                                 if (v.toObject().value(QLatin1String("insert")).toString() == syncedInsert) ++n;
                             }
                             EXPECT_EQ(n, syncedCount);
                         }});
    if (!batchA.isEmpty() && !batchB.isEmpty())
        steps.push_back({"deletions as one",
                         [&](DDVueEngine& e) {
                             DDVueEngine::Batch batch(e, "Delete All");
                             return e.DeleteEntity(batchA) && e.DeleteEntity(batchB);
                         },
                         [&](const QJsonObject& d) {
                             QJsonObject entities = d.value(QLatin1String("entities")).toObject();
                             EXPECT_FALSE(entities.contains(batchA));
                             EXPECT_FALSE(entities.contains(batchB));
                         }});

    // Each edit, saved to a file of its own.
    QStringList saved;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        ASSERT_TRUE(steps[i].apply(engine)) << engine.lastError().toStdString();
        EXPECT_TRUE(engine.differsFromDisk());
        QString out = dir.filePath(QStringLiteral("edit%1.dxf").arg(i));
        ASSERT_TRUE(engine.SaveDrawing(out)) << engine.lastError().toStdString();
        EXPECT_FALSE(engine.differsFromDisk());
        saved << out;
    }
    std::vector<Dump> dumps = readWithOracle(saved, true);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        ASSERT_TRUE(dumps[i].ok()) << dumps[i].error.toStdString();
        steps[i].check(dumps[i].json);
    }

    // Undone one by one: each save equals the one before the edit undone.
    for (std::size_t i = steps.size(); i-- > 0;) {
        SCOPED_TRACE(steps[i].name);
        ASSERT_TRUE(engine.undo());
        QString out = dir.filePath(QStringLiteral("undo%1.dxf").arg(i));
        ASSERT_TRUE(engine.SaveDrawing(out));
        EXPECT_TRUE(bytesOf(out) == (i == 0 ? original : bytesOf(saved[static_cast<int>(i) - 1])));
    }
    EXPECT_FALSE(engine.undo());
    EXPECT_TRUE(bytesOf(dir.filePath(QStringLiteral("undo0.dxf"))) == original);

    // Redone: the edited files again.
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        ASSERT_TRUE(engine.redo());
        QString out = dir.filePath(QStringLiteral("redo%1.dxf").arg(i));
        ASSERT_TRUE(engine.SaveDrawing(out));
        EXPECT_TRUE(bytesOf(out) == bytesOf(saved[static_cast<int>(i)]));
    }
    EXPECT_FALSE(engine.redo());

    // Everything undone at once, saved over the drawing itself: the file as it was.
    while (engine.undo()) {}
    QString back = drawing;
    ASSERT_TRUE(engine.SaveDrawing(back)) << engine.lastError().toStdString();
    EXPECT_TRUE(bytesOf(drawing) == original);
}

INSTANTIATE_TEST_SUITE_P(Samples, Undo, ::testing::ValuesIn(samples()),
                         [](const auto& info) { return testName(info.param); });

}  // namespace

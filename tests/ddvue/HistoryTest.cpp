// The history of a drawing's edits: what counts as a change, what one undo
// takes back, when the drawing differs from its file, and the objects an
// edit makes (their handles, and the file's bytes again when undone).

#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Operations.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using ddvue::DDVueEngine;

namespace {

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("plan.dxf"));
        ASSERT_TRUE(QFile::copy(testpaths::samples(QStringLiteral("apartment-floor-plan-2007.dxf")), path));
        QString p = path;
        ASSERT_TRUE(engine.OpenDrawing(p)) << engine.lastError().toStdString();
        original = engine.document()->serialize();
    }
    bool setText(const QString& value)
    {
        QString v = value;
        return engine.SetTextValue(QStringLiteral("A3"), v);
    }
    QString listed() { return engine.listedValue(QStringLiteral("A3")).value_or(QString()); }

    QTemporaryDir dir;
    QString path;
    DDVueEngine engine;
    std::string original;
};

}  // namespace

TEST_F(History, SaveMarksTheStateThatMatchesTheFile)
{
    ASSERT_TRUE(setText(QStringLiteral("HALL")));
    ASSERT_TRUE(setText(QStringLiteral("LOBBY")));
    EXPECT_TRUE(engine.differsFromDisk());
    QString p = path;
    ASSERT_TRUE(engine.SaveDrawing(p));
    EXPECT_FALSE(engine.differsFromDisk());

    ASSERT_TRUE(engine.undo());  // past the save
    EXPECT_EQ(listed(), QStringLiteral("HALL"));
    EXPECT_TRUE(engine.differsFromDisk());
    ASSERT_TRUE(engine.redo());  // back to what was saved
    EXPECT_FALSE(engine.differsFromDisk());

    // Undone past the save and edited anew: the saved state cannot come back.
    ASSERT_TRUE(engine.undo());
    ASSERT_TRUE(setText(QStringLiteral("LOBBY")));
    EXPECT_FALSE(engine.canRedo());
    EXPECT_TRUE(engine.differsFromDisk());  // the same text, but by another road: no claim it matches
    ASSERT_TRUE(engine.undo());
    ASSERT_TRUE(engine.undo());
    EXPECT_FALSE(engine.undo());  // the drawing as opened
    EXPECT_EQ(engine.document()->serialize(), original);
    EXPECT_EQ(listed(), QStringLiteral("CORRIDOR"));
}

TEST_F(History, AValueWrittenOverItselfIsNoChange)
{
    ASSERT_TRUE(setText(QStringLiteral("CORRIDOR")));
    EXPECT_FALSE(engine.canUndo());
    EXPECT_FALSE(engine.differsFromDisk());
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("A-DOOR"), 3));  // its color already
    EXPECT_FALSE(engine.canUndo());
}

TEST_F(History, ARefusedEditLeavesNothingToUndo)
{
    EXPECT_FALSE(engine.SetLayerColor(QStringLiteral("A-DOOR"), 300));
    QString bad = QStringLiteral("Dim");
    EXPECT_FALSE(engine.SetLayerDisplay(QStringLiteral("A-DOOR"), bad));
    EXPECT_FALSE(engine.SetAttributeValue(bad, QStringLiteral("A3")));  // a text, not an attribute
    EXPECT_FALSE(engine.canUndo());
    EXPECT_EQ(engine.document()->serialize(), original);
}

TEST_F(History, ABatchIsUndoneAndRedoneAsOne)
{
    {
        DDVueEngine::Batch batch(engine, "Delete All");
        {
            DDVueEngine::Batch inner(engine, "nested");
            ASSERT_TRUE(engine.DeleteEntity(QStringLiteral("A3")));
        }
        EXPECT_FALSE(engine.undo());  // not while the batch is under way
        ASSERT_TRUE(engine.DeleteEntity(QStringLiteral("A4")));
    }
    EXPECT_EQ(engine.document()->history().undoLabel(), "Delete All");
    ASSERT_TRUE(engine.undo());
    EXPECT_FALSE(engine.canUndo());
    EXPECT_EQ(engine.document()->serialize(), original);
    EXPECT_EQ(listed(), QStringLiteral("CORRIDOR"));  // the handle finds the object again
    ASSERT_TRUE(engine.redo());
    EXPECT_FALSE(engine.listedValue(QStringLiteral("A3")));
    EXPECT_FALSE(engine.listedValue(QStringLiteral("A4")));

    // An empty batch leaves no step behind.
    ASSERT_TRUE(engine.undo());
    { DDVueEngine::Batch empty(engine, "Nothing"); }
    EXPECT_FALSE(engine.canUndo());
    EXPECT_TRUE(engine.canRedo());
}

TEST_F(History, EveryListenerHearsOfEditsUndoAndRedo)
{
    ddvue::dxf::Document& doc = *engine.document();
    std::vector<ddvue::dxf::Change> first, second;
    doc.addListener([&](const ddvue::dxf::Change& c) { first.push_back(c); });
    int id = doc.addListener([&](const ddvue::dxf::Change& c) { second.push_back(c); });
    int historyCalls = 0;
    doc.history().addListener([&] { ++historyCalls; });

    ASSERT_TRUE(engine.DeleteEntity(QStringLiteral("A3")));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first.back().what, ddvue::dxf::Change::What::EntityDeleted);
    ASSERT_TRUE(engine.undo());
    EXPECT_EQ(first.back().what, ddvue::dxf::Change::What::Entity);  // back in the drawing
    doc.removeListener(id);
    ASSERT_TRUE(engine.redo());
    EXPECT_EQ(first.size(), 3u);
    EXPECT_EQ(second.size(), 2u);
    EXPECT_EQ(historyCalls, 3);
}

// ---- New records: a layer and the attributes (with a SEQEND) that
// synchronizing gives a reference, in drawings with handles written every
// way and in one without handles.

namespace {

using ddvue::dxf::Document;
using ddvue::dxf::Kind;

std::string fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// A header variable's value as the file now stores it, trimmed.
std::string header(const Document& doc, const char* name)
{
    std::string v = doc.headerText(name).value_or("<none>");
    v.erase(0, v.find_first_not_of(' '));
    return v;
}

std::optional<std::int64_t> layerCount(const Document& doc)
{
    const auto t = doc.findTable("LAYER");
    if (!t) return std::nullopt;
    ddvue::dxf::EntityView v(doc, doc.tables()[*t].begin);
    if (!v.has(ddvue::dxf::def::Table::count)) return std::nullopt;
    return v.get(ddvue::dxf::def::Table::count);
}

bool hasGroup(const Document& doc, std::uint32_t record, int code)
{
    ddvue::dxf::RecordView v = doc.view(record);
    for (std::uint32_t i = 0; i < v.size(); ++i)
        if (v.code(i) == code) return true;
    return false;
}

struct Drawing {
    const char* name;
    std::string bytes;
    const char* seedAfter;  // $HANDSEED after two new objects, as the file writes it; "" without handles
};

}  // namespace

TEST(NewRecords, TakeHandlesFromTheSeedAndUndoToTheFileAsItWas)
{
    const std::string office = fileBytes(testpaths::samples(QStringLiteral("office-floor-plan-2000.dxf")));
    std::string padded = office;  // the same drawing with a seed written with leading zeros
    const std::size_t seedAt = padded.find("$HANDSEED");
    ASSERT_NE(seedAt, std::string::npos);
    padded.replace(padded.find("D6", seedAt), 2, "000000D6");
    const std::vector<Drawing> drawings = {
        {"office-2000", office, "D8"},
        {"padded-seed", padded, "000000D8"},
        {"binary-2013", fileBytes(testpaths::samples(QStringLiteral("library-floor-plan-2013-binary.dxf"))), "BD"},
        {"workshop-R12", fileBytes(testpaths::samples(QStringLiteral("workshop-plan-R12.dxf"))), "D9"},
        // Objects without handles of their own get some in memory, above the seed: new ones go above those.
        {"made-up-handles", fileBytes(testpaths::sourceDir() + QStringLiteral("/tests/data/odd/duplicate-and-empty-handles-2000.dxf")), ""},
        {"no-handles-R12", fileBytes(testpaths::sourceDir() + QStringLiteral("/tests/data/odd/no-handles-R12.dxf")), ""},
    };
    for (const Drawing& d : drawings) {
        SCOPED_TRACE(d.name);
        Document doc;
        ASSERT_TRUE(doc.load(d.bytes)) << doc.error();
        const std::string original = doc.serialize();
        const std::uint32_t layersBefore = static_cast<std::uint32_t>(doc.layers().size());
        const auto countBefore = layerCount(doc);
        std::uint64_t top = 0;
        for (std::uint32_t r = 0; r < doc.recordCount(); ++r) top = std::max(top, doc.record(r).handle);

        // A layer, then a reference's missing attribute: two new handles
        // (three when the reference needs a SEQEND too).
        ASSERT_TRUE(doc.history().perform(std::make_unique<ddvue::dxf::AddLayer>("Neu")));
        auto layer = doc.findLayer("NEU");
        ASSERT_TRUE(layer);
        EXPECT_EQ(*layer, layersBefore) << "listed last, as it stands last in the table";
        const std::uint32_t made = doc.layers()[*layer].record;
        EXPECT_TRUE(doc.isCreated(made));
        EXPECT_GT(doc.record(made).handle, top);
        EXPECT_EQ(hasGroup(doc, made, ddvue::dxf::code::kHandle), doc.writesHandles());
        if (countBefore) {
            EXPECT_EQ(layerCount(doc), *countBefore + 1);
        }

        std::optional<std::uint32_t> attribute;
        for (std::uint32_t r = 0; r < doc.recordCount() && !attribute; ++r)
            if (doc.record(r).kind == Kind::Attrib && !doc.isDeleted(r)) attribute = r;
        ASSERT_TRUE(attribute);
        const auto insert = static_cast<std::uint32_t>(doc.record(*attribute).parent);
        ASSERT_TRUE(doc.history().perform(std::make_unique<ddvue::dxf::DeleteEntity>(*attribute)));
        ASSERT_TRUE(doc.history().perform(std::make_unique<ddvue::dxf::SyncAttributes>("", false)));
        std::vector<std::uint32_t> attributes = ddvue::dxf::attributesOf(doc, insert);
        ASSERT_FALSE(attributes.empty());
        const std::uint32_t back = attributes.back();
        EXPECT_TRUE(doc.isCreated(back)) << "the attribute comes back as a new one, after the others";
        EXPECT_EQ(doc.record(back).handle, doc.record(made).handle + 1);
        EXPECT_EQ(hasGroup(doc, back, ddvue::dxf::code::kHandle), doc.writesHandles());
        EXPECT_EQ(hasGroup(doc, back, ddvue::dxf::code::kOwner), hasGroup(doc, insert, ddvue::dxf::code::kOwner));
        if (*d.seedAfter) {
            EXPECT_EQ(header(doc, "$HANDSEED"), d.seedAfter);
        }
        if (doc.writesHandles()) {
            EXPECT_EQ(Document::parseHandle(header(doc, "$HANDSEED")), doc.record(back).handle + 1);
        }
        const std::string edited = doc.serialize();

        // Undone, every byte as read, the layer no longer listed; redone, the same bytes again.
        ASSERT_TRUE(doc.history().undo());
        ASSERT_TRUE(doc.history().undo());
        ASSERT_TRUE(doc.history().undo());
        EXPECT_FALSE(doc.findLayer("NEU"));
        EXPECT_EQ(doc.layers().size(), layersBefore);
        EXPECT_TRUE(doc.serialize() == original);
        for (int k = 0; k < 3; ++k) ASSERT_TRUE(doc.history().redo());
        EXPECT_TRUE(doc.serialize() == edited);
        EXPECT_TRUE(doc.findLayer("neu"));

        // What was saved reads back with the new objects where they were.
        Document again;
        ASSERT_TRUE(again.load(edited)) << again.error();
        EXPECT_TRUE(again.findLayer("Neu"));
        EXPECT_TRUE(again.repairs().empty() || !doc.repairs().empty());
    }
}

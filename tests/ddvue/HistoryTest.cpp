// The history of a drawing's edits: what counts as a change, what one undo
// takes back, and when the drawing differs from its file.

#include "TestPaths.h"
#include "ddvue/DDVueEngine.h"
#include "ddvue/dxf/Document.h"
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

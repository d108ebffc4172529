// Edits reach the scene, and rebuild only what they touched.

#include "TinyDxf.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/Palette.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ddvue;
using namespace ddvue::render;
using namespace tinydxf;

namespace {

class SceneEdits : public ::testing::Test {
protected:
    void SetUp() override
    {
        d.layer("NOTES", 3);
        d.block("TAG", {circle(0, 0, 1), line(-1, 0, 1, 0)});
        circleInBlock = d.blockHandles("TAG")[0];
        d.add(line(0, 0, 10, 0));
        first = d.lastHandle();
        d.add(line(0, 5, 10, 5));
        second = d.lastHandle();
        d.add(text("NOTE", 0, 20, 2, 0, 0, "NOTES"));
        note = d.lastHandle();
        Groups ref = insert("TAG", 50, 50);
        ref.push_back({66, "1"});
        d.add(ref);
        reference = d.lastHandle();
        d.add(attrib("NAME", "A1", 52, 50, 1));
        value = d.lastHandle();
        d.add(seqend());
        d.add(insert("TAG", 80, 80));
        path = d.save(dir.path(), QStringLiteral("e.dxf"));
        ASSERT_TRUE(open(engine, path));
        scene.attach(*engine.document(), path, QString());
        before = scene.scene().primitives().size();
    }

    // The live primitives of the scene, in order.
    std::vector<Primitive> live()
    {
        std::vector<Primitive> out;
        for (const Primitive& p : scene.scene().primitives())
            if (!p.dead()) out.push_back(p);
        return out;
    }

    QTemporaryDir dir;
    Drawing d;
    DDVueEngine engine;
    DrawingScene scene;
    QString path;
    std::string first, second, note, reference, value, circleInBlock;
    std::size_t before = 0;
};

}  // namespace

TEST_F(SceneEdits, AColorRebuildsThatEntityAlone)
{
    std::vector<Primitive> old = scene.scene().primitives();
    ASSERT_TRUE(engine.SetEntityColor(QString::fromStdString(second), 1));
    const Scene& s = scene.scene();
    EXPECT_EQ(s.deadCount(), 1u);
    EXPECT_EQ(s.primitives().size(), before + 1);
    EXPECT_FALSE(s.primitives()[0].dead());  // the first line untouched
    EXPECT_EQ(s.primitives()[0].color, old[0].color);
    EXPECT_TRUE(s.primitives()[1].dead());
    EXPECT_EQ(s.primitives().back().color, color::fixed(aciColor(1)));
    EXPECT_FALSE(scene.refresh());  // nothing left to do
}

TEST_F(SceneEdits, TextAttributeAndDeletionShowInTheScene)
{
    double wide = scene.scene().extents().x1;
    QString longer = QStringLiteral("A MUCH LONGER NOTE THAN BEFORE, REACHING FAR TO THE RIGHT OF EVERYTHING");
    ASSERT_TRUE(engine.SetTextValue(QString::fromStdString(note), longer));
    EXPECT_GT(scene.scene().extents().x1, wide + 30);  // the note now reaches past the references

    // An attribute's edit rebuilds its reference: circle, line and the value.
    std::size_t dead = scene.scene().deadCount();
    QString v = QStringLiteral("A-101 REVISED");
    ASSERT_TRUE(engine.SetAttributeValue(v, QString::fromStdString(value)));
    EXPECT_EQ(scene.scene().deadCount(), dead + 3);

    // Deleting the reference takes its value with it; the other one stays.
    ASSERT_TRUE(engine.DeleteEntity(QString::fromStdString(reference)));
    std::size_t texts = 0, arcs = 0;
    for (const Primitive& p : live()) {
        texts += p.type == PrimitiveType::Text;
        arcs += p.type == PrimitiveType::Arc;
    }
    EXPECT_EQ(texts, 1u);  // the note
    EXPECT_EQ(arcs, 1u);   // the second reference's circle
}

TEST_F(SceneEdits, LayerEditsChangeNoPrimitive)
{
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("NOTES"), 5));
    QString off = QStringLiteral("Off");
    ASSERT_TRUE(engine.SetLayerDisplay(QStringLiteral("NOTES"), off));
    const Scene& s = scene.scene();
    EXPECT_EQ(s.deadCount(), 0u);
    auto notes = std::find_if(s.layers().begin(), s.layers().end(), [](const SceneLayer& l) { return l.name == "NOTES"; });
    ASSERT_NE(notes, s.layers().end());
    EXPECT_EQ(notes->rgb, aciColor(5) & 0xFFFFFF);
    EXPECT_FALSE(s.visibleLayers()[static_cast<std::size_t>(notes - s.layers().begin())]);
}

TEST_F(SceneEdits, AnEditInsideABlockReachesEveryReference)
{
    ASSERT_TRUE(engine.SetEntityColor(QString::fromStdString(circleInBlock), 4));
    std::size_t cyanArcs = 0;
    for (const Primitive& p : live())
        if (p.type == PrimitiveType::Arc && p.color == color::fixed(aciColor(4))) ++cyanArcs;
    EXPECT_EQ(cyanArcs, 2u);
    EXPECT_FALSE(scene.scene().primitives()[0].dead());  // the lines outside the block stay
    EXPECT_FALSE(scene.scene().primitives()[1].dead());
}

TEST_F(SceneEdits, ManyEditsCompactTheScene)
{
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(engine.SetEntityColor(QString::fromStdString(first), 1 + i % 200));
        scene.refresh();
    }
    EXPECT_LE(scene.scene().primitives().size(), before + 4100);
    EXPECT_EQ(scene.scene().liveCount(), before);
}

TEST_F(SceneEdits, UndoAndRedoReachTheScene)
{
    const std::size_t shown = scene.scene().liveCount();
    ASSERT_TRUE(engine.DeleteEntity(QString::fromStdString(reference)));
    ASSERT_TRUE(engine.SetLayerColor(QStringLiteral("NOTES"), 5));
    ASSERT_LT(scene.scene().liveCount(), shown);

    auto notesRgb = [this] {
        const Scene& s = scene.scene();
        for (const SceneLayer& l : s.layers())
            if (l.name == "NOTES") return l.rgb;
        return 0u;
    };
    ASSERT_TRUE(engine.undo());  // the layer's color
    EXPECT_EQ(notesRgb(), aciColor(3) & 0xFFFFFF);
    ASSERT_TRUE(engine.undo());  // the deletion: the reference with its value is drawn again
    EXPECT_EQ(scene.scene().liveCount(), shown);
    std::size_t texts = 0;
    for (const Primitive& p : live()) texts += p.type == PrimitiveType::Text;
    EXPECT_EQ(texts, 2u);  // the note and the attribute's value

    ASSERT_TRUE(engine.redo());
    EXPECT_LT(scene.scene().liveCount(), shown);
    ASSERT_TRUE(engine.redo());
    EXPECT_EQ(notesRgb(), aciColor(5) & 0xFFFFFF);
}

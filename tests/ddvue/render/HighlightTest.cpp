// Pointing out an object or a layer in the view: what the scene holds of
// it, where the view goes, the glide there, and that only the screen shows
// it (never the view's pictures, prints or the drawing).

#include "TinyDxf.h"
#include "ViewDriver.h"
#include "ddvue/DDVue.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/Highlight.h"

#include <QFile>
#include <QPrinter>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace ddvue;
using namespace ddvue::render;
using namespace tinydxf;

namespace {

// A record's index from its handle.
std::uint32_t recordOf(const DDVueEngine& engine, const std::string& handle)
{
    auto r = engine.document()->findHandle(handle);
    EXPECT_TRUE(r.has_value()) << handle;
    return r.value_or(UINT32_MAX);
}

bool inside(const Bounds& inner, const Bounds& outer)
{
    return inner.x0 >= outer.x0 - 1e-6 && inner.y0 >= outer.y0 - 1e-6 && inner.x1 <= outer.x1 + 1e-6 &&
           inner.y1 <= outer.y1 + 1e-6;
}

bool overlaps(const Bounds& a, const Bounds& b) { return !(a.x1 < b.x0 || b.x1 < a.x0 || a.y1 < b.y0 || b.y1 < a.y0); }

// The highlight color, or near it (antialiased edges, a tint over black).
bool orange(QRgb c) { return qRed(c) > 150 && qGreen(c) > 70 && qGreen(c) < 200 && qBlue(c) < 90; }

int oranges(const QImage& image, const QRect& area = QRect())
{
    QRect r = area.isNull() ? image.rect() : area.intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += orange(image.pixel(x, y));
    return n;
}

struct Plan {
    Drawing d;
    std::string note, first, second, hidden, reference, inBlock, paper;

    Plan()
    {
        d.layer("Walls", 3);
        d.layer("OFFLAYER", -5);
        d.block("FRAME", {line(0, 0, 40, 0), line(40, 0, 40, 20)});
        d.block("LEGEND", {text("IN A BLOCK", 0, 0, 2)});
        inBlock = d.blockHandles("LEGEND").front();
        d.add(text("GROUND FLOOR", 10, 10, 2));
        note = d.lastHandle();
        Groups ref = insert("FRAME", 100, 100);
        ref.push_back({66, "1"});
        d.add(ref);
        reference = d.lastHandle();
        d.add(attrib("SHEET", "A-101", 105, 105, 2));
        first = d.lastHandle();
        d.add(attrib("TITLE", "PLAN", 105, 110, 2));
        second = d.lastHandle();
        Groups off = attrib("SECRET", "X", 105, 115, 2);
        off.back().second = "1";  // 70 = 1: invisible
        d.add(off);
        hidden = d.lastHandle();
        d.add(seqend());
        d.add(line(0, 0, 5, 5, "Walls"));
        Groups onPaper = text("ON PAPER", 0, 0, 2);
        onPaper.push_back({67, "1"});
        d.add(onPaper);
        paper = d.lastHandle();
    }
};

}  // namespace

TEST(HighlightTarget, FindsTextsAttributesAndTheirReferenceInTheBuiltScene)
{
    Plan plan;
    QTemporaryDir dir;
    DDVueEngine engine;
    QString path = plan.d.save(dir.path(), QStringLiteral("plan.dxf"));
    ASSERT_TRUE(open(engine, path));
    DrawingScene scene;
    scene.attach(*engine.document(), path, QString());
    const dxf::Document& doc = *engine.document();

    HighlightTarget note = objectTarget(scene.scene(), doc, recordOf(engine, plan.note));
    ASSERT_EQ(note.kind, HighlightTarget::Kind::Object);
    EXPECT_NEAR(note.bounds.x0, 10, 0.5);
    EXPECT_GT(note.bounds.x1, 20);
    EXPECT_TRUE(note.holder.isEmpty());

    // Each attribute alone, within the faint frame of its reference.
    HighlightTarget first = objectTarget(scene.scene(), doc, recordOf(engine, plan.first));
    HighlightTarget second = objectTarget(scene.scene(), doc, recordOf(engine, plan.second));
    ASSERT_EQ(first.kind, HighlightTarget::Kind::Object);
    ASSERT_EQ(second.kind, HighlightTarget::Kind::Object);
    EXPECT_FALSE(overlaps(first.bounds, second.bounds));
    EXPECT_NEAR(first.bounds.y0, 105, 1);
    EXPECT_TRUE(inside(first.bounds, first.holder));
    EXPECT_TRUE(inside(second.bounds, first.holder));
    EXPECT_GE(first.holder.x1, 140 - 1e-3);  // the block's line
    // An attribute that is not drawn: its reference is pointed out instead.
    HighlightTarget hidden = objectTarget(scene.scene(), doc, recordOf(engine, plan.hidden));
    ASSERT_EQ(hidden.kind, HighlightTarget::Kind::Object);
    EXPECT_TRUE(inside(first.bounds, hidden.bounds));

    // What the view does not draw where it stands: nothing.
    EXPECT_TRUE(objectTarget(scene.scene(), doc, recordOf(engine, plan.inBlock)).empty());
    EXPECT_TRUE(objectTarget(scene.scene(), doc, recordOf(engine, plan.paper)).empty());
    EXPECT_TRUE(objectTarget(scene.scene(), doc, doc.recordCount() + 5).empty());

    // Edits: a longer value widens the attribute's own bounds, a deleted
    // text points out nothing, and the other attribute stays where it was.
    const std::uint32_t noteRecord = recordOf(engine, plan.note);
    QString longer = QStringLiteral("A-101 REVISED AND LONGER");
    ASSERT_TRUE(engine.SetAttributeValue(longer, QString::fromStdString(plan.first)));
    ASSERT_TRUE(engine.DeleteEntity(QString::fromStdString(plan.note)));
    HighlightTarget wider = objectTarget(scene.scene(), doc, recordOf(engine, plan.first));
    ASSERT_EQ(wider.kind, HighlightTarget::Kind::Object);
    EXPECT_GT(wider.bounds.width(), first.bounds.width() * 2);
    EXPECT_TRUE(objectTarget(scene.scene(), doc, noteRecord).empty());
    HighlightTarget again = objectTarget(scene.scene(), doc, recordOf(engine, plan.second));
    EXPECT_NEAR(again.bounds.y0, second.bounds.y0, 1e-6);
    EXPECT_NEAR(again.bounds.x1, second.bounds.x1, 1e-6);
}

TEST(HighlightTarget, LayersByNameInAnyCase)
{
    Plan plan;
    QTemporaryDir dir;
    DDVueEngine engine;
    QString path = plan.d.save(dir.path(), QStringLiteral("plan.dxf"));
    ASSERT_TRUE(open(engine, path));
    DrawingScene scene;
    scene.attach(*engine.document(), path, QString());

    HighlightTarget walls = layerTarget(scene.scene(), QStringLiteral("WALLS"));
    ASSERT_EQ(walls.kind, HighlightTarget::Kind::Layer);
    EXPECT_TRUE(walls.layerShown);
    EXPECT_EQ(std::count(walls.layers.begin(), walls.layers.end(), 1), 1);
    HighlightTarget off = layerTarget(scene.scene(), QStringLiteral("OffLayer"));
    ASSERT_EQ(off.kind, HighlightTarget::Kind::Layer);
    EXPECT_FALSE(off.layerShown);
    EXPECT_TRUE(layerTarget(scene.scene(), QStringLiteral("NO SUCH LAYER")).empty());
}

TEST(HighlightFraming, TheViewMovesOnlyAsFarAsItMust)
{
    ViewTransform view;
    view.setViewport(800, 600);
    view.setCenter(QPointF(0, 0));
    view.setScale(2);  // the view shows x -200..200, y -150..150
    auto box = [](double x0, double y0, double x1, double y1) {
        Bounds b;
        b.add(x0, y0);
        b.add(x1, y1);
        return b;
    };
    auto onScreen = [](const ViewTransform& v, const Bounds& b, double edge) {
        QPointF a = v.toScreen(QPointF(b.x0, b.y1)), c = v.toScreen(QPointF(b.x1, b.y0));
        return a.x() >= edge - 1e-6 && a.y() >= edge - 1e-6 && c.x() <= v.width() - edge + 1e-6 &&
               c.y() <= v.height() - edge + 1e-6;
    };

    // In sight, large enough: the view stays.
    EXPECT_FALSE(framing(view, box(-20, -10, 20, 10), 1e-6, 1e6));

    // Near the edge: moved just enough, at the same scale.
    Bounds edge = box(170, 0, 190, 10);
    auto moved = framing(view, edge, 1e-6, 1e6);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->scale(), 2);
    EXPECT_TRUE(onScreen(*moved, edge, 50));
    EXPECT_LT(moved->center().x(), 100);  // not into the middle

    // Far away: into the middle.
    Bounds far = box(5000, 5000, 5040, 5010);
    moved = framing(view, far, 1e-6, 1e6);
    ASSERT_TRUE(moved);
    EXPECT_NEAR(moved->center().x(), 5020, 1e-9);
    EXPECT_NEAR(moved->center().y(), 5005, 1e-9);

    // Too small to see (a text 0.5 units high is one pixel): zoomed in
    // until it reads, in the middle.
    Bounds tiny = box(10, 10, 13, 10.5);
    moved = framing(view, tiny, 1e-6, 1e6);
    ASSERT_TRUE(moved);
    EXPECT_GT(moved->scale() * 0.5, 20);
    EXPECT_TRUE(onScreen(*moved, tiny, 50));
    // ... as far as the view may zoom.
    moved = framing(view, tiny, 1e-6, 4);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->scale(), 4);

    // Larger than the view: zoomed out until it fits.
    Bounds huge = box(-1000, -10, 1000, 10);
    moved = framing(view, huge, 1e-6, 1e6);
    ASSERT_TRUE(moved);
    EXPECT_TRUE(onScreen(*moved, huge, 50));
    EXPECT_LT(moved->scale(), 0.4);

    EXPECT_FALSE(framing(view, Bounds(), 1e-6, 1e6));
}

TEST(HighlightPath, GlidesFromViewToViewZoomingOutOnALongWay)
{
    ViewTransform from, to;
    from.setViewport(800, 600);
    to.setViewport(800, 600);
    from.setScale(10);
    to.setScale(10);
    to.setCenter(QPointF(2000, 0));  // 25 view widths away
    ViewPath path(from, to);
    EXPECT_EQ(path.at(0).center(), from.center());
    EXPECT_EQ(path.at(1).center(), to.center());
    EXPECT_EQ(path.at(1).scale(), 10);
    ViewTransform mid = path.at(0.5);
    EXPECT_NEAR(mid.center().x(), 1000, 1);
    EXPECT_LT(mid.scale(), 2);  // both ends in sight on the way
    double last = -1;
    for (int i = 0; i <= 20; ++i) {
        double x = path.at(i / 20.0).center().x();
        EXPECT_GE(x, last);  // never back
        last = x;
    }

    // Zooming in on one spot: the spot stays, the scale grows steadily.
    ViewTransform in = from;
    in.setScale(1000);
    ViewPath zoom(from, in);
    EXPECT_EQ(zoom.at(0.5).center(), from.center());
    EXPECT_NEAR(zoom.at(0.5).scale(), 100, 1e-6);
    EXPECT_GT(zoom.length(), 2);

    // Large coordinates and scales far apart stay finite.
    ViewTransform a = from, b = from;
    a.setCenter(QPointF(1e7, -1e7));
    a.setScale(1e-4);
    b.setCenter(QPointF(1e7 + 3, -1e7));
    b.setScale(1e5);
    ViewPath wide(a, b);
    for (double t : {0.1, 0.5, 0.9}) {
        ViewTransform v = wide.at(t);
        EXPECT_TRUE(std::isfinite(v.scale()) && v.scale() > 0);
        EXPECT_TRUE(std::isfinite(v.center().x()) && std::isfinite(v.center().y()));
    }
}

TEST(HighlightInTheView, PaintedOverTheScreenOnlyNeverIntoPicturesOrPrints)
{
    Plan plan;
    QTemporaryDir dir;
    QString path = plan.d.save(dir.path(), QStringLiteral("plan.dxf"));
    DDVue view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(view.OpenDrawing(path));
    view.ready();
    const QImage before = view.viewImage();
    // The drawing's part of the view: above the layout tabs (the drawing
    // has something on paper, so they show).
    const QTabBar* tabs = view.findChild<QTabBar*>(QStringLiteral("layoutTabs"));
    ASSERT_TRUE(tabs && tabs->isVisible());
    const QRect drawn(0, 0, view.width(), tabs->y());
    QString pdf0 = dir.filePath(QStringLiteral("before.pdf"));
    QPrinter printer0(QPrinter::HighResolution);
    printer0.setOutputFormat(QPrinter::PdfFormat);
    printer0.setOutputFileName(pdf0);
    ASSERT_TRUE(view.printTo(printer0, false));
    EXPECT_EQ(oranges(view.grab().toImage()), 0);

    view.highlightObject(QString::fromStdString(plan.first), false);
    EXPECT_EQ(view.highlighted(), QString::fromStdString(plan.first));
    const QRect mark = view.highlightRect().toAlignedRect();
    ASSERT_FALSE(mark.isEmpty());
    QImage screen = view.grab().toImage();
    EXPECT_GT(oranges(screen, mark), 20);
    EXPECT_EQ(oranges(screen) - oranges(screen, mark.adjusted(-8, -8, 8, 8)), 0);  // there only (and the faint frame is dim)

    // The view's pictures, its BMP and its print are as before.
    EXPECT_EQ(view.viewImage(), before);
    QString bmp = dir.filePath(QStringLiteral("view.bmp"));
    ASSERT_TRUE(view.SaveAsBitmap(bmp));
    EXPECT_EQ(oranges(QImage(bmp)), 0);
    EXPECT_EQ(QImage(bmp).convertToFormat(before.format()), before);
    QString pdf1 = dir.filePath(QStringLiteral("after.pdf"));
    QPrinter printer1(QPrinter::HighResolution);
    printer1.setOutputFormat(QPrinter::PdfFormat);
    printer1.setOutputFileName(pdf1);
    ASSERT_TRUE(view.printTo(printer1, false));
    auto body = [](const QString& file) {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray all = f.readAll();
        // Without the moment it was made.
        qsizetype at = all.indexOf("/CreationDate");
        if (at >= 0) all.remove(at, all.indexOf('\n', at) - at);
        return all;
    };
    EXPECT_EQ(body(pdf1), body(pdf0));

    // A layer: everything else dims.
    view.highlightLayer(QStringLiteral("walls"));
    EXPECT_TRUE(view.highlightRect().isEmpty());
    auto bright = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += qGray(image.pixel(x, y)) > 200;
        return n;
    };
    ASSERT_GT(bright(before), 50);
    EXPECT_EQ(bright(view.grab(drawn).toImage()), 0);  // the white of the other layers dimmed
    EXPECT_EQ(view.viewImage(), before);

    view.clearHighlight();
    EXPECT_TRUE(view.highlighted().isEmpty());
    EXPECT_EQ(view.grab(drawn).toImage().convertToFormat(before.format()), before.copy(drawn));
}

TEST(HighlightInTheView, GlidesToAnObjectOutOfSightAndTurnsOnTheWay)
{
    Drawing d;
    d.add(text("HERE", 0, 0, 5));
    const std::string here = d.lastHandle();
    d.add(text("FAR AWAY", 1000, 800, 5));
    const std::string far = d.lastHandle();
    d.add(text("TINY", 500, 100, 0.05));
    const std::string tiny = d.lastHandle();
    QTemporaryDir dir;
    QString path = d.save(dir.path(), QStringLiteral("far.dxf"));
    DDVue view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ASSERT_TRUE(view.OpenDrawing(path));
    view.ready();
    // In on the first text, so that the others are out of sight.
    view.highlightObject(QString::fromStdString(here), true);
    for (int i = 0; i < 12; ++i) viewdriver::wheel(&view, view.highlightRect().center(), 1);
    const QRectF seen(QPointF(0, 0), QSizeF(view.size()));
    auto shown = [&] {
        QRectF r = view.highlightRect();
        return !r.isEmpty() && seen.contains(r);
    };
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }));

    view.highlightObject(QString::fromStdString(far), true);
    EXPECT_TRUE(view.gliding());
    // Turned towards another object on the way: it ends there.
    QTest::qWait(60);
    view.highlightObject(QString::fromStdString(tiny), true);
    ASSERT_TRUE(viewdriver::waitFor([&] { return !view.gliding(); }, 3000));
    EXPECT_TRUE(shown());
    EXPECT_GE(view.highlightRect().height(), 14);  // zoomed until it can be seen
    QImage screen = view.grab().toImage();
    EXPECT_GT(oranges(screen, view.highlightRect().toAlignedRect()), 20);

    // The wheel takes the view back from a glide at once.
    view.highlightObject(QString::fromStdString(far), true);
    ASSERT_TRUE(view.gliding());
    viewdriver::wheel(&view, QPointF(200, 150), -1);
    EXPECT_FALSE(view.gliding());

    // A handle the drawing does not have points out nothing.
    view.highlightObject(QStringLiteral("FFFFF0"), true);
    EXPECT_FALSE(view.gliding());
    EXPECT_TRUE(view.highlightRect().isEmpty());
}

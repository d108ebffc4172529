// The scene a drawing becomes: where entities end up, which color and layer
// they answer to, and what a hostile drawing cannot do to it.

#include "TinyDxf.h"
#include "ddvue/render/DrawingScene.h"
#include "ddvue/render/Geometry.h"
#include "ddvue/render/Palette.h"
#include "ddvue/render/SpatialIndex.h"

#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace ddvue;
using namespace ddvue::render;
using namespace tinydxf;

namespace {

// A drawing opened and turned into a scene.
struct Built {
    QTemporaryDir dir;
    DDVueEngine engine;
    DrawingScene scene;

    explicit Built(const Drawing& d)
    {
        QString path = d.save(dir.path(), QStringLiteral("t.dxf"));
        EXPECT_TRUE(open(engine, path)) << engine.lastError().toStdString();
        if (engine.isOpen()) scene.attach(*engine.document(), path, QString());
    }
    const Scene& s() { return scene.scene(); }
};

void expectBounds(const Bounds& b, double x0, double y0, double x1, double y1, double tol = 1e-3)
{
    EXPECT_NEAR(b.x0, x0, tol);
    EXPECT_NEAR(b.y0, y0, tol);
    EXPECT_NEAR(b.x1, x1, tol);
    EXPECT_NEAR(b.y1, y1, tol);
}

// Live primitives, in order.
std::vector<Primitive> live(const Scene& s)
{
    std::vector<Primitive> out;
    for (const Primitive& p : s.primitives())
        if (!p.dead()) out.push_back(p);
    return out;
}

// Whether a pixel within one of `at` has the color: lines are drawn on the
// pixels a rasterizer picks, not on exact positions.
bool colorNear(const QImage& img, QPointF at, QRgb c)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            int x = int(at.x()) + dx, y = int(at.y()) + dy;
            if (img.rect().contains(x, y) && img.pixel(x, y) == c) return true;
        }
    return false;
}

double polygonArea(const std::vector<QPointF>& pts)
{
    double a = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const QPointF& p = pts[i];
        const QPointF& q = pts[(i + 1) % pts.size()];
        a += p.x() * q.y() - q.x() * p.y();
    }
    return std::abs(a) / 2;
}

}  // namespace

TEST(Palette, StandardIndexColors)
{
    EXPECT_EQ(aciColor(1), qRgb(255, 0, 0));
    EXPECT_EQ(aciColor(5), qRgb(0, 0, 255));
    EXPECT_EQ(aciColor(7), qRgb(255, 255, 255));
    EXPECT_EQ(aciColor(8), qRgb(128, 128, 128));
    EXPECT_EQ(aciColor(10), qRgb(255, 0, 0));    // hue 0, full
    EXPECT_EQ(aciColor(11), qRgb(255, 127, 127));  // hue 0, half saturated
    EXPECT_EQ(aciColor(30), qRgb(255, 127, 0));  // hue 30
    EXPECT_EQ(aciColor(140), qRgb(0, 191, 255));
    EXPECT_EQ(aciColor(250), qRgb(51, 51, 51));
    EXPECT_EQ(aciColor(255), qRgb(255, 255, 255));
    EXPECT_EQ(aciColor(0), qRgb(255, 255, 255));
    EXPECT_EQ(aciColor(300), qRgb(255, 255, 255));
}

TEST(Geometry, BulgeArcsAndMirroredPlanes)
{
    // A half circle from (0,0) to (2,0), counter-clockwise: it passes below.
    std::vector<QPointF> pts{{0, 0}};
    appendBulge(pts, {0, 0}, {2, 0}, 1.0);
    double lowest = 0;
    for (const QPointF& p : pts) {
        EXPECT_NEAR(std::hypot(p.x() - 1, p.y()), 1.0, 1e-9);
        lowest = std::min(lowest, p.y());
    }
    EXPECT_NEAR(lowest, -1.0, 1e-3);
    EXPECT_EQ(pts.back(), QPointF(2, 0));

    // Seen from below (extrusion -z), x runs the other way.
    QTransform below = ocsToWorld({0, 0, -1});
    EXPECT_EQ(below.map(QPointF(3, 4)), QPointF(-3, 4));
    EXPECT_EQ(ocsToWorld({0, 0, 1}).map(QPointF(3, 4)), QPointF(3, 4));
}

TEST(Geometry, SplineThroughItsClampedEnds)
{
    std::vector<QPointF> ctrl{{0, 0}, {1, 2}, {3, 2}, {4, 0}};
    std::vector<QPointF> pts = evaluateSpline(3, {0, 0, 0, 0, 1, 1, 1, 1}, ctrl, {}, false);
    ASSERT_GT(pts.size(), 10u);
    EXPECT_NEAR(pts.front().x(), 0, 1e-9);
    EXPECT_NEAR(pts.back().x(), 4, 1e-9);
    EXPECT_NEAR(pts[pts.size() / 2].x(), 2, 1e-6);  // symmetric
    // Knots that do not fit are replaced, not trusted.
    EXPECT_EQ(evaluateSpline(3, {5, 1}, ctrl, {}, false).front(), QPointF(0, 0));
}

TEST(Geometry, HatchPatternLinesStayInsideTheBoundary)
{
    // A 10 x 10 square with a 4 x 4 hole; horizontal lines one unit apart.
    std::vector<std::vector<QPointF>> rings{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{3, 3}, {7, 3}, {7, 7}, {3, 7}}};
    PatternLine across;
    across.base = QPointF(0, 0.5);
    across.offset = QPointF(0.25, 1);  // the next line one unit up (and shifted along, which changes nothing)
    std::vector<QPointF> out;
    double spacing = 0;
    ASSERT_TRUE(hatchPattern(rings, {across}, 1000, out, spacing));
    EXPECT_DOUBLE_EQ(spacing, 1);
    double length = 0;
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
        QPointF a = out[i], b = out[i + 1];
        EXPECT_EQ(a.y(), b.y());
        bool inHole = a.y() > 3 && a.y() < 7 && std::max(a.x(), b.x()) > 3.001 && std::min(a.x(), b.x()) < 6.999;
        EXPECT_FALSE(inHole) << a.x() << "," << a.y() << " - " << b.x();
        length += std::abs(b.x() - a.x());
    }
    EXPECT_NEAR(length, 10 * 10 - 4 * 4, 1e-9);  // ten lines of 10, four of them across the hole

    // Dashes of one and gaps of one cover half; a dot is a pair of equal points.
    PatternLine dashed = across;
    dashed.dashes = {1, -1};
    out.clear();
    ASSERT_TRUE(hatchPattern({rings[0]}, {dashed}, 1000, out, spacing));
    double dashedLength = 0;
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) dashedLength += std::abs(out[i + 1].x() - out[i].x());
    EXPECT_NEAR(dashedLength, 50, 1.0 + 1e-9);

    // Too dense for the limit: nothing, and the caller shows a tint.
    PatternLine dense = across;
    dense.offset = QPointF(0, 0.001);
    out.clear();
    EXPECT_FALSE(hatchPattern(rings, {dense}, 1000, out, spacing));
    EXPECT_TRUE(out.empty());
}

TEST(SpatialIndex, OffersEveryPrimitiveThatMeetsTheRectangleOnce)
{
    // Sizes spread evenly over the scales, so that many primitives are
    // nearly as large as the cells they go in, the case the index must get
    // right.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(0, 1000), scale(0, 10), big(0, 300);
    std::vector<Primitive> prims;
    for (int i = 0; i < 20000; ++i) {
        double x = pos(rng), y = pos(rng), w = 1000 / std::pow(2, scale(rng)), h = i % 3 ? w : 0;
        Primitive p{};
        p.x0 = float(x), p.y0 = float(y), p.x1 = float(x + w), p.y1 = float(y + h);
        prims.push_back(p);
    }
    SpatialIndex index;
    index.build(prims);
    for (int q = 0; q < 50; ++q) {
        double x0 = pos(rng), y0 = pos(rng), x1 = x0 + big(rng) / 3, y1 = y0 + big(rng) / 3;
        std::vector<int> seen(prims.size(), 0);
        index.query(x0, y0, x1, y1, [&](std::uint32_t id) { ++seen[id]; });
        std::size_t offered = 0;
        for (std::size_t i = 0; i < prims.size(); ++i) {
            const Primitive& p = prims[i];
            bool meets = p.x1 >= x0 && p.x0 <= x1 && p.y1 >= y0 && p.y0 <= y1;
            if (meets) {
                EXPECT_EQ(seen[i], 1) << "query " << q << " primitive " << i;
            }
            EXPECT_LE(seen[i], 1);
            offered += seen[i];
        }
        EXPECT_LT(offered, prims.size() / 3);  // a small view looks at a small part
    }
}

TEST(SceneBuilder, BlockReferencesNestedScaledRotatedMirroredAndArrayed)
{
    Drawing d;
    d.block("UNIT", {line(0, 0, 1, 0)}, 0, 0);
    d.block("PAIR", {insert("UNIT", 10, 0), insert("UNIT", 20, 0, 1, 1, 90)});
    d.add(insert("PAIR", 100, 100, 2, 2, 0));  // UNIT at 120..122; rotated one at 140, up 0..2
    Built b(d);
    expectBounds(b.s().extents(), 120, 100, 140, 102);

    Drawing m;
    m.block("UNIT", {line(1, 0, 2, 0)}, 0, 0);
    m.add(insert("UNIT", 0, 0, -1, 1));  // mirrored: -2 .. -1
    Built mb(m);
    expectBounds(mb.s().extents(), -2, 0, -1, 0);

    Drawing a;
    a.block("CELL", {circle(0, 0, 1)});
    Groups arr = insert("CELL", 0, 0);
    arr.insert(arr.end(), {{70, "3"}, {71, "2"}, {44, "10"}, {45, "5"}});
    a.add(arr);
    Built ab(a);
    EXPECT_EQ(live(ab.s()).size(), 6u);
    expectBounds(ab.s().extents(), -1, -1, 21, 6);
}

TEST(SceneBuilder, ArraysRepeatTheirAttributes)
{
    Drawing d;
    d.block("CELL", {circle(0, 0, 1)});
    Groups arr = insert("CELL", 0, 0);
    arr.insert(arr.end(), {{66, "1"}, {70, "2"}, {71, "3"}, {44, "10"}, {45, "5"}});
    d.add(arr);
    d.add(attrib("N", "7", 0.5, 0, 1));
    d.add(seqend());
    Built b(d);
    std::set<std::pair<int, int>> texts;
    for (const Primitive& p : live(b.s()))
        if (p.type == PrimitiveType::Text) texts.emplace(int(std::floor(p.x0)), int(std::floor(p.y0)));
    EXPECT_EQ(texts.size(), 6u);  // one beside every copy
    EXPECT_TRUE(texts.count({10, 9}) || texts.count({10, 10}));
}

// A multi-line attribute draws every line of its embedded text, also when
// its own value holds only the first line (as ezdxf writes it).
TEST(SceneBuilder, MultiLineAttributeDrawsEveryLine)
{
    Drawing d;
    d.block("CELL", {circle(0, 0, 1)});
    Groups ref = insert("CELL", 0, 0);
    ref.push_back({66, "1"});
    d.add(ref);
    Groups a = attrib("NOTE", "First", 0, 0, 1);
    a.insert(a.end(), {{101, "Embedded Object"}, {10, "0"}, {20, "0"}, {30, "0"}, {40, "1"}, {41, "50"}, {71, "1"},
                       {72, "5"}, {1, "First\\PSecond\\PThird"}});
    d.add(a);
    d.add(seqend());
    Built b(d);
    int lines = 0;
    for (const Primitive& p : live(b.s())) lines += p.type == PrimitiveType::Text;
    EXPECT_EQ(lines, 3);
}

TEST(SceneBuilder, DimensionsLeadersImagesAndViewports)
{
    Drawing d;
    d.block("*D1", {line(0, 0, 10, 0), point(50, 50)});
    d.add({{0, "DIMENSION"}, {8, "0"}, {2, "*D1"}, {10, "0"}, {20, "0"}, {30, "0"}, {70, "0"}});
    d.add({{0, "LEADER"}, {8, "0"}, {71, "1"}, {76, "2"}, {10, "0"}, {20, "-10"}, {30, "0"}, {10, "10"}, {20, "-10"},
           {30, "0"}});
    d.add({{0, "IMAGE"}, {8, "0"}, {10, "20"}, {20, "0"}, {30, "0"}, {11, "0.1"}, {21, "0"}, {31, "0"}, {12, "0"},
           {22, "0.1"}, {32, "0"}, {13, "100"}, {23, "50"}});
    d.add({{0, "VIEWPORT"}, {8, "0"}, {10, "500"}, {20, "500"}, {30, "0"}, {40, "10"}, {41, "10"}, {69, "2"}});
    Built b(d);
    auto prims = live(b.s());
    ASSERT_EQ(prims.size(), 4u);  // the dimension's line, the leader and its arrowhead, the image's frame
    EXPECT_EQ(prims[0].type, PrimitiveType::Line);
    EXPECT_EQ(prims[1].type, PrimitiveType::Polyline);
    EXPECT_EQ(prims[2].type, PrimitiveType::Fill);
    EXPECT_EQ(prims[3].type, PrimitiveType::Polyline);
    EXPECT_TRUE(prims[3].flags & Primitive::Closed);
    expectBounds(b.s().extents(), 0, -10, 30, 5, 0.05);  // no definition point, no viewport; the arrowhead is 0.06 wide
}

TEST(SceneBuilder, ColorsResolveThroughReferencesToLayersOrFixedColors)
{
    Drawing d;
    d.layer("RED", 1).layer("BLUE", 5);
    // In the block: one line by block, one by layer on layer 0, one on RED by layer, one green.
    d.block("B", {line(0, 0, 1, 0, "0", 0), line(0, 1, 1, 1, "0", 256), line(0, 2, 1, 2, "RED", 256),
                  line(0, 3, 1, 3, "0", 3)});
    Groups ref = insert("B", 0, 0, 1, 1, 0, "BLUE", 6);  // magenta reference on BLUE
    ref.push_back({66, "1"});
    d.add(ref);
    d.add(attrib("TAG", "V", 0, 10, 1));  // on layer 0, by layer
    d.add(seqend());
    d.add(line(5, 5, 6, 6, "0", 0));  // by block at the top: the foreground color
    Built b(d);
    auto prims = live(b.s());
    ASSERT_EQ(prims.size(), 6u);
    std::swap(prims[4], prims[5]);  // the line to the fifth place, the attribute last
    const auto& layers = b.s().layers();
    auto layerName = [&](const Primitive& p) { return layers[p.layer].name; };
    EXPECT_EQ(prims[0].color, color::fixed(aciColor(6)));  // by block: the reference's color
    EXPECT_EQ(layerName(prims[0]), "BLUE");               // layer 0 takes the reference's layer
    EXPECT_EQ(prims[1].color, color::ofLayer(prims[1].layer));
    EXPECT_EQ(layerName(prims[1]), "BLUE");
    EXPECT_EQ(layerName(prims[2]), "RED");
    EXPECT_EQ(prims[3].color, color::fixed(aciColor(3)));
    EXPECT_EQ(prims[4].color, color::kForeground);
    EXPECT_EQ(prims[5].type, PrimitiveType::Text);
    EXPECT_EQ(layerName(prims[5]), "BLUE");  // an attribute on layer 0 takes the reference's layer
}

TEST(SceneBuilder, LinetypesAndLineweightsResolveAndScale)
{
    // $LTSCALE 2; DASHED is 1 on, 0.5 off; HIDDEN is the layer's.
    Drawing d;
    d.header("$LTSCALE", 40, "2").header("$LWDISPLAY", 290, "1").header("$LWDEFAULT", 370, "30");
    d.linetype("DASHED", {1, -0.5}).linetype("HIDDEN", {0.25, -0.125}).linetype("DOTS", {0, -0.2});
    d.linetype("CONTINUOUS", {});
    d.layer("HID", 7, 0, "hidden", 50).layer("PLAIN", 7, 0, "CONTINUOUS", -3);
    auto with = [](Groups g, std::initializer_list<std::pair<int, std::string>> extra) {
        g.insert(g.end(), extra.begin(), extra.end());
        return g;
    };
    // In the block: by block, by layer on layer 0 (the reference's layer), its own.
    d.block("B", {with(line(0, 0, 1, 0), {{6, "BYBLOCK"}, {370, "-2"}}), line(0, 1, 1, 1),
                  with(line(0, 2, 1, 2), {{6, "DOTS"}, {370, "0"}})});
    d.add(with(line(0, 10, 1, 10), {{6, "dashed"}, {48, "3"}}));   // own linetype, own scale: 1 * 2 * 3
    d.add(line(0, 11, 1, 11, "HID"));                             // by layer, weight by layer
    d.add(with(line(0, 12, 1, 12, "PLAIN"), {{6, "BYLAYER"}, {370, "-3"}}));  // solid, the default weight
    d.add(with(line(0, 13, 1, 13), {{6, "NOSUCH"}}));             // a name the table lacks: solid
    d.add(with(insert("B", 0, 20, 4, 4, 0, "HID"), {{6, "DASHED"}, {370, "100"}}));
    Built b(d);
    auto prims = live(b.s());
    ASSERT_EQ(prims.size(), 7u);
    std::sort(prims.begin(), prims.end(), [](const Primitive& p, const Primitive& q) { return p.y0 < q.y0; });
    const auto& styles = b.s().lineStyles();
    auto pattern = [&](const Primitive& p) { return styles.at(p.line).pattern; };
    auto weight = [&](const Primitive& p) { return styles.at(p.line).weight; };
    EXPECT_EQ(pattern(prims[0]), std::vector<float>({6, -3}));
    EXPECT_EQ(pattern(prims[1]), std::vector<float>({0.5, -0.25}));
    EXPECT_FLOAT_EQ(weight(prims[1]), 0.5f);
    EXPECT_TRUE(pattern(prims[2]).empty());
    EXPECT_FLOAT_EQ(weight(prims[2]), 0.3f);
    EXPECT_TRUE(pattern(prims[3]).empty());
    // The reference scales the block's patterns 4 times, after $LTSCALE.
    EXPECT_EQ(pattern(prims[4]), std::vector<float>({8, -4}));  // by block: the reference's DASHED
    EXPECT_FLOAT_EQ(weight(prims[4]), 1.0f);                     // and its weight
    EXPECT_EQ(pattern(prims[5]), std::vector<float>({2, -1}));  // by layer on 0: HID's
    EXPECT_FLOAT_EQ(weight(prims[5]), 0.5f);
    EXPECT_EQ(pattern(prims[6]), std::vector<float>({0, -1.6f}));
    EXPECT_FLOAT_EQ(weight(prims[6]), 0.0f);

    // Without $LWDISPLAY the weights are not shown.
    Drawing plain;
    plain.layer("HID", 7, 0, "CONTINUOUS", 50);
    plain.add(line(0, 0, 1, 0, "HID"));
    Built p(plain);
    ASSERT_EQ(live(p.s()).size(), 1u);
    EXPECT_EQ(live(p.s())[0].line, 0);
}

TEST(SceneBuilder, LayersOffOrFrozenAndTheirReferences)
{
    Drawing d;
    d.layer("OFF", -1).layer("FROZEN", 1, 1).layer("ON", 2);
    d.block("B", {line(0, 0, 1, 0, "0"), line(0, 1, 1, 1, "ON")});
    d.add(line(0, 10, 1, 10, "OFF"));
    d.add(insert("B", 0, 20, 1, 1, 0, "OFF"));     // its layer-0 line hides, its ON line shows
    d.add(insert("B", 0, 30, 1, 1, 0, "FROZEN"));  // all of it hides
    Built b(d);
    const Scene& s = b.s();
    std::vector<double> shown;
    for (const Primitive& p : live(s)) {
        if (s.visibleLayers()[p.layer] && !s.hiddenChains()[p.chain]) shown.push_back(p.y0);
    }
    EXPECT_EQ(shown, std::vector<double>({21.0}));
}

TEST(SceneBuilder, PolylinesWithBulgesAndWidths)
{
    Drawing d;
    // A closed outline of two half circles (a full circle of radius 1 around (1,0)).
    d.add({{0, "LWPOLYLINE"}, {8, "0"}, {90, "2"}, {70, "1"}, {10, "0"}, {20, "0"}, {42, "1"}, {10, "2"}, {20, "0"},
           {42, "1"}});
    Built b(d);
    expectBounds(b.s().extents(), 0, -1, 2, 1, 1e-2);

    Drawing w;
    w.add({{0, "LWPOLYLINE"}, {8, "0"}, {90, "3"}, {70, "0"}, {43, "2"}, {10, "0"}, {20, "0"}, {10, "10"}, {20, "0"},
           {10, "10"}, {20, "10"}});
    Built wb(w);
    std::size_t fills = 0;
    for (const Primitive& p : live(wb.s())) fills += p.type == PrimitiveType::Fill;
    EXPECT_GE(fills, 2u);                                  // two bands and their joint
    expectBounds(wb.s().extents(), 0, -1, 11, 10, 1e-6);   // a band of width 2 around the centre line
}

TEST(SceneBuilder, TextStandsAtItsAlignmentPoint)
{
    auto boundsOf = [](const Groups& g) {
        Drawing d;
        d.add(g);
        Built b(d);
        return b.s().extents();
    };
    Bounds left = boundsOf(text("HELLO", 100, 50, 10, 0, 0));
    Bounds centre = boundsOf(text("HELLO", 100, 50, 10, 1, 0));
    Bounds right = boundsOf(text("HELLO", 100, 50, 10, 2, 0));
    Bounds middle = boundsOf(text("HELLO", 100, 50, 10, 4, 0));
    Bounds top = boundsOf(text("HELLO", 100, 50, 10, 0, 3));
    double width = left.x1 - left.x0;
    EXPECT_GT(width, 25);  // five capitals of height 10
    EXPECT_LT(width, 50);
    EXPECT_NEAR(left.x0, 100, 1.0);
    EXPECT_NEAR((centre.x0 + centre.x1) / 2, 100, 0.5);
    EXPECT_NEAR(right.x1, 100, 1.0);
    EXPECT_NEAR((middle.x0 + middle.x1) / 2, 100, 0.5);
    EXPECT_LT(left.y0, 50);  // the font's descent below the baseline
    EXPECT_NEAR(top.y1 - 50, left.y1 - 60, 0.5);  // the capital top at the point

    // Fitted between two points: the text spans them exactly.
    Groups fit = text("HELLO", 0, 0, 10, 5, 0);
    fit[8] = {11, "200"};
    Bounds f = boundsOf(fit);
    EXPECT_NEAR(f.x1 - f.x0, 200, 200 * 0.05);
}

TEST(SceneBuilder, MultiLineTextNeverDrawsItsCodes)
{
    Drawing d;
    d.add(mtext("{\\fArial|b1;Bold}\\P\\C1;red \\S1/2; \\H2x;big\\~end", 0, 0, 1, 5, 0));
    Built b(d);
    // Glyphs drawn: exactly the characters a reader sees, blanks aside.
    std::size_t glyphs = 0;
    for (const Primitive& p : live(b.s())) {
        if (p.type != PrimitiveType::Text) continue;
        const TextData& t = b.s().texts()[p.data];
        for (const QGlyphRun& r : GlyphFonts().glyphRuns(*t.shaped)) {
            QList<quint32> blanks = r.rawFont().glyphIndexesForString(QStringLiteral(" \u00A0"));
            for (quint32 g : r.glyphIndexes()) glyphs += !blanks.contains(g);
        }
    }
    EXPECT_EQ(glyphs, std::size_t(QStringLiteral("Boldred12bigend").size()));
    // Attached in the middle: the block stands around the insertion point.
    Bounds e = b.s().extents();
    EXPECT_LT(e.x0, 0);
    EXPECT_GT(e.x1, 0);
    EXPECT_LT(e.y0, 0);
    EXPECT_GT(e.y1, 0);
}

TEST(SceneBuilder, MultileaderDrawsItsLeadersAndText)
{
    // The groups as AutoCAD writes them: the entity's own 41 (dogleg length)
    // and 171 (line weight) must not be taken for the text's height and
    // alignment, nor a leader's 10 for the text's position.
    Drawing d;
    d.add({{0, "MULTILEADER"}, {8, "0"}, {100, "AcDbMLeader"}, {300, "CONTEXT_DATA{"}, {40, "1"},
           {10, "20"}, {20, "10"}, {30, "0"}, {41, "2.5"}, {140, "1"}, {145, "0.5"}, {290, "1"},
           {304, "Valve\\PV-12"}, {11, "0"}, {21, "0"}, {31, "1"}, {12, "20"}, {22, "10"}, {32, "0"},
           {13, "1"}, {23, "0"}, {33, "0"}, {43, "0"}, {171, "1"}, {302, "LEADER{"}, {290, "1"}, {291, "1"},
           {10, "18"}, {20, "9"}, {30, "0"}, {11, "1"}, {21, "0"}, {31, "0"}, {40, "2"}, {304, "LEADER_LINE{"},
           {10, "0"}, {20, "0"}, {30, "0"}, {10, "10"}, {20, "9"}, {30, "0"}, {91, "0"}, {305, "}"}, {271, "0"},
           {303, "}"}, {301, "}"}, {170, "1"}, {91, "-1056964608"}, {171, "-2"}, {290, "1"}, {291, "1"},
           {41, "8"}, {172, "2"}});
    Built b(d);
    auto prims = live(b.s());
    ASSERT_GE(prims.size(), 2u);
    EXPECT_EQ(prims[0].type, PrimitiveType::Polyline);
    // The line's vertices, then the landing point and the dogleg from it.
    const std::vector<QPointF>& pts = b.s().points();
    ASSERT_EQ(prims[0].count, 4u);
    EXPECT_EQ(pts[prims[0].data], QPointF(0, 0));
    EXPECT_EQ(pts[prims[0].data + 2], QPointF(18, 9));
    EXPECT_EQ(pts[prims[0].data + 3], QPointF(20, 9));
    // Two lines of text, 2.5 high, hanging from their top left corner at (20, 10).
    int lines = 0;
    double left = 1e9, top = -1e9;
    for (const Primitive& p : prims) {
        if (p.type != PrimitiveType::Text) continue;
        ++lines;
        left = std::min(left, double(p.x0));
        top = std::max(top, double(p.y1));
    }
    EXPECT_EQ(lines, 2);
    EXPECT_NEAR(left, 20, 0.5);
    EXPECT_NEAR(top, 10, 1);
    EXPECT_LT(b.s().extents().y0, 10 - 2 * 2.5);
}

TEST(SceneBuilder, SolidHatchWithEdgesOutOfOrder)
{
    // A 10 x 5 rectangle whose edges come in no order and two of them reversed.
    Drawing d;
    d.add({{0, "HATCH"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"},
           {92, "1"}, {93, "4"},
           {72, "1"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"},
           {72, "1"}, {10, "0"}, {20, "5"}, {11, "10"}, {21, "5"},
           {72, "1"}, {10, "0"}, {20, "0"}, {11, "0"}, {21, "5"},
           {72, "1"}, {10, "10"}, {20, "0"}, {11, "10"}, {21, "5"},
           {97, "0"}, {75, "0"}, {76, "1"}, {98, "0"}});
    Built b(d);
    auto prims = live(b.s());
    ASSERT_EQ(prims.size(), 1u);
    ASSERT_EQ(prims[0].type, PrimitiveType::Fill);
    EXPECT_FALSE(prims[0].flags & Primitive::Light);
    std::vector<QPointF> ring(b.s().points().begin() + prims[0].data,
                              b.s().points().begin() + prims[0].data + prims[0].count);
    EXPECT_NEAR(polygonArea(ring), 50, 1e-6);
}

TEST(SceneBuilder, PaperSpaceOnlyWhenModelSpaceIsEmpty)
{
    Drawing paper;
    Groups l = line(0, 0, 5, 5);
    l.insert(l.begin() + 1, {67, "1"});
    paper.add(l);
    Built p(paper);
    EXPECT_TRUE(p.scene.showsPaperSpace());
    EXPECT_EQ(live(p.s()).size(), 1u);

    paper.add(line(100, 100, 101, 101));
    Built both(paper);
    EXPECT_FALSE(both.scene.showsPaperSpace());
    expectBounds(both.s().extents(), 100, 100, 101, 101);
}

TEST(SceneBuilder, PaperLayoutsShowTheirViewportsOntoModelSpaceClipped)
{
    // Model space: a circle, a line across where the viewport looks and one
    // far below it. Paper space: a line, and a viewport 80 x 60 at (100, 100)
    // that shows model space around (50, 50) twice as large.
    Drawing d;
    d.add(circle(50, 50, 10));
    const std::string circleHandle = d.lastHandle();
    d.add(line(30, 50, 90, 50));
    d.add(line(0, 0, 100, 0));
    auto onPaper = [](Groups g) {
        g.insert(g.begin() + 1, {67, "1"});
        return g;
    };
    d.add(onPaper(line(10, 10, 20, 10)));
    const std::string paperLine = d.lastHandle();
    d.add({{0, "VIEWPORT"}, {67, "1"}, {8, "0"}, {10, "100"}, {20, "100"}, {30, "0"}, {40, "80"}, {41, "60"},
           {68, "1"}, {69, "2"}, {12, "50"}, {22, "50"}, {45, "30"}});
    Built b(d);
    const dxf::Document& doc = *b.engine.document();
    const auto layouts = layoutsOf(doc);
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(layouts[0].name, "Model");
    EXPECT_EQ(layouts[1].name, "Layout1");
    EXPECT_EQ(spaceOf(doc, *doc.findHandle(circleHandle)), std::size_t(0));
    EXPECT_EQ(spaceOf(doc, *doc.findHandle(paperLine)), layouts[1].space);
    EXPECT_FALSE(b.scene.showsPaperSpace());

    b.scene.showSpace(layouts[1].space);
    const Scene& s = b.s();
    EXPECT_TRUE(b.scene.showsPaperSpace());
    // The paper's line, the viewport's frame, the circle and the line across;
    // the line below the viewport is not kept.
    auto prims = live(s);
    ASSERT_EQ(prims.size(), 4u);
    ASSERT_EQ(s.clips().size(), 1u);
    expectBounds(s.clips()[0].box, 60, 70, 140, 130);
    const Bounds circleBox{prims[2].x0, prims[2].y0, prims[2].x1, prims[2].y1};
    expectBounds(circleBox, 80, 80, 120, 120);
    expectBounds(s.extents(), 10, 10, 140, 130);

    // Painted, the line across stops at the viewport's edge.
    ViewTransform view;
    view.setViewport(200, 200);
    view.setCenter({100, 100});
    view.setScale(1);
    QImage img(200, 200, QImage::Format_RGB32);
    {
        QPainter p(&img);
        ScenePainter().paint(p, s, view, PaintOptions());
    }
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_TRUE(colorNear(img, view.toScreen({120, 100}), white));
    EXPECT_TRUE(colorNear(img, view.toScreen({100, 120}), white));  // the circle's top
    EXPECT_FALSE(colorNear(img, view.toScreen({160, 100}), white));
    EXPECT_TRUE(colorNear(img, view.toScreen({15, 10}), white));

    // An edit of model space shows through the viewport.
    ASSERT_TRUE(b.engine.DeleteEntity(QString::fromStdString(circleHandle)));
    EXPECT_EQ(live(b.s()).size(), 3u);
}

TEST(SceneBuilder, HostileDrawingsStayBounded)
{
    Drawing d;
    d.block("SELF", {line(0, 0, 1, 1), insert("SELF", 1, 1)});  // a block that holds itself
    d.block("EMPTY", {});
    d.add(insert("SELF", 0, 0));
    Groups huge = insert("EMPTY", 0, 0);
    huge.insert(huge.end(), {{70, "32767"}, {71, "32767"}, {44, "1"}, {45, "1"}});
    d.add(huge);                               // a billion empty copies
    d.add(line(0, 0, 1e300, 1e300));           // beyond any sane drawing
    d.add(text("X", 0, 0, 0));                 // no height
    d.add(circle(0, 0, -5));                   // no radius
    d.add(insert("MISSING", 0, 0));
    Built b(d);
    Bounds e = b.s().extents();
    EXPECT_LT(e.x1, 1e6);
    EXPECT_EQ(live(b.s()).size(), 1u);  // the line in the block, once; nothing of the rest
}

TEST(ScenePainter, PaintsOnlyWhatTheViewShowsAndDotsWhatIsSmallerThanAPixel)
{
    Drawing d;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j) d.add(line(i * 10, j * 10, i * 10 + 5, j * 10 + 5));
    Built b(d);
    const Scene& s = b.s();
    QImage img(200, 200, QImage::Format_RGB32);
    ViewTransform view;
    view.setViewport(200, 200);
    ScenePainter painter;

    view.zoomToExtents(s.extents());  // 10000 lines in 200 pixels: each a dot
    {
        QPainter p(&img);
        painter.paint(p, s, view, PaintOptions());
    }
    EXPECT_EQ(painter.lastStats().considered, 10000u);
    EXPECT_EQ(painter.lastStats().drawn, 0u);
    EXPECT_EQ(painter.lastStats().dots, 10000u);

    view.setCenter({505, 505});  // a tenth of the drawing each way
    view.setScale(2);
    {
        QPainter p(&img);
        painter.paint(p, s, view, PaintOptions());
    }
    EXPECT_LT(painter.lastStats().considered, 200u);
    EXPECT_GT(painter.lastStats().drawn, 50u);
    // The line from (500,500) to (505,505) crosses the middle of the view.
    EXPECT_TRUE(colorNear(img, view.toScreen({502.5, 502.5}), qRgb(255, 255, 255)));
    EXPECT_FALSE(colorNear(img, view.toScreen({507.5, 502.5}), qRgb(255, 255, 255)));
}

TEST(ScenePainter, DashesGapsDotsAndWeights)
{
    // A dashed line (8 on, 4 off), a dotted one (a dot every 6) and a wide
    // one (1 mm where lineweights show), 100 units long, at 2 pixels a unit.
    Drawing d;
    d.header("$LWDISPLAY", 290, "1");
    d.linetype("DASHED", {8, -4}).linetype("DOTS", {0, -6}).linetype("SPARSE", {1, -11});
    auto with = [](Groups g, int code, const std::string& v) {
        g.push_back({code, v});
        return g;
    };
    d.add(with(line(0, 0, 100, 0), 6, "DASHED"));
    d.add(with(line(0, 20, 100, 20), 6, "DOTS"));
    d.add(with(line(0, 40, 100, 40), 370, "100"));
    d.add(with(line(0, 60, 100, 60), 6, "SPARSE"));
    Built b(d);
    QImage img(240, 120, QImage::Format_RGB32);
    ViewTransform view;
    view.setViewport(240, 120);
    view.setCenter({50, 20});
    view.setScale(2);
    ScenePainter painter;
    auto paint = [&] {
        QPainter p(&img);
        painter.paint(p, b.s(), view, PaintOptions());
    };
    paint();
    const QRgb white = qRgb(255, 255, 255);
    auto litNear = [&](double x, double y) { return colorNear(img, view.toScreen({x, y}), white); };
    // Dashes where the pattern puts them, from the line's start, gaps between.
    for (double x : {1.0, 7.0, 13.0, 19.0, 50.0, 97.0}) EXPECT_TRUE(litNear(x, 0)) << x;
    for (double x : {10.0, 22.0, 46.0, 58.0}) EXPECT_FALSE(litNear(x, 0)) << x;
    // Dots every 6 units, nothing between.
    for (double x : {0.0, 6.0, 12.0, 96.0}) EXPECT_TRUE(litNear(x, 20)) << x;
    for (double x : {3.0, 9.0, 51.0}) EXPECT_FALSE(litNear(x, 20)) << x;
    // A millimetre is about four pixels wide on the screen: lit two pixels off the line.
    const QPointF wide = view.toScreen({50, 40});
    EXPECT_TRUE(colorNear(img, wide + QPointF(0, 2), white) && colorNear(img, wide - QPointF(0, 2), white));
    EXPECT_FALSE(colorNear(img, view.toScreen({50, 0}) + QPointF(0, 3), white));

    // Seen from far off, where the pattern repeats within a few pixels, a
    // line is drawn solid rather than as a haze of specks.
    view.setScale(0.2);
    paint();
    const QPointF from = view.toScreen({0, 60}), to = view.toScreen({100, 60});
    int columns = 0, lit = 0;
    for (int x = int(from.x()) + 1; x < int(to.x()); ++x, ++columns) {
        bool any = false;
        for (int y = int(from.y()) - 1; y <= int(from.y()) + 1; ++y) any = any || img.pixel(x, y) == white;
        lit += any;
    }
    EXPECT_GT(columns, 15);
    EXPECT_EQ(lit, columns);
}

TEST(ScenePainter, AColorThatIsTheBackgroundsShowsAsTheForeground)
{
    // True color black on the dark view (one line), true color white on
    // paper (the other); a color near the background stays as it is.
    Drawing d;
    Groups black = line(0, 0, 10, 0), white = line(0, 10, 10, 10), dark = line(0, 5, 10, 5);
    black.push_back({420, "0"});
    white.push_back({420, "16777215"});
    dark.push_back({420, "197379"});  // 0x030303
    d.add(black).add(white).add(dark);
    Built b(d);
    ViewTransform view;
    view.setViewport(100, 100);
    view.zoomToExtents(b.s().extents());
    QImage screen = renderScene(b.s(), QSize(100, 100));
    EXPECT_TRUE(colorNear(screen, view.toScreen({5, 0}), qRgb(255, 255, 255)));
    EXPECT_TRUE(colorNear(screen, view.toScreen({5, 10}), qRgb(255, 255, 255)));
    EXPECT_TRUE(colorNear(screen, view.toScreen({5, 5}), qRgb(3, 3, 3)));
    QImage paper = renderScene(b.s(), QSize(100, 100), PaintOptions::paper(96));
    EXPECT_TRUE(colorNear(paper, view.toScreen({5, 0}), qRgb(0, 0, 0)));
    EXPECT_TRUE(colorNear(paper, view.toScreen({5, 10}), qRgb(0, 0, 0)));
}

TEST(ScenePainter, LaterEntitiesCoverEarlierOnes)
{
    Drawing d;
    d.add(line(0, 5, 10, 5, "0", 1));  // red line, then a green solid over it
    d.add({{0, "SOLID"}, {8, "0"}, {62, "3"}, {10, "2"}, {20, "0"}, {11, "8"}, {21, "0"}, {12, "2"}, {22, "10"},
           {13, "8"}, {23, "10"}});
    Built b(d);
    QImage img = renderScene(b.s(), QSize(100, 100));
    ViewTransform view;
    view.setViewport(100, 100);
    view.zoomToExtents(b.s().extents());
    EXPECT_FALSE(colorNear(img, view.toScreen({5, 5}), qRgb(255, 0, 0)));
    EXPECT_TRUE(colorNear(img, view.toScreen({5, 5}), qRgb(0, 255, 0)));
    EXPECT_TRUE(colorNear(img, view.toScreen({1, 5}), qRgb(255, 0, 0)));
}

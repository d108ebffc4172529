#pragma once
// What the view paints: a drawing turned into primitives in world
// coordinates (lines, polylines, fills, dots, arcs and text runs). Each
// primitive keeps a reference to its layer, so that a layer's new color or
// display state shows without rebuilding anything, and belongs to the
// top-level entity it came from, so that an edit rebuilds only that entity.

#include "ddvue/render/Primitive.h"
#include "ddvue/render/SpatialIndex.h"
#include "ddvue/render/TextLayout.h"

#include <QString>
#include <QPointF>
#include <QRectF>
#include <QRgb>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ddvue::render {

// A full or partial ellipse: the unit circle's points (cos t, sin t) for t
// from t0 to t1 (t0 < t1), mapped to world coordinates by `toWorld`.
struct ArcData {
    QTransform toWorld;
    double t0, t1;
};

// A run of text in one face. Its glyphs stand in font units (x to the
// right, y down, the baseline at y = 0); `toWorld` maps them. The glyphs are
// kept as plain numbers, not as Qt's glyph runs: those belong to a font, and
// a font to the thread that made it, so the painter makes its glyph runs with
// fonts of its own thread.
struct TextData {
    QTransform toWorld;
    std::shared_ptr<const ShapedText> shaped;  // shared by equal texts
    float advance;    // the run's width in font units
    float capHeight;  // in font units
};

// How a line is drawn beyond its color: the dashes of its linetype, in
// drawing units (a dash a positive length, a gap a negative one, a dot
// zero), repeated along the line from its start, and its lineweight. Line
// style 0 is solid and as thin as the device draws.
struct LineStyle {
    std::vector<float> pattern;  // empty: solid
    float period = 0;            // the elements' lengths added up
    float weight = 0;            // millimetres; 0 the thinnest line
};

struct SceneLayer {
    std::string name;
    QRgb rgb = 0xFFFFFFFF;
    bool foreground = true;  // index 7: follows the background
    bool on = true;
    bool frozen = false;
};

class Scene {
public:
    // Building. Primitives are added between beginEntity and endEntity, for
    // the top-level record they belong to.
    void clear();
    // Names the scene's contents since it was made or last cleared, unlike
    // that of any other scene: what a painter keeps of a scene's texts by
    // their index holds while this stays the same.
    std::uint64_t generation() const { return generation_; }
    void beginEntity(std::uint32_t record);
    void endEntity();
    std::uint32_t currentEntity() const { return current_; }

    struct Style {
        std::uint32_t color = color::kForeground;
        std::uint32_t layer = 0;
        std::uint32_t chain = 0;
        std::uint16_t line = 0;  // see lineStyles()
    };
    void addLine(QPointF a, QPointF b, const Style& s);
    void addPolyline(const std::vector<QPointF>& points, bool closed, const Style& s);
    // One vector per ring; rings are filled even-odd, so holes stay open.
    void addFill(const std::vector<std::vector<QPointF>>& rings, const Style& s, bool light, bool outlined);
    // A hatch pattern: its boundary (shown as a light fill where the
    // pattern's lines stand closer than a few pixels) and its lines, as pairs
    // of points (a pair of equal points is a dot); `spacing` is the smallest
    // distance between two of its lines.
    void addPattern(const std::vector<std::vector<QPointF>>& rings, const std::vector<QPointF>& segments,
                    double spacing, const Style& s);
    void addDot(QPointF p, const Style& s);
    void addArc(const QTransform& toWorld, double t0, double t1, const Style& s);
    void addText(TextData text, float ascent, float descent, const Style& s);

    // Removes the primitives of a top-level entity (before it is rebuilt, or
    // when it is deleted).
    void removeEntity(std::uint32_t record);
    bool hasEntity(std::uint32_t record) const { return entities_.count(record) > 0; }

    // Parts: an object drawn within a top-level entity (a block reference's
    // attribute) keeps its own primitives apart, all copies of it together,
    // so that it can be found alone. Parts do not nest.
    void beginPart(std::uint32_t record);
    void endPart();
    // The primitives of a top-level entity, or of a part: ids first to
    // first + count - 1 (some may since have been removed); count 0 when the
    // scene holds none.
    struct Span {
        std::uint32_t first = 0, count = 0;
    };
    Span entitySpan(std::uint32_t record) const;
    Span partSpan(std::uint32_t record) const;
    // The bounds of the live primitives of a span.
    Bounds spanBounds(Span span) const;
    // Changes with every change of the contents or the layers: a picture
    // painted at one revision holds while the revision stays the same.
    std::uint64_t revision() const { return revision_; }

    // Layers.
    std::uint32_t addLayer(SceneLayer layer);
    void setLayer(std::uint32_t index, const SceneLayer& layer);
    const std::vector<SceneLayer>& layers() const { return layers_; }
    // Clipping: what is added between beginClip and endClip shows only
    // within the box (a paper layout's viewport onto model space); what lies
    // wholly outside it is not kept. Clips do not nest.
    struct Clip {
        std::uint32_t first = 0, end = 0;  // the primitives first to end - 1
        Bounds box;
    };
    void beginClip(const Bounds& box);
    void endClip();
    // In the order of their primitives.
    const std::vector<Clip>& clips() const { return clips_; }

    // Line styles: equal ones share their index. A scene that holds as many
    // as an index can tell draws the others solid.
    std::uint16_t addLineStyle(const LineStyle& style);
    const std::vector<LineStyle>& lineStyles() const { return lineStyles_; }

    // Chains: the layers of nested block references. Chain 0 is empty.
    std::uint32_t chainWith(std::uint32_t parentChain, std::uint32_t layer);
    const std::vector<std::uint32_t>& chainLayers(std::uint32_t chain) const { return chains_[chain].layers; }
    // Which chains hide their content: one of their layers is frozen.
    const std::vector<char>& hiddenChains() const;
    // Whether primitives on each layer show: on and not frozen.
    const std::vector<char>& visibleLayers() const;

    // Contents.
    const std::vector<Primitive>& primitives() const { return prims_; }
    const std::vector<QPointF>& points() const { return points_; }
    const std::vector<ArcData>& arcs() const { return arcs_; }
    const std::vector<TextData>& texts() const { return texts_; }
    std::size_t liveCount() const { return prims_.size() - deadCount_; }
    std::size_t deadCount() const { return deadCount_; }
    // The bounds of every live primitive.
    Bounds extents() const;
    // The spatial index over the primitives, brought up to date.
    const SpatialIndex& index() const;

    // Limits that keep a hostile drawing from exhausting memory.
    bool full() const { return points_.size() + arcs_.size() * 4 + texts_.size() * 8 > kMaxPoints; }
    static constexpr std::size_t kMaxPoints = 60'000'000;

private:
    std::uint32_t push(PrimitiveType type, const Bounds& b, std::uint32_t data, std::uint32_t count, const Style& s,
                       std::uint8_t flags);

    struct Chain {
        std::uint32_t parent;
        std::uint32_t layer;
        std::vector<std::uint32_t> layers;
    };
    struct Range {
        std::uint32_t first, count;
    };

    std::vector<Primitive> prims_;
    std::vector<QPointF> points_;
    std::vector<ArcData> arcs_;
    std::vector<TextData> texts_;
    std::vector<SceneLayer> layers_;
    std::vector<LineStyle> lineStyles_{LineStyle{}};
    std::vector<Clip> clips_;
    bool clipping_ = false;
    std::unordered_map<std::string, std::uint16_t> lineStyleIndex_;
    std::vector<Chain> chains_{Chain{0, 0, {}}};
    std::unordered_map<std::uint64_t, std::uint32_t> chainIndex_;
    std::unordered_map<std::uint32_t, Range> entities_;
    std::unordered_map<std::uint32_t, Range> parts_;
    std::uint32_t part_ = UINT32_MAX, partFirst_ = 0;
    std::uint64_t revision_ = 0;
    std::uint32_t current_ = UINT32_MAX;
    std::uint64_t generation_ = nextGeneration();
    static std::uint64_t nextGeneration();
    std::uint32_t currentFirst_ = 0;
    std::size_t deadCount_ = 0;

    mutable bool layersDirty_ = true;
    mutable std::vector<char> visible_;
    mutable std::vector<char> hidden_;
    mutable bool extentsDirty_ = true;
    mutable Bounds extents_;
    mutable SpatialIndex index_;
    mutable bool indexBuilt_ = false;
};

}  // namespace ddvue::render

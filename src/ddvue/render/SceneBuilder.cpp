#include "ddvue/render/SceneBuilder.h"

#include "ddvue/dxf/Entities.h"
#include "ddvue/render/Geometry.h"
#include "ddvue/render/Palette.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace ddvue::render {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;

// Nesting deeper than this is taken for a broken drawing.
constexpr int kMaxDepth = 24;
// Block references expanded for one drawing at most; arrays of references
// beyond this are drawn in part.
constexpr std::size_t kMaxExpansions = 1'000'000;
// Pieces of pattern line one hatch may have; a denser pattern shows as a tint.
constexpr std::size_t kMaxPatternPieces = 200'000;

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

QPointF pointOf(const dxf::RecordView& v, int code)
{
    return {v.realOf(code), v.realOf(code + 10)};
}

Vec3 vec3Of(const dxf::RecordView& v, int code, Vec3 fallback = {})
{
    if (v.findMain(code) < 0) return fallback;
    return {v.realOf(code), v.realOf(code + 10), v.realOf(code + 20)};
}

Vec3 extrusionOf(const dxf::RecordView& v) { return vec3Of(v, 210, Vec3{0, 0, 1}); }

// Joins the edges of a boundary into one outline. Drawings do not always
// list edges head to tail or all in one direction: the outline grows at
// either end by the edge with an end nearest to it, turned round when need
// be. (Past a few thousand edges, the nearest is looked for among the next
// few only.)
std::vector<QPointF> chainEdges(std::vector<std::vector<QPointF>>& parts)
{
    std::deque<QPointF> ring;
    if (parts.empty()) return {};
    Bounds b;
    for (const auto& p : parts)
        for (const QPointF& q : p) b.add(q.x(), q.y());
    const double tolerance = std::max(b.width(), b.height()) * 1e-5 + 1e-9;
    auto distance = [](QPointF a, QPointF c) { return std::abs(a.x() - c.x()) + std::abs(a.y() - c.y()); };
    const std::size_t n = parts.size();
    const std::size_t window = n > 2000 ? 64 : n;
    std::vector<char> used(n, 0);
    ring.assign(parts[0].begin(), parts[0].end());
    used[0] = 1;
    std::size_t firstUnused = 1;
    for (std::size_t k = 1; k < n; ++k) {
        while (firstUnused < n && used[firstUnused]) ++firstUnused;
        std::size_t pick = firstUnused;
        bool atBack = true, reverse = false;
        double best = -1;
        for (std::size_t j = firstUnused, seen = 0; j < n && seen < window; ++j) {
            if (used[j]) continue;
            ++seen;
            const std::vector<QPointF>& p = parts[j];
            const double d[4] = {distance(p.front(), ring.back()), distance(p.back(), ring.back()),
                                 distance(p.back(), ring.front()), distance(p.front(), ring.front())};
            for (int c = 0; c < 4; ++c) {
                if (best >= 0 && d[c] >= best) continue;
                best = d[c];
                pick = j;
                atBack = c < 2;
                reverse = c == 1 || c == 3;
            }
            if (best <= tolerance) break;
        }
        used[pick] = 1;
        std::vector<QPointF>& part = parts[pick];
        if (reverse) std::reverse(part.begin(), part.end());
        if (atBack) {
            if (distance(part.front(), ring.back()) <= tolerance) ring.pop_back();
            ring.insert(ring.end(), part.begin(), part.end());
        } else {
            if (distance(part.back(), ring.front()) <= tolerance) ring.pop_front();
            ring.insert(ring.begin(), part.begin(), part.end());
        }
    }
    return std::vector<QPointF>(ring.begin(), ring.end());
}

std::vector<QPointF> mapped(const std::vector<QPointF>& pts, const QTransform& m)
{
    std::vector<QPointF> out;
    out.reserve(pts.size());
    for (const QPointF& p : pts) out.push_back(m.map(p));
    return out;
}

// A transform that maps the x axis to `dir` and the y axis to `up`, with
// the origin at `at`.
QTransform frameOf(QPointF at, QPointF dir, QPointF up) { return QTransform(dir.x(), dir.y(), up.x(), up.y(), at.x(), at.y()); }

}  // namespace

// What an entity inherits from the block references it stands in.
struct SceneBuilder::Context {
    const dxf::Document* doc;
    QTransform m;                     // the entity's coordinates to the world's
    std::uint32_t layer = UINT32_MAX;  // the reference's layer, for entities on layer 0
    std::uint32_t color = color::kForeground;  // the reference's color, for entities colored by block
    std::uint32_t chain = 0;
    int depth = 0;
    std::string xrefName;  // the external reference being drawn, or ""
    bool paperSpace = false;
    std::vector<std::pair<const dxf::Document*, std::uint32_t>>* stack = nullptr;  // blocks being expanded
    bool dimension = false;  // inside a dimension's block, whose points mark where it was measured
};

SceneBuilder::SceneBuilder(Scene& scene, Xrefs& xrefs) : scene_(scene), xrefs_(xrefs) {}

SceneLayer SceneBuilder::layerOf(const dxf::Document& doc, std::uint32_t index)
{
    dxf::LayerState s = dxf::layerState(doc, index);
    SceneLayer l;
    l.name = doc.layers()[index].name;
    l.on = s.on;
    l.frozen = s.frozen;
    if (s.trueColor) {
        l.rgb = *s.trueColor;
        l.foreground = false;
    } else {
        l.foreground = s.color == 7 || s.color < 1 || s.color > 255;
        l.rgb = aciColor(s.color) & 0xFFFFFF;
    }
    return l;
}

void SceneBuilder::addLayers(const dxf::Document& doc)
{
    host_ = &doc;
    foreignLayers_.clear();
    namedLayers_.clear();
    for (std::uint32_t i = 0; i < doc.layers().size(); ++i) scene_.addLayer(layerOf(doc, i));
}

std::uint32_t SceneBuilder::layerFor(const Context& ctx, const dxf::RecordView& v)
{
    std::string name = v.textOf(8, "0");
    const dxf::Document& doc = *ctx.doc;
    // Entities on layer 0 inside a block take the layer of the reference.
    if (ctx.layer != UINT32_MAX && name == "0") return ctx.layer;
    auto index = doc.findLayer(name);
    if (&doc == host_ && index) return *index;
    if (index) {
        // A layer of an external reference: the host drawing's "ref|layer"
        // entry when it has one (its display state rules), else the
        // reference's own.
        auto& cache = foreignLayers_[&doc];
        auto it = cache.find(*index);
        if (it != cache.end()) return it->second;
        std::string qualified = ctx.xrefName + "|" + name;
        std::uint32_t scene;
        if (auto own = host_->findLayer(qualified)) {
            scene = *own;
        } else {
            SceneLayer l = layerOf(doc, *index);
            l.name = qualified;
            scene = scene_.addLayer(l);
        }
        cache.emplace(*index, scene);
        return scene;
    }
    // A layer the table lacks: shown in the default color.
    std::string key = upper(ctx.xrefName.empty() ? name : ctx.xrefName + "|" + name);
    auto it = namedLayers_.find(key);
    if (it != namedLayers_.end()) return it->second;
    SceneLayer l;
    l.name = name;
    std::uint32_t scene = scene_.addLayer(l);
    namedLayers_.emplace(key, scene);
    return scene;
}

std::uint32_t SceneBuilder::colorFor(const Context& ctx, const dxf::RecordView& v, std::uint32_t layer) const
{
    int tc = v.findMain(420);
    if (tc >= 0) return color::fixed(static_cast<QRgb>(v.integer(static_cast<std::uint32_t>(tc))) & 0xFFFFFF);
    std::int64_t c = v.integerOf(62, 256);
    if (c == 0) return ctx.color;
    if (c == 7) return color::kForeground;
    if (c < 1 || c > 255) return color::ofLayer(layer);
    return color::fixed(aciColor(static_cast<int>(c)));
}

Scene::Style SceneBuilder::style(const Context& ctx, const dxf::RecordView& v)
{
    Scene::Style s;
    s.layer = layerFor(ctx, v);
    s.color = colorFor(ctx, v, s.layer);
    s.chain = ctx.chain;
    return s;
}

void SceneBuilder::buildEntity(const dxf::Document& doc, std::uint32_t record, std::vector<std::uint32_t>& usedBlocks,
                               bool paperSpace, TextMeasure& measure)
{
    if (host_ != &doc) addLayers(doc);
    used_ = &usedBlocks;
    measure_ = &measure;
    expansions_ = 0;
    std::vector<std::pair<const dxf::Document*, std::uint32_t>> stack;
    Context ctx{&doc, QTransform(), UINT32_MAX, color::kForeground, 0, 0, std::string(), paperSpace, &stack};
    entity(ctx, record);
    used_ = nullptr;
    measure_ = nullptr;
}

void SceneBuilder::entity(const Context& ctx, std::uint32_t record)
{
    const dxf::Document& doc = *ctx.doc;
    if (record >= doc.recordCount() || doc.isDeleted(record) || scene_.full()) return;
    dxf::RecordView v = doc.view(record);
    if (v.integerOf(60, 0) == 1) return;  // invisible
    std::string_view type = v.type();
    auto is = [&](const char* t) { return type == t; };
    style_ = style(ctx, v);
    const Scene::Style& s = style_;
    const QTransform& M = ctx.m;

    if (is("LINE")) {
        scene_.addLine(M.map(pointOf(v, 10)), M.map(pointOf(v, 11)), s);
    } else if (is("POINT")) {
        if (ctx.dimension) return;
        scene_.addDot(M.map(pointOf(v, 10)), s);
    } else if (is("CIRCLE") || is("ARC")) {
        double r = v.realOf(40);
        if (!(r > 0) || !std::isfinite(r)) return;
        Vec3 c = vec3Of(v, 10);
        QTransform unit(r, 0, 0, r, c.x, c.y);
        QTransform m = unit * ocsToWorld(extrusionOf(v), c.z) * M;
        double t0 = 0, t1 = 2 * kPi;
        if (is("ARC")) {
            t0 = v.realOf(50) * kDeg;
            t1 = v.realOf(51) * kDeg;
            while (t1 <= t0) t1 += 2 * kPi;
            if (t1 - t0 > 2 * kPi) t1 = t0 + 2 * kPi;
        }
        scene_.addArc(m, t0, t1, s);
    } else if (is("ELLIPSE")) {
        Vec3 c = vec3Of(v, 10), major = vec3Of(v, 11);
        double ratio = v.realOf(40, 1);
        Vec3 n = normalized(extrusionOf(v));
        Vec3 minor = cross(n, major);
        QTransform unit(major.x, major.y, minor.x * ratio, minor.y * ratio, c.x, c.y);
        double t0 = v.realOf(41, 0), t1 = v.realOf(42, 2 * kPi);
        while (t1 <= t0) t1 += 2 * kPi;
        if (t1 - t0 > 2 * kPi) t1 = t0 + 2 * kPi;
        scene_.addArc(unit * M, t0, t1, s);
    } else if (is("LWPOLYLINE")) {
        lwpolyline(ctx, v);
    } else if (is("POLYLINE")) {
        polyline(ctx, record, v);
    } else if (is("SPLINE")) {
        spline(ctx, v);
    } else if (is("SOLID") || is("TRACE")) {
        Vec3 p0 = vec3Of(v, 10);
        QTransform m = ocsToWorld(extrusionOf(v), p0.z) * M;
        QPointF a = pointOf(v, 10), b = pointOf(v, 11), c = pointOf(v, 12);
        QPointF d = v.findMain(13) >= 0 ? pointOf(v, 13) : c;
        // The corners go first, second, fourth, third around the outline.
        std::vector<QPointF> ring{a, b, d, c};
        if (d == c) ring = {a, b, c};
        scene_.addFill({mapped(ring, m)}, s, false, true);
    } else if (is("3DFACE")) {
        QPointF p[4] = {pointOf(v, 10), pointOf(v, 11), pointOf(v, 12),
                        v.findMain(13) >= 0 ? pointOf(v, 13) : pointOf(v, 12)};
        int hidden = static_cast<int>(v.integerOf(70, 0));
        for (int e = 0; e < 4; ++e) {
            if (hidden & (1 << e)) continue;
            QPointF a = p[e], b = p[(e + 1) % 4];
            if (a == b) continue;
            scene_.addLine(M.map(a), M.map(b), s);
        }
    } else if (is("TEXT")) {
        text(ctx, record, v, QString::fromStdString(dxf::entityText(doc, record)), false);
    } else if (is("ATTDEF")) {
        // Inside a block only constant attributes show (the others stand
        // for the references' own values); on their own they show the tag.
        int flags = static_cast<int>(v.integerOf(70, 0));
        if (ctx.depth > 0 && !(flags & 2)) return;
        QString value = QString::fromStdString(ctx.depth > 0 ? v.textOf(1) : v.textOf(2));
        text(ctx, record, v, value, true);
    } else if (is("ATTRIB")) {
        text(ctx, record, v, QString::fromStdString(dxf::entityText(doc, record)), true);
    } else if (is("MTEXT")) {
        mtext(ctx, v, QString::fromStdString(dxf::entityText(doc, record)), 0);
    } else if (is("INSERT")) {
        blockReference(ctx, record, v);
    } else if (type.size() >= 9 && type.substr(type.size() - 9) == "DIMENSION") {
        dimension(ctx, record, v);
    } else if (is("HATCH")) {
        hatch(ctx, v);
    } else if (is("LEADER")) {
        leader(ctx, v);
    } else if (is("IMAGE") || is("WIPEOUT")) {
        imageFrame(ctx, v);
    } else if (is("VIEWPORT")) {
        // Paper space shows a viewport's frame; the sheet's own viewport
        // (number 1) has none.
        if (!ctx.paperSpace || ctx.depth > 0 || v.integerOf(69, 0) == 1) return;
        QPointF c = pointOf(v, 10);
        double w = v.realOf(40) / 2, h = v.realOf(41) / 2;
        if (!(w > 0) || !(h > 0)) return;
        scene_.addPolyline(mapped({c + QPointF(-w, -h), c + QPointF(w, -h), c + QPointF(w, h), c + QPointF(-w, h)}, M),
                           true, s);
    } else if (is("MLINE")) {
        mline(ctx, v);
    } else if (is("MESH")) {
        mesh(ctx, v);
    } else if (is("ACAD_TABLE")) {
        // A table draws the anonymous block that holds its cells.
        dimension(ctx, record, v);
    }
}

// ------------------------------------------------------------------- blocks

void SceneBuilder::blockContents(const Context& ctx, const dxf::Document& doc, std::uint32_t block,
                                 const QTransform& m, std::uint32_t layer, std::uint32_t color, std::uint32_t chain,
                                 const std::string& xrefName)
{
    if (ctx.depth >= kMaxDepth || ++expansions_ > kMaxExpansions || scene_.full()) return;
    auto& stack = *ctx.stack;
    for (auto& [d, b] : stack)
        if (d == &doc && b == block) return;  // a block that holds itself
    if (&doc == host_ && used_) used_->push_back(block);
    stack.emplace_back(&doc, block);
    Context inner{&doc, m, layer, color, chain, ctx.depth + 1, xrefName, ctx.paperSpace, ctx.stack, ctx.dimension};
    for (std::uint32_t e : doc.blocks()[block].entities) entity(inner, e);
    stack.pop_back();
}

void SceneBuilder::blockReference(const Context& ctx, std::uint32_t record, const dxf::RecordView& v)
{
    const dxf::Document& doc = *ctx.doc;
    const Scene::Style s = style_;
    auto block = doc.findBlock(v.textOf(2));
    std::uint32_t chain = scene_.chainWith(ctx.chain, s.layer);
    // An array repeats the attributes with every copy: their offsets in the
    // coordinates of the space that holds the reference.
    std::vector<QPointF> copies{QPointF(0, 0)};

    if (block) {
        dxf::RecordView head = doc.view(doc.blocks()[*block].begin);
        Vec3 ins = vec3Of(v, 10);
        double sx = v.realOf(41, 1), sy = v.realOf(42, 1);
        if (sx == 0) sx = 1;
        if (sy == 0) sy = 1;
        double rot = v.realOf(50) * kDeg;
        long cols = std::max<std::int64_t>(1, v.integerOf(70, 1));
        long rows = std::max<std::int64_t>(1, v.integerOf(71, 1));
        double colSpace = v.realOf(44), rowSpace = v.realOf(45);
        if (colSpace == 0) cols = 1;
        if (rowSpace == 0) rows = 1;
        QTransform place = QTransform().rotateRadians(rot) * QTransform::fromTranslate(ins.x, ins.y) *
                           ocsToWorld(extrusionOf(v), ins.z) * ctx.m;
        const QTransform arrayAxes = QTransform().rotateRadians(rot) * ocsToWorld(extrusionOf(v));

        // The drawing and block that the reference draws: an external
        // reference's model space, or the block's own entities.
        const dxf::Document* target = &doc;
        std::string xrefName = ctx.xrefName;
        std::vector<std::uint32_t> space;
        bool external = head.integerOf(70, 0) & 4;
        QPointF base = pointOf(head, 10);
        if (external) {
            const dxf::Document* x = xrefs_.load(head.textOf(1));
            if (x && x != host_ && !x->spaces().empty()) {
                target = x;
                xrefName = doc.blocks()[*block].name;
            } else {
                target = nullptr;
            }
        }
        for (long r = 0; r < rows && target; ++r) {
            for (long c = 0; c < cols; ++c) {
                if (scene_.full() || expansions_ > kMaxExpansions) break;
                QTransform m = QTransform::fromTranslate(-base.x(), -base.y()) * QTransform::fromScale(sx, sy) *
                               QTransform::fromTranslate(c * colSpace, r * rowSpace) * place;
                if (r || c) copies.push_back(arrayAxes.map(QPointF(c * colSpace, r * rowSpace)));
                if (external) {
                    // The referenced drawing's model space, as one block.
                    if (ctx.depth >= kMaxDepth || ++expansions_ > kMaxExpansions) break;
                    auto& stack = *ctx.stack;
                    bool cycle = false;
                    for (auto& [d, b] : stack) cycle = cycle || d == target;
                    if (cycle) break;
                    stack.emplace_back(target, UINT32_MAX);
                    Context inner{target, m, s.layer, s.color, chain, ctx.depth + 1, xrefName, false, ctx.stack};
                    for (std::uint32_t e : target->spaces()[0].entities) entity(inner, e);
                    stack.pop_back();
                    if (&doc == host_ && used_) used_->push_back(*block);
                } else {
                    blockContents(ctx, doc, *block, m, s.layer, s.color, chain, ctx.xrefName);
                }
            }
        }
    }

    // The reference's attributes stand where they are, in the coordinates
    // of the space that holds the reference; like the block's entities they
    // take the reference's color when colored by block, and its layer when
    // on layer 0.
    Context attribs = ctx;
    attribs.color = s.color;
    attribs.layer = s.layer;
    attribs.chain = chain;
    for (std::uint32_t child : doc.children(record)) {
        if (doc.isDeleted(child) || doc.record(child).kind != dxf::Kind::Attrib) continue;
        // The attributes of a reference in the drawing's own space can be
        // found alone (the view points them out).
        const bool part = ctx.depth == 0 && &doc == host_;
        if (part) scene_.beginPart(child);
        for (const QPointF& offset : copies) {
            attribs.m = QTransform::fromTranslate(offset.x(), offset.y()) * ctx.m;
            entity(attribs, child);
        }
        if (part) scene_.endPart();
    }
}

void SceneBuilder::dimension(const Context& ctx, std::uint32_t, const dxf::RecordView& v)
{
    const dxf::Document& doc = *ctx.doc;
    auto block = doc.findBlock(v.textOf(2));
    if (!block) return;
    const Scene::Style s = style_;
    QTransform m = ocsToWorld(extrusionOf(v)) * ctx.m;
    if (v.type() == "ACAD_TABLE") {
        QPointF at = pointOf(v, 10);
        QPointF dir = v.findMain(11) >= 0 ? pointOf(v, 11) : QPointF(1, 0);
        double len = std::hypot(dir.x(), dir.y());
        if (!(len > 0)) dir = QPointF(1, 0), len = 1;
        dir /= len;
        m = frameOf(at, dir, QPointF(-dir.y(), dir.x())) * ctx.m;
    }
    Context measured = ctx;
    measured.dimension = v.type() != "ACAD_TABLE";
    blockContents(measured, doc, *block, m, s.layer, s.color, scene_.chainWith(ctx.chain, s.layer), ctx.xrefName);
}

// -------------------------------------------------------------------- texts

void SceneBuilder::emitText(const Context& ctx, const TextBlock& block, const QTransform& frame)
{
    const Scene::Style base = style_;
    // A color of part of the text: its own, or by layer or by block.
    auto colorOf = [&](std::uint32_t c) {
        if (c == 0) return base.color;
        if (c == TextFormat::kByLayer) return color::ofLayer(base.layer);
        if (c == TextFormat::kByBlock) return ctx.color;
        return c;
    };
    for (const PlacedRun& run : block.runs) {
        if (run.text.trimmed().isEmpty()) continue;
        std::shared_ptr<const ShapedText> shaped = measure_->shape(run.text, run.format);
        double advance = shaped->advance;
        if (!(advance > 0) || shaped->runs.empty()) continue;
        double s = measure_->unitScale(run.format);
        double slant = std::tan(std::clamp(run.format.oblique, -85.0, 85.0) * kDeg);
        QTransform toRun(s * run.format.widthFactor, 0, -s * slant, -s, run.x, run.y);
        TextData t{toRun * frame, std::move(shaped), static_cast<float>(advance),
                   static_cast<float>(measure_->capHeight())};
        Scene::Style st = base;
        st.color = colorOf(run.format.color);
        scene_.addText(std::move(t), static_cast<float>(measure_->ascent()), static_cast<float>(measure_->descent()),
                       st);
    }
    for (std::size_t i = 0; i < block.rules.size(); ++i) {
        Scene::Style st = base;
        st.color = colorOf(block.ruleColors[i]);
        scene_.addLine(frame.map(block.rules[i].p1()), frame.map(block.rules[i].p2()), st);
    }
}

void SceneBuilder::text(const Context& ctx, std::uint32_t, const dxf::RecordView& v, const QString& value,
                        bool attribute)
{
    if (attribute && (v.integerOf(70, 0) & 1)) return;  // an invisible attribute
    // A multi-line attribute carries its layout in an embedded text object.
    if (attribute) {
        for (std::uint32_t i = 1; i < v.size(); ++i) {
            if (v.code(i) == 1001) break;
            if (v.code(i) == 101) {
                mtext(ctx, v, value, static_cast<int>(i) + 1);
                return;
            }
        }
    }
    double height = v.realOf(40, 0);
    if (!(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    double wf = v.realOf(41, 1);
    fmt.widthFactor = (wf > 0 && std::isfinite(wf)) ? wf : 1;
    fmt.oblique = v.realOf(51, 0);
    if (fmt.oblique > 180) fmt.oblique -= 360;
    std::vector<TextPiece> pieces = parseText(value, fmt);
    TextBlock block = layoutLine(pieces, *measure_);
    const double w = block.width;

    int h = static_cast<int>(v.integerOf(72, 0));
    int vj = static_cast<int>(v.integerOf(attribute ? 74 : 73, 0));
    int gen = static_cast<int>(v.integerOf(71, 0));
    Vec3 p1 = vec3Of(v, 10);
    bool hasSecond = v.findMain(11) >= 0;
    QPointF first(p1.x, p1.y), second = hasSecond ? pointOf(v, 11) : first;
    double rot = v.realOf(50) * kDeg;

    // The text's frame: local x along the baseline, y up, before the
    // alignment moves it.
    QTransform local;
    QPointF anchor = first;
    double sx = 1, sy = 1;
    if ((h == 3 || h == 5) && hasSecond && w > 0 && second != first) {
        // Aligned (scaled) or fitted (stretched) between the two points.
        QPointF d = second - first;
        rot = std::atan2(d.y(), d.x());
        double factor = std::hypot(d.x(), d.y()) / w;
        sx = factor;
        if (h == 3) sy = factor;
    } else {
        if (h != 0 || vj != 0) anchor = second;
        double dx = 0, dy = 0;
        double hh = height * sy;
        if (h == 1 || h == 4) dx = -w / 2;
        else if (h == 2) dx = -w;
        if (h == 4 && vj == 0) dy = -hh / 2;
        else if (vj == 1) dy = measure_->descent() * measure_->unitScale(fmt);
        else if (vj == 2) dy = -hh / 2;
        else if (vj == 3) dy = -hh;
        local = QTransform::fromTranslate(dx, dy);
    }
    local *= QTransform::fromScale(sx, sy);
    // Backward and upside-down text mirror about the alignment point.
    local *= QTransform::fromScale((gen & 2) ? -1 : 1, (gen & 4) ? -1 : 1);
    QTransform frame = local * QTransform().rotateRadians(rot) * QTransform::fromTranslate(anchor.x(), anchor.y()) *
                       ocsToWorld(extrusionOf(v), p1.z) * ctx.m;
    emitText(ctx, block, frame);
}

void SceneBuilder::mtext(const Context& ctx, const dxf::RecordView& v, const QString& value, int from)
{
    // The groups of the text object, from `from` (an embedded object's) or
    // the record's main part.
    auto find = [&](int code) -> int {
        if (from == 0) return v.findMain(code);
        for (std::uint32_t i = static_cast<std::uint32_t>(from); i < v.size(); ++i) {
            if (v.code(i) == 1001) break;
            if (v.code(i) == code) return static_cast<int>(i);
        }
        return -1;
    };
    auto real = [&](int code, double fallback) {
        int i = find(code);
        return i < 0 ? fallback : v.real(static_cast<std::uint32_t>(i));
    };
    double height = real(40, 0);
    if (!(height > 0) || !std::isfinite(height)) return;
    TextFormat fmt;
    fmt.height = height;
    MTextFrame frame;
    frame.width = std::max(0.0, real(41, 0));
    if (!std::isfinite(frame.width)) frame.width = 0;
    int attach = find(71) >= 0 ? static_cast<int>(v.integer(static_cast<std::uint32_t>(find(71)))) : 1;
    frame.attachment = (attach >= 1 && attach <= 9) ? attach : 1;
    double spacing = real(44, 1);
    frame.lineSpacing = (spacing > 0.05 && spacing < 20) ? spacing : 1;

    std::vector<TextParagraph> paragraphs = parseMText(value, fmt);
    TextBlock block = layoutMText(paragraphs, frame, *measure_);

    Vec3 ins{real(10, 0), real(20, 0), real(30, 0)};
    Vec3 n = normalized(Vec3{real(210, 0), real(220, 0), real(230, 1)});
    Vec3 xdir;
    if (find(11) >= 0) {
        xdir = normalized(Vec3{real(11, 1), real(21, 0), real(31, 0)});
    } else {
        // Without a direction the rotation turns the world x axis when the
        // text lies flat (a text seen from below, extrusion -z, then reads
        // mirrored top to bottom), else the x axis of its own plane.
        double a = real(50, 0) * kDeg;
        if (std::abs(n.x) < 1e-9 && std::abs(n.y) < 1e-9) {
            xdir = {std::cos(a), std::sin(a), 0};
        } else {
            Ocs o = ocsOf(n);
            xdir = {o.ax.x * std::cos(a) + o.ay.x * std::sin(a), o.ax.y * std::cos(a) + o.ay.y * std::sin(a),
                    o.ax.z * std::cos(a) + o.ay.z * std::sin(a)};
        }
    }
    Vec3 ydir = normalized(cross(n, xdir));
    QTransform place = frameOf(QPointF(ins.x, ins.y), QPointF(xdir.x, xdir.y), QPointF(ydir.x, ydir.y)) * ctx.m;
    emitText(ctx, block, place);
}

// ---------------------------------------------------------------- polylines

void SceneBuilder::polyline2d(const std::vector<Vertex>& vs, bool closed, const QTransform& m)
{
    if (vs.empty()) return;
    const Scene::Style s = style_;
    const std::size_t n = vs.size();
    const std::size_t segments = closed ? n : n - 1;
    std::vector<QPointF> line{vs[0].p};
    bool wide = false;
    for (std::size_t i = 0; i < segments; ++i) {
        const Vertex& a = vs[i];
        const Vertex& b = vs[(i + 1) % n];
        appendBulge(line, a.p, b.p, a.bulge);
        wide = wide || a.startWidth > 0 || a.endWidth > 0;
    }
    if (closed && line.size() > 1 && line.back() == line.front()) line.pop_back();
    if (n == 1) {
        scene_.addDot(m.map(vs[0].p), s);
        return;
    }
    scene_.addPolyline(mapped(line, m), closed, s);
    if (!wide) return;

    // Width: each segment a band around its centre line, as wide as its
    // vertex says at the start and at the end; where two bands meet at an
    // angle, the wedges between their corners close the gap.
    QPointF lastLeft, lastRight, lastDir;
    double lastWidth = 0;
    bool haveLast = false;
    for (std::size_t i = 0; i < segments; ++i) {
        const Vertex& a = vs[i];
        const Vertex& b = vs[(i + 1) % n];
        if ((!(a.startWidth > 0) && !(a.endWidth > 0)) || a.p == b.p) {
            haveLast = false;
            continue;
        }
        std::vector<QPointF> centre{a.p};
        appendBulge(centre, a.p, b.p, a.bulge);
        // The direction at each centre point, for the band's edges.
        std::vector<QPointF> left, right;
        const std::size_t k = centre.size();
        for (std::size_t j = 0; j < k; ++j) {
            QPointF d = j + 1 < k ? centre[j + 1] - centre[j] : centre[j] - centre[j - 1];
            if (j > 0 && j + 1 < k) d = centre[j + 1] - centre[j - 1];
            double len = std::hypot(d.x(), d.y());
            if (!(len > 0)) continue;
            QPointF normal(-d.y() / len, d.x() / len);
            double t = k > 1 ? double(j) / double(k - 1) : 0;
            double half = (a.startWidth + (a.endWidth - a.startWidth) * t) / 2;
            left.push_back(centre[j] + normal * half);
            right.push_back(centre[j] - normal * half);
        }
        if (left.size() < 2) {
            haveLast = false;
            continue;
        }
        std::vector<QPointF> ring(left.begin(), left.end());
        ring.insert(ring.end(), right.rbegin(), right.rend());
        scene_.addFill({mapped(ring, m)}, s, false, false);
        if (haveLast) {
            // The outer edges of the two bands meet in a point (a miter), as
            // far out as ten times the width; beyond that the corner is cut.
            auto corner = [&](QPointF endPrev, QPointF dirPrev, QPointF startNext, QPointF dirNext) {
                double det = dirPrev.x() * dirNext.y() - dirPrev.y() * dirNext.x();
                std::vector<QPointF> wedge{a.p, endPrev};
                if (std::abs(det) > 1e-12) {
                    QPointF d = startNext - endPrev;
                    double t = (d.x() * dirNext.y() - d.y() * dirNext.x()) / det;
                    QPointF tip = endPrev + dirPrev * t;
                    double reach = std::hypot(tip.x() - a.p.x(), tip.y() - a.p.y());
                    double limit = 10 * std::max(a.startWidth, lastWidth);
                    if (std::isfinite(reach) && reach <= limit) wedge.push_back(tip);
                }
                wedge.push_back(startNext);
                scene_.addFill({mapped(wedge, m)}, s, false, false);
            };
            corner(lastLeft, lastDir, left.front(), left[1] - left[0]);
            corner(lastRight, lastDir, right.front(), right[1] - right[0]);
        }
        lastLeft = left.back();
        lastRight = right.back();
        lastDir = left.back() - left[left.size() - 2];
        lastWidth = a.endWidth;
        haveLast = true;
    }
}

void SceneBuilder::lwpolyline(const Context& ctx, const dxf::RecordView& v)
{
    std::vector<Vertex> vs;
    double constant = v.realOf(43, 0);
    v.forEachMain([&](std::uint32_t i, int c) {
        switch (c) {
        case 10:
            vs.push_back(Vertex{QPointF(v.real(i), 0), 0, constant, constant});
            break;
        case 20:
            if (!vs.empty()) vs.back().p.setY(v.real(i));
            break;
        case 40:
            if (!vs.empty()) vs.back().startWidth = v.real(i);
            break;
        case 41:
            if (!vs.empty()) vs.back().endWidth = v.real(i);
            break;
        case 42:
            if (!vs.empty()) vs.back().bulge = v.real(i);
            break;
        default: break;
        }
    });
    bool closed = v.integerOf(70, 0) & 1;
    QTransform m = ocsToWorld(extrusionOf(v), v.realOf(38, 0)) * ctx.m;
    polyline2d(vs, closed, m);
}

void SceneBuilder::polyline(const Context& ctx, std::uint32_t record, const dxf::RecordView& v)
{
    const dxf::Document& doc = *ctx.doc;
    const Scene::Style s = style_;
    int flags = static_cast<int>(v.integerOf(70, 0));
    std::vector<dxf::RecordView> vertices;
    for (std::uint32_t c : doc.children(record)) {
        if (doc.isDeleted(c) || doc.record(c).kind != dxf::Kind::Vertex) continue;
        vertices.push_back(doc.view(c));
    }
    const QTransform& M = ctx.m;
    if (flags & 64) {
        // A polyface mesh: vertices, then faces that number them (a negative
        // number hides the edge that starts there).
        std::vector<QPointF> points;
        for (const auto& vx : vertices) {
            int vf = static_cast<int>(vx.integerOf(70, 0));
            if ((vf & 128) && (vf & 64)) points.push_back(M.map(pointOf(vx, 10)));
        }
        for (const auto& vx : vertices) {
            int vf = static_cast<int>(vx.integerOf(70, 0));
            if (!(vf & 128) || (vf & 64)) continue;
            int idx[4];
            int count = 0;
            for (int code = 71; code <= 74; ++code) {
                int k = static_cast<int>(vx.integerOf(code, 0));
                if (k != 0) idx[count++] = k;
            }
            for (int e = 0; e < count; ++e) {
                int a = idx[e], b = idx[(e + 1) % count];
                if (a < 0) continue;
                auto ia = static_cast<std::size_t>(std::abs(a) - 1), ib = static_cast<std::size_t>(std::abs(b) - 1);
                if (ia < points.size() && ib < points.size()) scene_.addLine(points[ia], points[ib], s);
            }
        }
        return;
    }
    if (flags & 16) {
        // A polygon mesh: m rows of n vertices, each row and column a line.
        long mCount = v.integerOf(71, 0), nCount = v.integerOf(72, 0);
        std::vector<QPointF> points;
        for (const auto& vx : vertices) points.push_back(M.map(pointOf(vx, 10)));
        if (mCount <= 0 || nCount <= 0 || static_cast<std::size_t>(mCount * nCount) > points.size()) {
            scene_.addPolyline(points, false, s);
            return;
        }
        for (long i = 0; i < mCount; ++i) {
            std::vector<QPointF> row(points.begin() + i * nCount, points.begin() + (i + 1) * nCount);
            scene_.addPolyline(row, flags & 32, s);
        }
        for (long j = 0; j < nCount; ++j) {
            std::vector<QPointF> col;
            for (long i = 0; i < mCount; ++i) col.push_back(points[static_cast<std::size_t>(i * nCount + j)]);
            scene_.addPolyline(col, flags & 1, s);
        }
        return;
    }
    bool closed = flags & 1;
    if (flags & 8) {
        // A 3D polyline, in world coordinates; a spline's frame points are
        // not part of the curve.
        std::vector<QPointF> points;
        for (const auto& vx : vertices)
            if (!(vx.integerOf(70, 0) & 16)) points.push_back(M.map(pointOf(vx, 10)));
        scene_.addPolyline(points, closed, s);
        return;
    }
    double startWidth = v.realOf(40, 0), endWidth = v.realOf(41, 0);
    std::vector<Vertex> vs;
    for (const auto& vx : vertices) {
        if (vx.integerOf(70, 0) & 16) continue;
        vs.push_back(Vertex{pointOf(vx, 10), vx.realOf(42, 0), vx.realOf(40, startWidth), vx.realOf(41, endWidth)});
    }
    QTransform m = ocsToWorld(extrusionOf(v), v.realOf(30, 0)) * M;
    polyline2d(vs, closed, m);
}

// ------------------------------------------------------------------- curves

void SceneBuilder::spline(const Context& ctx, const dxf::RecordView& v)
{
    std::vector<double> knots, weights;
    std::vector<QPointF> controls, fit;
    v.forEachMain([&](std::uint32_t i, int c) {
        switch (c) {
        case 40: knots.push_back(v.real(i)); break;
        case 41: weights.push_back(v.real(i)); break;
        case 10: controls.emplace_back(v.real(i), 0); break;
        case 20:
            if (!controls.empty()) controls.back().setY(v.real(i));
            break;
        case 11: fit.emplace_back(v.real(i), 0); break;
        case 21:
            if (!fit.empty()) fit.back().setY(v.real(i));
            break;
        default: break;
        }
    });
    int flags = static_cast<int>(v.integerOf(70, 0));
    bool closed = flags & 1;
    std::vector<QPointF> pts;
    if (controls.size() >= 2) pts = evaluateSpline(static_cast<int>(v.integerOf(71, 3)), knots, controls, weights, closed);
    else pts = curveThrough(fit, closed);
    scene_.addPolyline(mapped(pts, ctx.m), false, style_);
}

void SceneBuilder::hatch(const Context& ctx, const dxf::RecordView& v)
{
    const Scene::Style s = style_;
    // The groups in order; the boundary paths follow group 91.
    std::uint32_t i = 1;
    const std::uint32_t n = v.size();
    auto at = [&](int code) { return i < n && v.code(i) == code; };
    // Moves to the next group with `code` before any of `stops`; false when none.
    auto seek = [&](int code, std::initializer_list<int> stops) {
        for (; i < n; ++i) {
            int c = v.code(i);
            if (c == code) return true;
            if (c == 1001) return false;
            for (int st : stops)
                if (c == st) return false;
        }
        return false;
    };
    auto real = [&]() { return i < n ? v.real(i++) : 0.0; };
    auto integer = [&]() { return i < n ? v.integer(i++) : 0; };
    auto pointHereOf = [&](int xCode, int yCode) {
        QPointF p;
        if (at(xCode)) p.setX(real());
        if (at(yCode)) p.setY(real());
        return p;
    };
    auto pointHere = [&](int code) { return pointHereOf(code, code + 10); };

    Vec3 elevation = vec3Of(v, 10);
    bool solid = v.integerOf(70, 0) == 1;
    if (!seek(91, {})) return;
    long paths = integer();
    std::vector<std::vector<QPointF>> rings;
    for (long pi = 0; pi < paths && i < n; ++pi) {
        if (!seek(92, {75, 76})) break;
        long type = integer();
        std::vector<QPointF> ring;
        if (type & 2) {
            // A polyline path.
            bool bulges = at(72) ? integer() != 0 : false;
            if (at(73)) integer();
            long count = at(93) ? integer() : 0;
            std::vector<Vertex> vs;
            for (long k = 0; k < count && i < n; ++k) {
                if (!seek(10, {92, 97, 75})) break;
                Vertex vx;
                vx.p = pointHere(10);
                if (bulges && at(42)) vx.bulge = real();
                vs.push_back(vx);
            }
            if (!vs.empty()) {
                ring.push_back(vs[0].p);
                for (std::size_t k = 0; k < vs.size(); ++k)
                    appendBulge(ring, vs[k].p, vs[(k + 1) % vs.size()].p, vs[k].bulge);
            }
        } else {
            long edges = at(93) ? integer() : 0;
            std::vector<std::vector<QPointF>> parts;
            for (long e = 0; e < edges && i < n; ++e) {
                if (!seek(72, {92, 97, 75})) break;
                long et = integer();
                std::vector<QPointF> part;
                if (et == 1) {
                    part.push_back(pointHere(10));
                    part.push_back(pointHere(11));
                } else if (et == 2 || et == 3) {
                    QPointF c = pointHere(10);
                    QPointF major = et == 3 ? pointHere(11) : QPointF();
                    double r = at(40) ? real() : 0;
                    double a0 = at(50) ? real() : 0, a1 = at(51) ? real() : 360;
                    bool ccw = at(73) ? integer() != 0 : true;
                    QTransform unit = et == 2 ? QTransform(r, 0, 0, r, c.x(), c.y())
                                              : QTransform(major.x(), major.y(), -major.y() * r, major.x() * r, c.x(), c.y());
                    // Clockwise edges keep their angles mirrored.
                    double t0 = (ccw ? a0 : 360 - a1) * kDeg, t1 = (ccw ? a1 : 360 - a0) * kDeg;
                    while (t1 <= t0) t1 += 2 * kPi;
                    if (t1 - t0 > 2 * kPi) t1 = t0 + 2 * kPi;
                    appendEllipse(part, unit, t0, t1);
                    if (!ccw) std::reverse(part.begin(), part.end());
                } else if (et == 4) {
                    int degree = at(94) ? static_cast<int>(integer()) : 3;
                    if (at(73)) integer();
                    if (at(74)) integer();
                    long nk = at(95) ? integer() : 0, nc = at(96) ? integer() : 0;
                    std::vector<double> knots, weights;
                    std::vector<QPointF> controls, fit;
                    for (long k = 0; k < nk && at(40); ++k) knots.push_back(real());
                    for (long k = 0; k < nc && at(10); ++k) {
                        controls.push_back(pointHere(10));
                        if (at(42)) weights.push_back(real());
                    }
                    while (at(42)) weights.push_back(real());
                    if (at(97)) {
                        long nf = integer();
                        for (long k = 0; k < nf && at(11); ++k) fit.push_back(pointHere(11));
                    }
                    part = controls.size() >= 2 ? evaluateSpline(degree, knots, controls, weights, false)
                                                : curveThrough(fit, false);
                }
                if (!part.empty()) parts.push_back(std::move(part));
            }
            ring = chainEdges(parts);
        }
        if (ring.size() >= 3) rings.push_back(std::move(ring));
    }
    if (rings.empty()) return;
    QTransform m = ocsToWorld(extrusionOf(v), elevation.z) * ctx.m;

    // A pattern's lines, as the drawing stores them (already turned and
    // scaled): angle, base point, offset, dashes.
    std::vector<PatternLine> lines;
    if (!solid && seek(78, {})) {
        long count = integer();
        for (long k = 0; k < count && i < n; ++k) {
            if (!seek(53, {98, 450, 1001})) break;
            PatternLine line;
            line.angle = real() * kDeg;
            line.base = pointHereOf(43, 44);
            line.offset = pointHereOf(45, 46);
            long dashes = at(79) ? integer() : 0;
            for (long dsh = 0; dsh < dashes && at(49); ++dsh) line.dashes.push_back(real());
            lines.push_back(std::move(line));
        }
    }
    std::vector<QPointF> segments;
    double spacing = 0;
    if (!lines.empty() && hatchPattern(rings, lines, kMaxPatternPieces, segments, spacing)) {
        double scale = std::sqrt(std::abs(m.determinant()));
        for (auto& r : rings) r = mapped(r, m);
        scene_.addPattern(rings, mapped(segments, m), spacing * scale, s);
        return;
    }
    for (auto& r : rings) r = mapped(r, m);
    scene_.addFill(rings, s, !solid, false);
}

void SceneBuilder::leader(const Context& ctx, const dxf::RecordView& v)
{
    const Scene::Style s = style_;
    std::vector<QPointF> pts;
    v.forEachMain([&](std::uint32_t i, int c) {
        if (c == 10) pts.emplace_back(v.real(i), 0);
        else if (c == 20 && !pts.empty()) pts.back().setY(v.real(i));
    });
    if (pts.size() < 2) return;
    scene_.addPolyline(mapped(pts, ctx.m), false, s);
    if (v.integerOf(71, 1) == 0) return;
    // A closed filled arrowhead at the first point, as the drawing's
    // dimension settings size it.
    const dxf::Document& doc = *ctx.doc;
    auto header = [&](const char* name, double fallback) {
        auto at = doc.headerValue(name);
        if (!at) return fallback;
        double value = doc.headerView().real(*at);
        return std::isfinite(value) && value > 0 ? value : fallback;
    };
    double size = header("$DIMASZ", 0.18) * header("$DIMSCALE", 1.0);
    QPointF tip = pts[0], d = pts[1] - pts[0];
    double len = std::hypot(d.x(), d.y());
    if (!(len > 2 * size)) return;
    d /= len;
    QPointF back = tip + d * size, side(-d.y() * size / 6, d.x() * size / 6);
    scene_.addFill({mapped({tip, back + side, back - side}, ctx.m)}, s, false, true);
}

void SceneBuilder::imageFrame(const Context& ctx, const dxf::RecordView& v)
{
    QPointF origin = pointOf(v, 10), u = pointOf(v, 11), w = pointOf(v, 12);
    double width = v.realOf(13, 1), height = v.realOf(23, 1);
    std::vector<QPointF> boundary;
    v.forEachMain([&](std::uint32_t i, int c) {
        if (c == 14) boundary.emplace_back(v.real(i), 0);
        else if (c == 24 && !boundary.empty()) boundary.back().setY(v.real(i));
    });
    std::vector<QPointF> frame;
    if (boundary.size() >= 2) {
        // Clip boundary points count pixels from the image's top left corner.
        if (boundary.size() == 2) {
            QPointF a = boundary[0], b = boundary[1];
            boundary = {a, QPointF(b.x(), a.y()), b, QPointF(a.x(), b.y())};
        }
        QPointF corner = origin + u * 0.5 - w * 0.5;
        for (const QPointF& p : boundary) frame.push_back(corner + u * p.x() + w * (height - p.y()));
    } else {
        frame = {origin, origin + u * width, origin + u * width + w * height, origin + w * height};
    }
    if (frame.size() > 1 && frame.front() == frame.back()) frame.pop_back();
    scene_.addPolyline(mapped(frame, ctx.m), true, style_);
}

void SceneBuilder::mline(const Context& ctx, const dxf::RecordView& v)
{
    // Each vertex gives its miter direction and, per line of the style, the
    // offset along it.
    struct MVertex {
        QPointF at, miter;
        std::vector<double> offsets;
    };
    std::vector<MVertex> vs;
    int expect = 0;  // 41 values left for the current element
    bool first = true;
    v.forEachMain([&](std::uint32_t i, int c) {
        switch (c) {
        case 11: vs.push_back(MVertex{QPointF(v.real(i), 0), QPointF(), {}}); break;
        case 21:
            if (!vs.empty()) vs.back().at.setY(v.real(i));
            break;
        case 13:
            if (!vs.empty()) vs.back().miter.setX(v.real(i));
            break;
        case 23:
            if (!vs.empty()) vs.back().miter.setY(v.real(i));
            break;
        case 74:
            expect = static_cast<int>(v.integer(i));
            first = true;
            break;
        case 41:
            if (!vs.empty() && expect > 0) {
                if (first) vs.back().offsets.push_back(v.real(i));
                first = false;
                --expect;
            }
            break;
        default: break;
        }
    });
    if (vs.size() < 2) return;
    std::size_t lines = vs[0].offsets.size();
    bool closed = v.integerOf(71, 0) & 2;
    for (std::size_t k = 0; k < lines; ++k) {
        std::vector<QPointF> pts;
        for (const MVertex& mv : vs)
            if (k < mv.offsets.size()) pts.push_back(mv.at + mv.miter * mv.offsets[k]);
        scene_.addPolyline(mapped(pts, ctx.m), closed, style_);
    }
}

void SceneBuilder::mesh(const Context& ctx, const dxf::RecordView& v)
{
    // Vertices (10) after the count 92; faces after 93 as runs of
    // "count, index...".
    std::vector<QPointF> points;
    std::vector<long> faces;
    int section = 0;
    v.forEachMain([&](std::uint32_t i, int c) {
        if (c == 92) section = 1;
        else if (c == 93) section = 2;
        else if (c == 94 || c == 95) section = 3;
        else if (section == 1 && c == 10) points.emplace_back(v.real(i), 0);
        else if (section == 1 && c == 20 && !points.empty()) points.back().setY(v.real(i));
        else if (section == 2 && c == 90) faces.push_back(static_cast<long>(v.integer(i)));
    });
    std::vector<QPointF> world = mapped(points, ctx.m);
    for (std::size_t f = 0; f < faces.size();) {
        long count = faces[f++];
        if (count <= 0 || f + static_cast<std::size_t>(count) > faces.size()) break;
        std::vector<QPointF> ring;
        for (long k = 0; k < count; ++k) {
            long idx = faces[f + static_cast<std::size_t>(k)];
            if (idx >= 0 && static_cast<std::size_t>(idx) < world.size()) ring.push_back(world[static_cast<std::size_t>(idx)]);
        }
        f += static_cast<std::size_t>(count);
        if (ring.size() >= 2) scene_.addPolyline(ring, true, style_);
    }
}

}  // namespace ddvue::render

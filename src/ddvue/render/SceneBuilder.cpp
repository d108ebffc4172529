#include "ddvue/render/SceneBuilderParts.h"

#include <algorithm>
#include <cmath>

namespace ddvue::render {

namespace {

// Nesting deeper than this is taken for a broken drawing.
constexpr int kMaxDepth = 24;
// Block references expanded for one drawing at most; arrays of references
// beyond this are drawn in part.
constexpr std::size_t kMaxExpansions = 1'000'000;

std::string upper(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

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

std::uint32_t SceneBuilder::layerFor(const Context& ctx, const dxf::EntityView& v)
{
    std::string name = v.get(def::Entity::layer);
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

std::uint32_t SceneBuilder::colorFor(const Context& ctx, const dxf::EntityView& v, std::uint32_t layer) const
{
    dxf::EntityColor c = dxf::entityColor(v);
    if (c.rgb) return color::fixed(*c.rgb);
    if (c.aci == def::Entity::kByBlock) return ctx.color;
    if (c.aci == def::Entity::kForeground) return color::kForeground;
    if (c.aci < 1 || c.aci > 255) return color::ofLayer(layer);
    return color::fixed(aciColor(c.aci));
}

Scene::Style SceneBuilder::style(const Context& ctx, const dxf::EntityView& v)
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
    dxf::EntityView v(doc, record);
    if (v.get(def::Entity::invisible) == 1) return;
    std::string_view type = v.type();
    auto is = [&](const char* t) { return type == t; };
    style_ = style(ctx, v);

    if (plainGeometry(ctx, type, v)) return;
    if (is("LWPOLYLINE")) {
        lwpolyline(ctx, v);
    } else if (is("POLYLINE")) {
        polyline(ctx, record, v);
    } else if (is("SPLINE")) {
        spline(ctx, v);
    } else if (is("TEXT")) {
        text(ctx, record, v, QString::fromStdString(dxf::entityText(doc, record)), false);
    } else if (is("ATTDEF")) {
        // Inside a block only constant attributes show (the others stand
        // for the references' own values); on their own they show the tag.
        if (ctx.depth > 0 && !v.flag(def::Attdef::flags, def::Attdef::kConstant)) return;
        QString value = QString::fromStdString(ctx.depth > 0 ? dxf::entityText(doc, record) : v.get(def::Attdef::tag));
        text(ctx, record, v, value, true);
    } else if (is("ATTRIB")) {
        text(ctx, record, v, QString::fromStdString(dxf::entityText(doc, record)), true);
    } else if (is("MTEXT")) {
        mtext(ctx, v, QString::fromStdString(dxf::entityText(doc, record)));
    } else if (is("INSERT")) {
        blockReference(ctx, record, v);
    } else if (type.size() >= 9 && type.substr(type.size() - 9) == "DIMENSION") {
        dimension(ctx, record, v);
    } else if (is("HATCH")) {
        hatch(ctx, v);
    } else if (is("LEADER")) {
        leader(ctx, v);
    } else if (is("MULTILEADER") || is("MLEADER")) {
        multileader(ctx, v);
    } else if (is("IMAGE") || is("WIPEOUT")) {
        imageFrame(ctx, v);
    } else if (is("MLINE")) {
        mline(ctx, v);
    } else if (is("MESH")) {
        mesh(ctx, v);
    } else if (is("ACAD_TABLE")) {
        // A table draws the anonymous block that holds its cells.
        dimension(ctx, record, v);
    }
}

bool SceneBuilder::plainGeometry(const Context& ctx, std::string_view type, const dxf::EntityView& v)
{
    auto is = [&](const char* t) { return type == t; };
    const Scene::Style& s = style_;
    const QTransform& M = ctx.m;
    if (is("LINE")) {
        scene_.addLine(M.map(pointOf(v, def::Line::start)), M.map(pointOf(v, def::Line::end)), s);
    } else if (is("POINT")) {
        if (!ctx.dimension) scene_.addDot(M.map(pointOf(v, def::Point::location)), s);
    } else if (is("CIRCLE") || is("ARC")) {
        double r = v.get(def::Circle::radius);
        if (!(r > 0) || !std::isfinite(r)) return true;
        Vec3 c = vec(v.get(def::Circle::center));
        QTransform unit(r, 0, 0, r, c.x, c.y);
        QTransform m = unit * ocsToWorld(extrusionOf(v), c.z) * M;
        double t0 = 0, t1 = 2 * kPi;
        if (is("ARC")) {
            t0 = v.get(def::Arc::startAngle) * kDeg;
            t1 = v.get(def::Arc::endAngle) * kDeg;
            normalizeSweep(t0, t1);
        }
        scene_.addArc(m, t0, t1, s);
    } else if (is("ELLIPSE")) {
        Vec3 c = vec(v.get(def::Ellipse::center)), major = vec(v.get(def::Ellipse::majorAxis));
        double ratio = v.get(def::Ellipse::ratio);
        Vec3 n = normalized(extrusionOf(v));
        Vec3 minor = cross(n, major);
        QTransform unit(major.x, major.y, minor.x * ratio, minor.y * ratio, c.x, c.y);
        double t0 = v.get(def::Ellipse::startParam), t1 = v.get(def::Ellipse::endParam);
        normalizeSweep(t0, t1);
        scene_.addArc(unit * M, t0, t1, s);
    } else if (is("SOLID") || is("TRACE")) {
        dxf::Point3 p0 = v.get(def::Solid::corner0);
        QTransform m = ocsToWorld(extrusionOf(v), p0.z) * M;
        QPointF a = xy(p0), b = pointOf(v, def::Solid::corner1), c = pointOf(v, def::Solid::corner2);
        QPointF d = v.has(def::Solid::corner3) ? pointOf(v, def::Solid::corner3) : c;
        // The corners go first, second, fourth, third around the outline.
        std::vector<QPointF> ring{a, b, d, c};
        if (d == c) ring = {a, b, c};
        scene_.addFill({mapped(ring, m)}, s, false, true);
    } else if (is("3DFACE")) {
        QPointF c2 = pointOf(v, def::Face3d::corner2);
        QPointF p[4] = {pointOf(v, def::Face3d::corner0), pointOf(v, def::Face3d::corner1), c2,
                        v.has(def::Face3d::corner3) ? pointOf(v, def::Face3d::corner3) : c2};
        int hidden = static_cast<int>(v.get(def::Face3d::hiddenEdges));
        for (int e = 0; e < 4; ++e) {
            if (hidden & (1 << e)) continue;
            QPointF a = p[e], b = p[(e + 1) % 4];
            if (a == b) continue;
            scene_.addLine(M.map(a), M.map(b), s);
        }
    } else if (is("VIEWPORT")) {
        // Paper space shows a viewport's frame; the sheet's own viewport
        // (number 1) has none.
        if (!ctx.paperSpace || ctx.depth > 0 || v.get(def::Viewport::id) == 1) return true;
        QPointF c = pointOf(v, def::Viewport::center);
        double w = v.get(def::Viewport::width) / 2, h = v.get(def::Viewport::height) / 2;
        if (!(w > 0) || !(h > 0)) return true;
        scene_.addPolyline(mapped({c + QPointF(-w, -h), c + QPointF(w, -h), c + QPointF(w, h), c + QPointF(-w, h)}, M),
                           true, s);
    } else {
        return false;
    }
    return true;
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

void SceneBuilder::blockReference(const Context& ctx, std::uint32_t record, const dxf::EntityView& v)
{
    const dxf::Document& doc = *ctx.doc;
    const Scene::Style s = style_;
    auto block = doc.findBlock(v.get(def::Insert::block));
    std::uint32_t chain = scene_.chainWith(ctx.chain, s.layer);
    // An array repeats the attributes with every copy: their offsets in the
    // coordinates of the space that holds the reference.
    std::vector<QPointF> copies{QPointF(0, 0)};

    if (block) {
        dxf::EntityView head(doc, doc.blocks()[*block].begin);
        Vec3 ins = vec(v.get(def::Insert::insert));
        double sx = v.get(def::Insert::xscale), sy = v.get(def::Insert::yscale);
        if (sx == 0) sx = 1;
        if (sy == 0) sy = 1;
        double rot = v.get(def::Insert::rotation) * kDeg;
        long cols = std::max<std::int64_t>(1, v.get(def::Insert::columns));
        long rows = std::max<std::int64_t>(1, v.get(def::Insert::rows));
        double colSpace = v.get(def::Insert::columnSpacing), rowSpace = v.get(def::Insert::rowSpacing);
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
        bool external = head.flag(def::Block::flags, def::Block::kExternal);
        QPointF base = pointOf(head, def::Block::base);
        if (external) {
            const dxf::Document* x = xrefs_.load(head.get(def::Block::xrefPath));
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
    for (std::uint32_t child : dxf::attributesOf(doc, record)) {
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

void SceneBuilder::dimension(const Context& ctx, std::uint32_t, const dxf::EntityView& v)
{
    const dxf::Document& doc = *ctx.doc;
    auto block = doc.findBlock(v.get(def::Dimension::block));
    if (!block) return;
    const Scene::Style s = style_;
    QTransform m = ocsToWorld(extrusionOf(v)) * ctx.m;
    if (v.type() == "ACAD_TABLE") {
        QPointF at = pointOf(v, def::AcadTable::insert);
        QPointF dir = pointOf(v, def::AcadTable::direction);
        double len = std::hypot(dir.x(), dir.y());
        if (!(len > 0)) dir = QPointF(1, 0), len = 1;
        dir /= len;
        m = frameOf(at, dir, QPointF(-dir.y(), dir.x())) * ctx.m;
    }
    Context measured = ctx;
    measured.dimension = v.type() != "ACAD_TABLE";
    blockContents(measured, doc, *block, m, s.layer, s.color, scene_.chainWith(ctx.chain, s.layer), ctx.xrefName);
}

}  // namespace ddvue::render

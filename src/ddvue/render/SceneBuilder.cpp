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
    layerSources_.clear();
    layerLooks_.clear();
    layerLooked_.clear();
    linetypes_.clear();
    ltScale_ = dxf::headerReal(doc, dxf::def::header::ltScale);
    if (!(ltScale_ > 0) || !std::isfinite(ltScale_)) ltScale_ = 1;
    auto headerInt = [&doc](std::string_view name, int fallback) {
        auto at = doc.headerValue(name);
        if (!at) return fallback;
        std::int64_t v = doc.headerView().integer(*at);
        return v < INT32_MIN || v > INT32_MAX ? fallback : static_cast<int>(v);
    };
    lineweights_ = headerInt(dxf::def::header::lwDisplay.name, 0) != 0;
    lwDefault_ = headerInt(dxf::def::header::lwDefault.name, 25);
    paperScaled_ = headerInt(dxf::def::header::psLtScale.name, 1) != 0;
    if (lwDefault_ < 0 || lwDefault_ > 211) lwDefault_ = 25;
    for (std::uint32_t i = 0; i < doc.layers().size(); ++i) scene_.addLayer(layerOf(doc, i));
}

std::uint32_t SceneBuilder::layerFor(const Context& ctx, const View<def::AnyEntity>& v)
{
    std::string name = v.get(def::AnyEntity::layer);
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
            layerSources_.emplace(scene, std::make_pair(&doc, *index));
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

std::uint32_t SceneBuilder::colorFor(const Context& ctx, const View<def::AnyEntity>& v, std::uint32_t layer) const
{
    dxf::EntityColor c = dxf::entityColor(v);
    if (c.rgb) return color::fixed(*c.rgb);
    if (c.aci == def::AnyEntity::kByBlock) return ctx.color;
    if (c.aci == def::AnyEntity::kForeground) return color::kForeground;
    if (c.aci < 1 || c.aci > 255) return color::ofLayer(layer);
    return color::fixed(aciColor(c.aci));
}

Scene::Style SceneBuilder::style(const Context& ctx, const View<def::AnyEntity>& v)
{
    Scene::Style s;
    s.layer = layerFor(ctx, v);
    s.color = colorFor(ctx, v, s.layer);
    s.chain = ctx.chain;
    look_ = lineLook(ctx, v, s.layer);
    if (look_.pattern || look_.weight > 0) {
        LineStyle line;
        if (look_.pattern) {
            // The pattern grows with the drawing's and the entity's own
            // scale, and with the block references around the entity.
            const QTransform& m = ctx.m;
            double scale = ltScale_ * v.get(def::AnyEntity::linetypeScale) *
                           std::sqrt(std::abs(m.m11() * m.m22() - m.m12() * m.m21()));
            // Seen through a viewport, a pattern keeps its length on paper
            // where the drawing asks so ($PSLTSCALE).
            if (paperScaled_) scale /= ctx.viewportScale;
            if (!(scale > 0) || !std::isfinite(scale)) scale = ltScale_;
            for (double e : *look_.pattern) {
                line.pattern.push_back(static_cast<float>(e * scale));
                line.period += std::abs(line.pattern.back());
            }
            if (!(line.period > 0) || !std::isfinite(line.period)) line.pattern.clear(), line.period = 0;
        }
        if (lineweights_ && look_.weight > 0) line.weight = static_cast<float>(look_.weight) / 100;
        s.line = scene_.addLineStyle(line);
    }
    return s;
}

namespace {

bool named(std::string_view name, std::string_view upperWord)
{
    return name.size() == upperWord.size() &&
           std::equal(name.begin(), name.end(), upperWord.begin(),
                      [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

SceneBuilder::LineLook SceneBuilder::lineLook(const Context& ctx, const View<def::AnyEntity>& v, std::uint32_t layer)
{
    LineLook look;
    const std::string type = v.get(def::AnyEntity::linetype);
    const auto weight = v.get(def::AnyEntity::lineweight);
    const bool byLayer = named(type, "BYLAYER"), byBlock = !byLayer && named(type, "BYBLOCK");
    if (byLayer || weight == -1) {
        LineLook l = layerLook(layer);
        if (byLayer) look.pattern = l.pattern;
        if (weight == -1) look.weight = l.weight;
    }
    if (byBlock) look.pattern = ctx.byBlock.pattern;
    else if (!byLayer) look.pattern = linetype(*ctx.doc, type);
    if (weight == -2) look.weight = ctx.byBlock.weight;
    else if (weight == -3) look.weight = lwDefault_;
    else if (weight >= 0 && weight <= 211) look.weight = static_cast<int>(weight);
    return look;
}

SceneBuilder::LineLook SceneBuilder::layerLook(std::uint32_t sceneLayer)
{
    if (sceneLayer < layerLooked_.size() && layerLooked_[sceneLayer]) return layerLooks_[sceneLayer];
    LineLook look;
    const dxf::Document* doc = nullptr;
    std::uint32_t index = 0;
    if (host_ && sceneLayer < host_->layers().size()) {
        doc = host_;
        index = sceneLayer;
    } else if (auto it = layerSources_.find(sceneLayer); it != layerSources_.end()) {
        doc = it->second.first;
        index = it->second.second;
    }
    if (doc) {
        if (auto l = dxf::viewAs<def::Layer>(*doc, doc->layers()[index].record)) {
            look.pattern = linetype(*doc, l->get(def::Layer::linetype));
            auto weight = l->get(def::Layer::lineweight);
            look.weight = weight == -3 ? lwDefault_ : weight >= 0 && weight <= 211 ? static_cast<int>(weight) : 0;
        }
    }
    if (sceneLayer >= layerLooked_.size()) {
        layerLooked_.resize(sceneLayer + 1, 0);
        layerLooks_.resize(sceneLayer + 1);
    }
    layerLooked_[sceneLayer] = 1;
    layerLooks_[sceneLayer] = look;
    return look;
}

const std::vector<double>* SceneBuilder::linetype(const dxf::Document& doc, std::string_view name)
{
    auto known = linetypes_.find(&doc);
    if (known == linetypes_.end()) {
        known = linetypes_.emplace(&doc, std::unordered_map<std::string, std::vector<double>>()).first;
        auto table = doc.findTable("LTYPE");
        if (table) {
            const dxf::TableDef& t = doc.tables()[*table];
            for (std::uint32_t r = t.begin + 1; r < t.end && r < doc.recordCount(); ++r) {
                if (doc.isDeleted(r)) continue;
                auto lt = View<def::LineType>::of(doc, r);
                if (!lt) continue;
                // The length of each element: a dash, a gap (negative) or
                // a dot (0). A complex linetype's texts and shapes stand in
                // the gaps their elements leave, and are drawn as the gaps.
                std::vector<double> elements;
                bool dashes = false, sane = true;
                lt->forEachOf<dxf::sub::AcDbLinetypeTableRecord>([&](std::uint32_t i, int c) {
                    if (c != def::LineType::elementLength.code) return;
                    double e = lt->real(i);
                    sane = sane && std::isfinite(e) && std::abs(e) < 1e9;
                    dashes = dashes || e >= 0;
                    if (elements.size() < 64) elements.push_back(e);
                });
                double period = 0;
                for (double e : elements) period += std::abs(e);
                if (!sane || !dashes || !(period > 0)) elements.clear();
                known->second.emplace(upper(lt->get(def::LineType::name)), std::move(elements));
            }
        }
    }
    auto it = known->second.find(upper(std::string(name)));
    if (it == known->second.end() || it->second.empty()) return nullptr;
    return &it->second;
}

void SceneBuilder::buildEntity(const dxf::Document& doc, std::uint32_t record, std::vector<std::uint32_t>& usedBlocks,
                               bool paperSpace, TextMeasure& measure)
{
    if (host_ != &doc) addLayers(doc);
    used_ = &usedBlocks;
    measure_ = &measure;
    expansions_ = 0;
    std::vector<std::pair<const dxf::Document*, std::uint32_t>> stack;
    Context ctx{&doc, QTransform(), UINT32_MAX, color::kForeground, 0, 0, std::string(), paperSpace, &stack,
                false, {}, 1};
    entity(ctx, record);
    used_ = nullptr;
    measure_ = nullptr;
}

void SceneBuilder::entity(const Context& ctx, std::uint32_t record)
{
    const dxf::Document& doc = *ctx.doc;
    if (record >= doc.recordCount() || doc.isDeleted(record) || scene_.full()) return;
    const dxf::RecordView r = doc.view(record);
    const View<def::AnyEntity> any = *View<def::AnyEntity>::of(r);
    if (any.get(def::AnyEntity::invisible) == 1) return;
    style_ = style(ctx, any);

    if (plainGeometry(ctx, r)) return;
    if (auto v = View<def::LwPolyline>::of(r)) {
        lwpolyline(ctx, *v);
    } else if (auto v = View<def::Polyline>::of(r)) {
        polyline(ctx, record, *v);
    } else if (auto v = View<def::Spline>::of(r)) {
        spline(ctx, *v);
    } else if (auto v = View<def::Text>::of(r)) {
        text(ctx, *v, QString::fromStdString(dxf::entityText(doc, record)));
    } else if (auto v = View<def::Attdef>::of(r)) {
        // Inside a block only constant attributes show (the others stand
        // for the references' own values); on their own they show the tag.
        if (ctx.depth > 0 && !v->flag(def::Attdef::flags, def::Attdef::kConstant)) return;
        text(ctx, *v, QString::fromStdString(ctx.depth > 0 ? dxf::entityText(doc, record) : v->get(def::Attdef::tag)));
    } else if (auto v = View<def::Attrib>::of(r)) {
        text(ctx, *v, QString::fromStdString(dxf::entityText(doc, record)));
    } else if (auto v = View<def::MText>::of(r)) {
        mtext(ctx, *v, QString::fromStdString(dxf::entityText(doc, record)));
    } else if (auto v = View<def::Insert>::of(r)) {
        blockReference(ctx, record, *v);
    } else if (auto v = View<def::Dimension>::of(r)) {
        anonymousBlock(ctx, v->get(def::Dimension::block), ocsToWorld(extrusionOf(*v)) * ctx.m, true);
    } else if (auto v = View<def::Hatch>::of(r)) {
        hatch(ctx, *v);
    } else if (auto v = View<def::Leader>::of(r)) {
        leader(ctx, *v);
    } else if (auto v = View<def::MLeader>::of(r)) {
        multileader(ctx, *v);
    } else if (auto v = View<def::Image>::of(r)) {
        imageFrame(ctx, *v);
    } else if (auto v = View<def::MLine>::of(r)) {
        mline(ctx, *v);
    } else if (auto v = View<def::Mesh>::of(r)) {
        mesh(ctx, *v);
    } else if (auto v = View<def::AcadTable>::of(r)) {
        // A table draws the anonymous block that holds its cells, along its direction.
        QPointF at = pointOf(*v, def::AcadTable::insert);
        QPointF dir = pointOf(*v, def::AcadTable::direction);
        double len = std::hypot(dir.x(), dir.y());
        if (!(len > 0)) dir = QPointF(1, 0), len = 1;
        dir /= len;
        anonymousBlock(ctx, v->get(def::AcadTable::block), frameOf(at, dir, QPointF(-dir.y(), dir.x())) * ctx.m, false);
    }
}

bool SceneBuilder::plainGeometry(const Context& ctx, const dxf::RecordView& r)
{
    const Scene::Style& s = style_;
    const QTransform& M = ctx.m;
    if (auto v = View<def::Line>::of(r)) {
        scene_.addLine(M.map(pointOf(*v, def::Line::start)), M.map(pointOf(*v, def::Line::end)), s);
    } else if (auto v = View<def::Point>::of(r)) {
        if (!ctx.dimension) scene_.addDot(M.map(pointOf(*v, def::Point::location)), s);
    } else if (auto v = View<def::Circle>::of(r)) {
        double radius = v->get(def::Circle::radius);
        if (!(radius > 0) || !std::isfinite(radius)) return true;
        Vec3 c = vec(v->get(def::Circle::center));
        QTransform unit(radius, 0, 0, radius, c.x, c.y);
        scene_.addArc(unit * ocsToWorld(extrusionOf(*v), c.z) * M, 0, 2 * kPi, s);
    } else if (auto v = View<def::Arc>::of(r)) {
        double radius = v->get(def::Arc::radius);
        if (!(radius > 0) || !std::isfinite(radius)) return true;
        Vec3 c = vec(v->get(def::Arc::center));
        QTransform unit(radius, 0, 0, radius, c.x, c.y);
        double t0 = v->get(def::Arc::startAngle) * kDeg, t1 = v->get(def::Arc::endAngle) * kDeg;
        normalizeSweep(t0, t1);
        scene_.addArc(unit * ocsToWorld(extrusionOf(*v), c.z) * M, t0, t1, s);
    } else if (auto v = View<def::Ellipse>::of(r)) {
        Vec3 c = vec(v->get(def::Ellipse::center)), major = vec(v->get(def::Ellipse::majorAxis));
        double ratio = v->get(def::Ellipse::ratio);
        Vec3 n = normalized(extrusionOf(*v));
        Vec3 minor = cross(n, major);
        QTransform unit(major.x, major.y, minor.x * ratio, minor.y * ratio, c.x, c.y);
        double t0 = v->get(def::Ellipse::startParam), t1 = v->get(def::Ellipse::endParam);
        normalizeSweep(t0, t1);
        scene_.addArc(unit * M, t0, t1, s);
    } else if (auto v = View<def::Solid>::of(r)) {
        dxf::Point3 p0 = v->get(def::Solid::corner0);
        QTransform m = ocsToWorld(extrusionOf(*v), p0.z) * M;
        QPointF a = xy(p0), b = pointOf(*v, def::Solid::corner1), c = pointOf(*v, def::Solid::corner2);
        QPointF d = v->has(def::Solid::corner3) ? pointOf(*v, def::Solid::corner3) : c;
        // The corners go first, second, fourth, third around the outline.
        std::vector<QPointF> ring{a, b, d, c};
        if (d == c) ring = {a, b, c};
        scene_.addFill({mapped(ring, m)}, s, false, true);
    } else if (auto v = View<def::Face3d>::of(r)) {
        QPointF c2 = pointOf(*v, def::Face3d::corner2);
        QPointF p[4] = {pointOf(*v, def::Face3d::corner0), pointOf(*v, def::Face3d::corner1), c2,
                        v->has(def::Face3d::corner3) ? pointOf(*v, def::Face3d::corner3) : c2};
        int hidden = static_cast<int>(v->get(def::Face3d::hiddenEdges));
        for (int e = 0; e < 4; ++e) {
            if (hidden & (1 << e)) continue;
            QPointF a = p[e], b = p[(e + 1) % 4];
            if (a == b) continue;
            scene_.addLine(M.map(a), M.map(b), s);
        }
    } else if (auto v = View<def::Viewport>::of(r)) {
        // Paper space shows a viewport's frame; the sheet's own viewport
        // (number 1) has none.
        if (!ctx.paperSpace || ctx.depth > 0 || v->get(def::Viewport::id) == 1) return true;
        QPointF c = pointOf(*v, def::Viewport::center);
        double w = v->get(def::Viewport::width) / 2, h = v->get(def::Viewport::height) / 2;
        if (!(w > 0) || !(h > 0)) return true;
        scene_.addPolyline(mapped({c + QPointF(-w, -h), c + QPointF(w, -h), c + QPointF(w, h), c + QPointF(-w, h)}, M),
                           true, s);
        viewportContents(ctx, *v);
    } else {
        return false;
    }
    return true;
}

void SceneBuilder::viewportContents(const Context& ctx, const View<def::Viewport>& v)
{
    // A viewport that is off, and one that looks at model space from
    // another side than from above, show nothing here.
    if (v.get(def::Viewport::status) < 1 || v.get(def::Viewport::id) < 2) return;
    const dxf::Point3 dir = v.get(def::Viewport::viewDirection);
    if (std::abs(dir.x) > 1e-9 || std::abs(dir.y) > 1e-9) return;
    const double viewHeight = v.get(def::Viewport::viewHeight), height = v.get(def::Viewport::height);
    const double scale = height / viewHeight;
    if (!(scale > 0) || !std::isfinite(scale) || host_ != ctx.doc || host_->spaces().empty()) return;
    // Model space onto the paper: scaled, turned by the view's twist, and
    // the view's centre put on the viewport's.
    const QPointF c = pointOf(v, def::Viewport::center), view = pointOf(v, def::Viewport::viewCenter);
    const QTransform m = QTransform::fromScale(scale, scale) *
                         QTransform().rotateRadians(v.get(def::Viewport::twistAngle) * kDeg) *
                         QTransform::fromTranslate(c.x() - view.x() * scale, c.y() - view.y() * scale) * ctx.m;
    const double w = v.get(def::Viewport::width) / 2, h = height / 2;
    Bounds box;
    for (QPointF corner : {c + QPointF(-w, -h), c + QPointF(w, h)}) {
        QPointF p = ctx.m.map(corner);
        box.add(p.x(), p.y());
    }
    Context inner = ctx;
    inner.m = m;
    inner.paperSpace = false;
    inner.viewportScale = scale;
    scene_.beginClip(box);
    for (std::uint32_t e : host_->spaces()[0].entities) {
        if (scene_.full() || expansions_ > kMaxExpansions) break;
        entity(inner, e);
    }
    scene_.endClip();
}

// ------------------------------------------------------------------- blocks

void SceneBuilder::blockContents(const Context& ctx, const dxf::Document& doc, std::uint32_t block,
                                 const QTransform& m, std::uint32_t layer, std::uint32_t color, std::uint32_t chain,
                                 const std::string& xrefName, const LineLook& byBlock)
{
    if (ctx.depth >= kMaxDepth || ++expansions_ > kMaxExpansions || scene_.full()) return;
    auto& stack = *ctx.stack;
    for (auto& [d, b] : stack)
        if (d == &doc && b == block) return;  // a block that holds itself
    if (&doc == host_ && used_) used_->push_back(block);
    stack.emplace_back(&doc, block);
    Context inner{&doc, m, layer, color, chain, ctx.depth + 1, xrefName, ctx.paperSpace, ctx.stack, ctx.dimension,
                  byBlock, ctx.viewportScale};
    for (std::uint32_t e : doc.blocks()[block].entities) entity(inner, e);
    stack.pop_back();
}

void SceneBuilder::blockReference(const Context& ctx, std::uint32_t record, const View<def::Insert>& v)
{
    const dxf::Document& doc = *ctx.doc;
    const Scene::Style s = style_;
    const LineLook look = look_;
    auto block = doc.findBlock(v.get(def::Insert::block));
    std::uint32_t chain = scene_.chainWith(ctx.chain, s.layer);
    // An array repeats the attributes with every copy: their offsets in the
    // coordinates of the space that holds the reference.
    std::vector<QPointF> copies{QPointF(0, 0)};

    if (block) {
        auto head = View<def::Block>::of(doc, doc.blocks()[*block].begin);
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
        bool external = head && head->flag(def::Block::flags, def::Block::kExternal);
        QPointF base = head ? pointOf(*head, def::Block::base) : QPointF();
        if (external) {
            const dxf::Document* x = xrefs_.load(head->get(def::Block::xrefPath));
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
                    Context inner{target, m, s.layer, s.color, chain, ctx.depth + 1, xrefName, false, ctx.stack,
                                  false, look, ctx.viewportScale};
                    for (std::uint32_t e : target->spaces()[0].entities) entity(inner, e);
                    stack.pop_back();
                    if (&doc == host_ && used_) used_->push_back(*block);
                } else {
                    blockContents(ctx, doc, *block, m, s.layer, s.color, chain, ctx.xrefName, look);
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
    attribs.byBlock = look;
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

void SceneBuilder::anonymousBlock(const Context& ctx, const std::string& name, const QTransform& m, bool measured)
{
    const dxf::Document& doc = *ctx.doc;
    auto block = doc.findBlock(name);
    if (!block) return;
    const Scene::Style s = style_;
    Context inner = ctx;
    inner.dimension = measured;
    blockContents(inner, doc, *block, m, s.layer, s.color, scene_.chainWith(ctx.chain, s.layer), ctx.xrefName, look_);
}

}  // namespace ddvue::render

#include "ddvue/render/DrawingScene.h"

#include "ddvue/dxf/Entities.h"
#include "ddvue/dxf/Entity.h"

#include <QPainter>

#include <algorithm>

namespace ddvue::render {

namespace {

// The record number the sheet of a paper layout is drawn as: no record's.
constexpr std::uint32_t kSheet = UINT32_MAX - 1;

}  // namespace

DrawingScene::DrawingScene() : builder_(scene_, xrefs_) {}

DrawingScene::~DrawingScene() { detach(); }

void DrawingScene::build(const dxf::Document& doc, const QString& drawingPath, const QString& searchPaths,
                         const std::atomic<bool>* stop)
{
    // A layout asked for before the build is the one it shows.
    const std::optional<std::size_t> asked = asked_;
    detach();
    asked_ = asked;
    doc_ = &doc;
    path_ = drawingPath;
    searchPaths_ = searchPaths;
    xrefs_.reset(path_, searchPaths_);
    // Made here, on the building thread: the fonts it holds belong to it.
    TextMeasure measure(&shapes_);
    stop_ = stop;
    rebuild(measure);
    stop_ = nullptr;
}

void DrawingScene::follow(dxf::Document& doc)
{
    if (&doc != doc_ || followed_) return;
    followed_ = &doc;
    listener_ = doc.addListener([this](const dxf::Change& c) { changed(c); });
}

void DrawingScene::detach()
{
    if (followed_) followed_->removeListener(listener_);
    forget();
}

void DrawingScene::forget()
{
    doc_ = nullptr;
    followed_ = nullptr;
    listener_ = -1;
    scene_.clear();
    xrefs_.clear();
    topLevel_.clear();
    users_.clear();
    pendingEntities_.clear();
    pendingLayers_.clear();
    pendingAll_ = false;
    space_ = 0;
    asked_.reset();
    viewports_.clear();
}

void DrawingScene::showSpace(std::size_t space)
{
    if (asked_ == space && space_ == space) return;
    asked_ = space;
    pendingAll_ = true;
}

void DrawingScene::setSearchPaths(const QString& searchPaths)
{
    searchPaths_ = searchPaths;
    if (!doc_) return;
    xrefs_.reset(path_, searchPaths_);
    for (const dxf::BlockDef& b : doc_->blocks()) {
        if (dxf::isExternalReference(*doc_, b)) {
            pendingAll_ = true;
            break;
        }
    }
}

void DrawingScene::changed(const dxf::Change& change)
{
    if (change.what == dxf::Change::What::Layer) {
        // The scene's first layers are the drawing's, by their place in its
        // list: a layer made, deleted or renamed moves them, and the scene
        // is built afresh.
        const auto& layers = doc_->layers();
        const auto& shown = scene_.layers();
        bool found = false;
        for (std::uint32_t i = 0; i < layers.size(); ++i) {
            if (layers[i].record != change.record) continue;
            found = true;
            if (i < shown.size() && shown[i].name == layers[i].name) pendingLayers_.push_back(i);
            else pendingAll_ = true;
        }
        if (!found) pendingAll_ = true;
        return;
    }
    pendingEntities_.push_back(change.record);
}

void DrawingScene::rebuild(TextMeasure& measure)
{
    pendingAll_ = false;
    pendingEntities_.clear();
    pendingLayers_.clear();
    const auto& spaces = doc_->spaces();
    if (asked_ && *asked_ < spaces.size()) {
        space_ = *asked_;
        buildSpace(space_, measure);
        return;
    }
    space_ = 0;
    buildSpace(0, measure);
    // Paper space, when model space has nothing to show.
    if (scene_.liveCount() == 0 && spaces.size() > 1 && !spaces[1].entities.empty()) {
        space_ = 1;
        buildSpace(1, measure);
    }
}

void DrawingScene::buildSpace(std::size_t space, TextMeasure& measure)
{
    scene_.clear();
    users_.clear();
    viewports_.clear();
    topLevel_.assign(doc_->recordCount(), 0);
    builder_.addLayers(*doc_);
    if (space >= doc_->spaces().size()) return;
    if (space != 0) {
        // The sheet of paper the layout is drawn on, under everything.
        for (const LayoutEntry& l : layoutsOf(*doc_)) {
            if (l.space != space || l.sheet.isEmpty()) continue;
            const Bounds& b = l.sheet;
            SceneLayer sheet;
            sheet.rgb = 0x808080;
            sheet.foreground = false;
            Scene::Style style;
            style.layer = scene_.addLayer(sheet);
            style.color = color::ofLayer(style.layer);
            scene_.beginEntity(kSheet);
            scene_.addPolyline({{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}}, true, style);
            scene_.endEntity();
        }
    }
    for (std::uint32_t e : doc_->spaces()[space].entities) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) return;
        topLevel_[e] = 1;
        if (space != 0 && doc_->typeName(e) == "VIEWPORT")
            viewports_.push_back(e);
        build(e, measure);
    }
}

void DrawingScene::build(std::uint32_t record, TextMeasure& measure)
{
    std::vector<std::uint32_t> used;
    scene_.beginEntity(record);
    builder_.buildEntity(*doc_, record, used, space_ != 0, measure);
    scene_.endEntity();
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    for (std::uint32_t b : used) {
        auto& users = users_[b];
        if (users.empty() || users.back() != record) users.push_back(record);
    }
}

// The top-level records an edit of `record` changes the look of.
void DrawingScene::affected(std::uint32_t record, std::vector<std::uint32_t>& out, int depth) const
{
    if (record >= doc_->recordCount() || depth > 8) return;
    if (record < topLevel_.size() && topLevel_[record]) {
        out.push_back(record);
        return;
    }
    const dxf::Record& r = doc_->record(record);
    if (r.parent >= 0) {
        affected(static_cast<std::uint32_t>(r.parent), out, depth + 1);
        return;
    }
    if (r.block >= 0) {
        auto it = users_.find(static_cast<std::uint32_t>(r.block));
        if (it != users_.end()) out.insert(out.end(), it->second.begin(), it->second.end());
    }
    // A paper layout shows model space through its viewports.
    if (space_ != 0 && spaceOf(*doc_, record) == std::size_t(0)) out.insert(out.end(), viewports_.begin(), viewports_.end());
}

bool DrawingScene::refresh()
{
    if (!doc_) return false;
    if (!pendingAll_ && pendingLayers_.empty() && pendingEntities_.empty()) return false;
    TextMeasure measure(&shapes_);
    if (pendingAll_) {
        rebuild(measure);
        return true;
    }
    for (std::uint32_t l : pendingLayers_) scene_.setLayer(l, SceneBuilder::layerOf(*doc_, l));
    pendingLayers_.clear();

    std::vector<std::uint32_t> targets;
    for (std::uint32_t r : pendingEntities_) affected(r, targets, 0);
    pendingEntities_.clear();
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    // Most of what is shown changed (every text given a color, say): the
    // scene is built afresh at once, instead of entity after entity and then
    // afresh all the same for the many primitives left behind.
    const std::size_t shown = space_ < doc_->spaces().size() ? doc_->spaces()[space_].entities.size() : 0;
    if (targets.size() > 4096 && targets.size() * 2 > shown) {
        rebuild(measure);
        return true;
    }
    for (std::uint32_t t : targets) {
        scene_.removeEntity(t);
        if (!doc_->isDeleted(t)) build(t, measure);
    }
    // Much of the scene replaced: build it afresh rather than carry the
    // removed primitives along.
    if (scene_.deadCount() > 4096 && scene_.deadCount() > scene_.liveCount()) rebuild(measure);
    else if (scene_.liveCount() == 0 && space_ == 0) rebuild(measure);
    return true;
}

namespace {

// Layout names compare without regard to letter case, as CAD programs compare them.
std::string layoutKey(const std::string& name) { return QString::fromStdString(name).toCaseFolded().toStdString(); }

}  // namespace

std::vector<LayoutEntry> layoutsOf(const dxf::Document& doc)
{
    std::vector<LayoutEntry> out;
    const auto& spaces = doc.spaces();
    if (spaces.empty()) return out;
    out.push_back(LayoutEntry{"Model", 0, {}});
    // The LAYOUT objects: each paper layout's place among the tabs and its sheet.
    struct Found {
        long tab;
        Bounds sheet;
    };
    std::unordered_map<std::string, Found> layouts;
    for (std::uint32_t r = 0; r < doc.recordCount(); ++r) {
        if (doc.record(r).section != dxf::Section::Objects || doc.isDeleted(r)) continue;
        auto v = dxf::View<dxf::def::Layout>::of(doc, r);
        if (!v) continue;
        Found f{static_cast<long>(v->get(dxf::def::Layout::tabOrder)), {}};
        const dxf::Point3 a = v->get(dxf::def::Layout::limitsMin), b = v->get(dxf::def::Layout::limitsMax);
        if (b.x > a.x && b.y > a.y && std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) &&
            std::isfinite(b.y)) {
            f.sheet.add(a.x, a.y);
            f.sheet.add(b.x, b.y);
        }
        layouts.emplace(layoutKey(v->get(dxf::def::Layout::name)), f);
    }
    std::vector<std::pair<long, LayoutEntry>> paper;
    for (std::size_t i = 1; i < spaces.size(); ++i) {
        const dxf::Space& s = spaces[i];
        if (!s.isLayout) continue;
        auto it = layouts.find(layoutKey(s.layoutName));
        if (it == layouts.end() && s.entities.empty()) continue;
        if (it != layouts.end() && layoutKey(s.layoutName) == "model") continue;
        const long tab = it != layouts.end() ? it->second.tab : static_cast<long>(1000 + i);
        paper.emplace_back(tab, LayoutEntry{s.layoutName, i, it != layouts.end() ? it->second.sheet : Bounds()});
    }
    std::stable_sort(paper.begin(), paper.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& p : paper) out.push_back(std::move(p.second));
    return out;
}

std::optional<std::size_t> spaceOf(const dxf::Document& doc, std::uint32_t record)
{
    for (int hops = 0; record < doc.recordCount() && doc.record(record).parent >= 0 && hops < 4; ++hops)
        record = static_cast<std::uint32_t>(doc.record(record).parent);
    if (record >= doc.recordCount()) return std::nullopt;
    const dxf::Record& r = doc.record(record);
    if (r.block >= 0) {
        const auto& blocks = doc.blocks();
        if (static_cast<std::size_t>(r.block) >= blocks.size()) return std::nullopt;
        const auto& spaces = doc.spaces();
        for (std::size_t i = 0; i < spaces.size(); ++i)
            if (spaces[i].isLayout && doc.findBlock(spaces[i].blockName) == static_cast<std::uint32_t>(r.block))
                return i;
        return std::nullopt;
    }
    if (r.section != dxf::Section::Entities) return std::nullopt;
    return r.paperSpace ? 1 : 0;
}

QImage renderScene(const Scene& scene, QSize size, const PaintOptions& options)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return image;
    ViewTransform view;
    view.setViewport(size.width(), size.height());
    view.zoomToExtents(scene.extents());
    QPainter painter(&image);
    ScenePainter().paint(painter, scene, view, options);
    return image;
}

}  // namespace ddvue::render

#include "ddvue/render/DrawingScene.h"

#include "ddvue/dxf/Entity.h"

#include <QPainter>

#include <algorithm>

namespace ddvue::render {

DrawingScene::DrawingScene() : builder_(scene_, xrefs_) {}

DrawingScene::~DrawingScene() { detach(); }

void DrawingScene::build(const dxf::Document& doc, const QString& drawingPath, const QString& searchPaths,
                         const std::atomic<bool>* stop)
{
    detach();
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
    space_ = 0;
    buildSpace(0, measure);
    // Paper space, when model space has nothing to show.
    const auto& spaces = doc_->spaces();
    if (scene_.liveCount() == 0 && spaces.size() > 1 && !spaces[1].entities.empty()) {
        space_ = 1;
        buildSpace(1, measure);
    }
}

void DrawingScene::buildSpace(std::size_t space, TextMeasure& measure)
{
    scene_.clear();
    users_.clear();
    topLevel_.assign(doc_->recordCount(), 0);
    builder_.addLayers(*doc_);
    if (space >= doc_->spaces().size()) return;
    for (std::uint32_t e : doc_->spaces()[space].entities) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) return;
        topLevel_[e] = 1;
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

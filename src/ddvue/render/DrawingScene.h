#pragma once
// The scene of an open drawing, kept up to date with its edits. Built once,
// on any thread, from the drawing as it stands; then it follows the drawing
// on the thread that edits it: the document tells of every edit
// and only what the edit touched is rebuilt: the entity itself, the
// reference that holds an edited attribute or vertex, every reference that
// draws an edited block definition. A layer's edit changes only the layer
// table, which primitives consult when painted.

#include "ddvue/dxf/Document.h"
#include "ddvue/render/Scene.h"
#include "ddvue/render/SceneBuilder.h"
#include "ddvue/render/ScenePainter.h"
#include "ddvue/render/TextLayout.h"
#include "ddvue/render/Xrefs.h"

#include <QImage>
#include <QSize>

#include <atomic>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ddvue::render {

// A space a person can look at: model space or a paper layout.
struct LayoutEntry {
    std::string name;       // "Model", or the layout's name
    std::size_t space = 0;  // its index in the drawing's spaces()
    Bounds sheet;           // a paper layout's sheet (its limits), in paper units; empty when unknown
};
// Model space first, then the paper layouts in the drawing's tab order:
// those a LAYOUT object names, and a paper space with something on it.
std::vector<LayoutEntry> layoutsOf(const dxf::Document& doc);
// The space that lists the object `record` (or the reference or polyline
// it belongs to); nothing for an object inside a block definition.
std::optional<std::size_t> spaceOf(const dxf::Document& doc, std::uint32_t record);

class DrawingScene {
public:
    DrawingScene();
    // Stops following the document, which must still exist (see forget()).
    ~DrawingScene();
    DrawingScene(const DrawingScene&) = delete;
    DrawingScene& operator=(const DrawingScene&) = delete;

    // Builds the scene of `doc`, only reading it: it may run on any thread
    // while others read the same document, as long as none changes it. The
    // path and search paths say where external references are looked for.
    // When `stop` turns true the build ends early, leaving a partial scene
    // for a drawing that is about to go. The scene holds plain data only, so
    // the thread that built it can hand it whole to the one that shows it.
    // A scene built before is emptied first; what it keeps for the next
    // drawing (its room, the texts it shaped) is used again.
    void build(const dxf::Document& doc, const QString& drawingPath, const QString& searchPaths,
               const std::atomic<bool>* stop = nullptr);
    // From now on follows the edits of the document the scene was built
    // from: called on the thread that edits it, before any edit after the
    // build.
    void follow(dxf::Document& doc);
    // Both at once, on the thread that edits the document.
    void attach(dxf::Document& doc, const QString& drawingPath, const QString& searchPaths)
    {
        build(doc, drawingPath, searchPaths);
        follow(doc);
    }
    // Stops following the document (which must still exist) and empties the scene.
    void detach();
    // Empties the scene of a document that no longer exists.
    void forget();
    // The document the scene was built from; nullptr when empty.
    const dxf::Document* document() const { return doc_; }
    // New search paths: external references are looked for again.
    void setSearchPaths(const QString& searchPaths);

    // Applies the edits made since the last call. True when the scene changed.
    bool refresh();
    // The scene, brought up to date.
    const Scene& scene()
    {
        refresh();
        return scene_;
    }
    // True when the scene shows a paper layout: the one asked for, or paper
    // space because the drawing's model space has nothing to show.
    bool showsPaperSpace() const { return space_ != 0; }
    // The space shown (an index into the drawing's spaces()).
    std::size_t space() const { return space_; }
    // Shows another space (see layoutsOf) from the next scene() on, or
    // (called before build) from the build on; a space the drawing lacks
    // shows model space. Forgetting the drawing forgets it.
    void showSpace(std::size_t space);

private:
    // Building measures text with Qt fonts, which belong to the thread that
    // made them: each build makes its own on the thread it runs on.
    void rebuild(TextMeasure& measure);
    void buildSpace(std::size_t space, TextMeasure& measure);
    void build(std::uint32_t record, TextMeasure& measure);
    void affected(std::uint32_t record, std::vector<std::uint32_t>& out, int depth) const;
    void changed(const dxf::Change& change);

    const dxf::Document* doc_ = nullptr;  // built from
    dxf::Document* followed_ = nullptr;   // whose edits it follows: doc_, once follow() is called
    int listener_ = -1;                   // this scene's listener on followed_
    QString path_, searchPaths_;
    Scene scene_;
    // Texts shaped by earlier builds, of this drawing or the ones before.
    ShapeCache shapes_;
    Xrefs xrefs_;
    SceneBuilder builder_;
    std::size_t space_ = 0;
    std::optional<std::size_t> asked_;  // the space asked for, else the first with something to show
    std::vector<std::uint32_t> viewports_;  // the shown layout's viewports onto model space
    std::vector<char> topLevel_;  // the records the shown space lists
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> users_;  // block -> top-level records drawing it
    std::vector<std::uint32_t> pendingEntities_;
    std::vector<std::uint32_t> pendingLayers_;
    bool pendingAll_ = false;
    const std::atomic<bool>* stop_ = nullptr;  // while build() runs
};

// Paints a scene, zoomed to its extents, into a new picture of `size`.
QImage renderScene(const Scene& scene, QSize size, const PaintOptions& options = PaintOptions());

}  // namespace ddvue::render

#pragma once
// Turns a drawing's entities into scene primitives in world coordinates:
// block references expanded (nested, scaled, mirrored, rotated, arrays),
// their attributes, dimensions through their blocks, external references
// through the drawings they name; colors resolved through block references
// down to a fixed color or a layer.

#include "ddvue/dxf/Entity.h"
#include "ddvue/render/Geometry.h"
#include "ddvue/render/Scene.h"
#include "ddvue/render/TextLayout.h"
#include "ddvue/render/Xrefs.h"

#include <QTransform>

#include <string>
#include <unordered_map>
#include <vector>

namespace ddvue::render {

class SceneBuilder {
public:
    SceneBuilder(Scene& scene, Xrefs& xrefs);

    // Fills the scene's layer table from the drawing's layers: scene layer i
    // is the drawing's layer i.
    void addLayers(const dxf::Document& doc);
    // The scene layer of drawing layer `index`, read afresh.
    static SceneLayer layerOf(const dxf::Document& doc, std::uint32_t index);

    // Builds one top-level entity of `doc` into the scene (the caller brackets
    // it with beginEntity/endEntity). `usedBlocks` receives the indexes of the
    // drawing's block definitions the entity draws, nested ones included.
    // Texts are measured with `measure`, which belongs to the calling thread.
    void buildEntity(const dxf::Document& doc, std::uint32_t record, std::vector<std::uint32_t>& usedBlocks,
                     bool paperSpace, TextMeasure& measure);

private:
    struct Context;
    void entity(const Context& ctx, std::uint32_t record);
    // The entities drawn from their own groups alone; false when `type` is none of them.
    bool plainGeometry(const Context& ctx, std::string_view type, const dxf::EntityView& v);
    void blockReference(const Context& ctx, std::uint32_t record, const dxf::EntityView& v);
    void blockContents(const Context& ctx, const dxf::Document& doc, std::uint32_t block, const QTransform& m,
                       std::uint32_t layer, std::uint32_t color, std::uint32_t chain, const std::string& xrefName);
    void dimension(const Context& ctx, std::uint32_t record, const dxf::EntityView& v);
    void text(const Context& ctx, std::uint32_t record, const dxf::EntityView& v, const QString& value, bool attribute);
    void mtext(const Context& ctx, const dxf::EntityView& v, const QString& value);
    // Lays out `value` in `frame` and places it at `ins`, its lines running
    // along `xdir` in the plane of normal `n`.
    void placeMText(const Context& ctx, const QString& value, const TextFormat& fmt, const MTextFrame& frame, Vec3 ins,
                    Vec3 xdir, Vec3 n);
    void multileader(const Context& ctx, const dxf::EntityView& v);
    void lwpolyline(const Context& ctx, const dxf::EntityView& v);
    void polyline(const Context& ctx, std::uint32_t record, const dxf::EntityView& v);
    void polyfaceMesh(const Context& ctx, const std::vector<dxf::EntityView>& vertices);
    void polygonMesh(const Context& ctx, const dxf::EntityView& v, const std::vector<dxf::EntityView>& vertices);
    void spline(const Context& ctx, const dxf::EntityView& v);
    void hatch(const Context& ctx, const dxf::EntityView& v);
    void leader(const Context& ctx, const dxf::EntityView& v);
    void imageFrame(const Context& ctx, const dxf::EntityView& v);
    void mline(const Context& ctx, const dxf::EntityView& v);
    void mesh(const Context& ctx, const dxf::EntityView& v);

    struct Vertex {
        QPointF p;
        double bulge = 0, startWidth = 0, endWidth = 0;
    };
    // A 2D polyline in its object coordinates `m`: thin, or filled where it has width.
    void polyline2d(const std::vector<Vertex>& vertices, bool closed, const QTransform& m);
    void emitText(const Context& ctx, const TextBlock& block, const QTransform& frame);

    std::uint32_t layerFor(const Context& ctx, const dxf::EntityView& v);
    std::uint32_t colorFor(const Context& ctx, const dxf::EntityView& v, std::uint32_t layer) const;
    Scene::Style style(const Context& ctx, const dxf::EntityView& v);

    Scene& scene_;
    TextMeasure* measure_ = nullptr;  // while an entity is built
    Xrefs& xrefs_;
    const dxf::Document* host_ = nullptr;
    std::vector<std::uint32_t>* used_ = nullptr;
    std::size_t expansions_ = 0;
    Scene::Style style_;  // of the entity being built
    // Scene layers of drawings other than the host (external references),
    // and of layer names no table defines.
    std::unordered_map<const dxf::Document*, std::unordered_map<std::uint32_t, std::uint32_t>> foreignLayers_;
    std::unordered_map<std::string, std::uint32_t> namedLayers_;
};

}  // namespace ddvue::render

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
    // A line's linetype and lineweight as its entity resolves them: the
    // pattern unscaled (nullptr: solid), the weight in hundredths of a
    // millimetre (0 the thinnest).
    struct LineLook {
        const std::vector<double>* pattern = nullptr;
        int weight = 0;
    };
    struct Context;
    template <class T>
    using View = dxf::View<T>;
    void entity(const Context& ctx, std::uint32_t record);
    // The entities drawn from their own groups alone; false when the record is none of them.
    bool plainGeometry(const Context& ctx, const dxf::RecordView& r);
    // What a paper layout's viewport shows of model space, clipped to it.
    void viewportContents(const Context& ctx, const View<dxf::def::Viewport>& v);
    void blockReference(const Context& ctx, std::uint32_t record, const View<dxf::def::Insert>& v);
    void blockContents(const Context& ctx, const dxf::Document& doc, std::uint32_t block, const QTransform& m,
                       std::uint32_t layer, std::uint32_t color, std::uint32_t chain, const std::string& xrefName,
                       const LineLook& byBlock);
    // A dimension or a table: the anonymous block that draws it, in its frame `m`.
    void anonymousBlock(const Context& ctx, const std::string& block, const QTransform& m, bool measured);
    // TEXT, ATTRIB and ATTDEF.
    template <class T>
    void text(const Context& ctx, const View<T>& v, const QString& value);
    void mtext(const Context& ctx, const View<dxf::def::MText>& v, const QString& value);
    // Lays out `value` in `frame` and places it at `ins`, its lines running
    // along `xdir` in the plane of normal `n`.
    void placeMText(const Context& ctx, const QString& value, const TextFormat& fmt, const MTextFrame& frame, Vec3 ins,
                    Vec3 xdir, Vec3 n);
    void multileader(const Context& ctx, const View<dxf::def::MLeader>& v);
    void lwpolyline(const Context& ctx, const View<dxf::def::LwPolyline>& v);
    void polyline(const Context& ctx, std::uint32_t record, const View<dxf::def::Polyline>& v);
    void polyfaceMesh(const Context& ctx, const std::vector<View<dxf::def::Vertex>>& vertices);
    void polygonMesh(const Context& ctx, const View<dxf::def::Polyline>& v,
                     const std::vector<View<dxf::def::Vertex>>& vertices);
    void spline(const Context& ctx, const View<dxf::def::Spline>& v);
    void hatch(const Context& ctx, const View<dxf::def::Hatch>& v);
    void leader(const Context& ctx, const View<dxf::def::Leader>& v);
    void imageFrame(const Context& ctx, const View<dxf::def::Image>& v);
    void mline(const Context& ctx, const View<dxf::def::MLine>& v);
    void mesh(const Context& ctx, const View<dxf::def::Mesh>& v);

    struct Vertex {
        QPointF p;
        double bulge = 0, startWidth = 0, endWidth = 0;
    };
    // A 2D polyline in its object coordinates `m`: thin, or filled where it has width.
    void polyline2d(const std::vector<Vertex>& vertices, bool closed, const QTransform& m);
    void emitText(const Context& ctx, const TextBlock& block, const QTransform& frame);

    std::uint32_t layerFor(const Context& ctx, const View<dxf::def::AnyEntity>& v);
    std::uint32_t colorFor(const Context& ctx, const View<dxf::def::AnyEntity>& v, std::uint32_t layer) const;
    Scene::Style style(const Context& ctx, const View<dxf::def::AnyEntity>& v);
    // The entity's linetype and lineweight, BYLAYER and BYBLOCK resolved.
    LineLook lineLook(const Context& ctx, const View<dxf::def::AnyEntity>& v, std::uint32_t layer);
    LineLook layerLook(std::uint32_t sceneLayer);
    // The dash pattern of `doc`'s linetype `name`, unscaled; nullptr for a
    // solid line (CONTINUOUS, a pattern without dashes, a name the table lacks).
    const std::vector<double>* linetype(const dxf::Document& doc, std::string_view name);

    Scene& scene_;
    TextMeasure* measure_ = nullptr;  // while an entity is built
    Xrefs& xrefs_;
    const dxf::Document* host_ = nullptr;
    std::vector<std::uint32_t>* used_ = nullptr;
    std::size_t expansions_ = 0;
    Scene::Style style_;  // of the entity being built
    LineLook look_;       // of the entity being built
    // Scene layers of drawings other than the host (external references),
    // and of layer names no table defines.
    std::unordered_map<const dxf::Document*, std::unordered_map<std::uint32_t, std::uint32_t>> foreignLayers_;
    std::unordered_map<std::string, std::uint32_t> namedLayers_;
    // The drawing and layer that a scene layer of an external reference stands for.
    std::unordered_map<std::uint32_t, std::pair<const dxf::Document*, std::uint32_t>> layerSources_;
    std::vector<LineLook> layerLooks_;
    std::vector<char> layerLooked_;
    // Each drawing's linetypes by their upper-case names, read at first use.
    std::unordered_map<const dxf::Document*, std::unordered_map<std::string, std::vector<double>>> linetypes_;
    double ltScale_ = 1;      // $LTSCALE
    bool lineweights_ = false;  // $LWDISPLAY: lines drawn as wide as their weight
    int lwDefault_ = 25;      // $LWDEFAULT, hundredths of a millimetre
    bool paperScaled_ = true;  // $PSLTSCALE: patterns seen through a viewport keep their paper length
};

}  // namespace ddvue::render

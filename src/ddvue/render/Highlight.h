#pragma once
// Pointing out one object or one layer in the view, over the picture of the
// drawing: what is pointed out (found in the built scene, never in the
// drawing), where the view goes so that it can be seen, the path the view
// takes there, and the painting on top of the drawing's picture. Nothing of
// it enters the scene or the drawing, so pictures, prints and saved files
// never hold it.

#include "ddvue/dxf/Document.h"
#include "ddvue/render/Scene.h"
#include "ddvue/render/ScenePainter.h"
#include "ddvue/render/ViewTransform.h"

#include <QRectF>
#include <QRgb>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace ddvue::render {

// The color of what the view points out: a warm orange that few drawings
// use and that stands out on the black background.
constexpr QRgb kHighlightColor = 0xFFFF9A1F;

struct HighlightTarget {
    enum class Kind { None, Object, Layer };
    Kind kind = Kind::None;
    // Object: its primitives and their bounds, and the bounds of the block
    // reference that holds it (an attribute's), shown faintly; empty when
    // none.
    Scene::Span span;
    Bounds bounds;
    Bounds holder;
    // Layer: which of the scene's layers (a layer's name may stand for more
    // than one scene layer), and whether any of them shows.
    std::vector<char> layers;
    bool layerShown = false;

    bool empty() const { return kind == Kind::None; }
};

// The object of drawing record `record` as the scene draws it: a top-level
// entity, or an attribute of a top-level block reference (the reference
// itself when the attribute is not drawn). None when the scene does not draw
// it (inside a block definition, in a space not shown, removed). Costs a
// look-up and a pass over the object's own primitives.
HighlightTarget objectTarget(const Scene& scene, const dxf::Document& doc, std::uint32_t record);
// The scene layers named `name` (letter case ignored, as layer names are).
HighlightTarget layerTarget(const Scene& scene, const QString& name);
// The bounds of each scene layer's live primitives, in one pass over the
// scene (the view keeps them until the scene changes).
std::vector<Bounds> layerExtents(const Scene& scene);

// Where the view goes so that `b` can be seen: unchanged (nullopt) when it
// stands inside the view, away from the edges, at a size that can be seen;
// else moved just enough to bring it in, and zoomed when it is too small
// to see or larger than the view. The scale stays within
// [minScale, maxScale].
std::optional<ViewTransform> framing(const ViewTransform& view, const Bounds& b, double minScale, double maxScale);

// A smooth path from one view to another (van Wijk and Nuij's, as web maps
// fly): it zooms out while it travels far and in again, so that both ends
// stay in sight on the way. at(0) is `from`, at(1) is `to`.
class ViewPath {
public:
    ViewPath() = default;
    ViewPath(const ViewTransform& from, const ViewTransform& to);
    ViewTransform at(double t) const;
    // The path's length in the method's own units: about one for a zoom by
    // e (2.7) times or a move by one view width.
    double length() const { return length_; }

private:
    ViewTransform from_, to_;
    double ux_ = 0, uy_ = 0;  // unit direction from the start's center to the end's
    double distance_ = 0;     // between the centers, in drawing units
    double w0_ = 1, w1_ = 1;  // view widths in drawing units
    double r0_ = 0, length_ = 0;
};

// The rectangle on the screen that marks an object of `b` in `view`: its
// bounds with a margin, never smaller than a few pixels.
QRectF markRect(const ViewTransform& view, const Bounds& b);

// Paints `target` over the picture of the drawing that `painter` holds:
// an object as a glow around it and its lines and letters in the highlight
// color; a layer by dimming everything else and giving its own primitives a
// glow.
void paintHighlight(QPainter& painter, ScenePainter& scenePainter, const Scene& scene, const ViewTransform& view,
                    const HighlightTarget& target);

}  // namespace ddvue::render

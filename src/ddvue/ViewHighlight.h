#pragma once
// The view's state of pointing out an object or a layer (see DDVue's
// highlightObject): what was asked for, what the scene holds of it, and the
// view's glide towards it. Private to the widget.

#include "ddvue/render/Highlight.h"
#include "ddvue/render/ViewTransform.h"

#include <QString>
#include <QVariantAnimation>

#include <cstdint>
#include <vector>

namespace ddvue {

struct ViewHighlight {
    enum class Kind { None, Object, Layer };
    Kind kind = Kind::None;
    QString key;          // the handle or the layer's name
    bool bring = false;   // the view is to go to the object once it is found
    // What the scene holds of it, found at the scene's generation and revision.
    render::HighlightTarget target;
    bool found = false;
    std::uint64_t generation = 0, revision = 0;
    // The layers' bounds, at the scene's generation and revision.
    std::vector<render::Bounds> layerExtents;
    std::uint64_t extentsGeneration = 0, extentsRevision = 0;
    // The glide.
    QVariantAnimation glide;
    bool glideSetUp = false;  // its steps connected to the view
    render::ViewPath path;
    render::ViewTransform destination;

    void forget()
    {
        kind = Kind::None;
        key.clear();
        bring = false;
        target = render::HighlightTarget();
        found = false;
    }
};

}  // namespace ddvue

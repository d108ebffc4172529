// DDVue: pointing out an object or a layer over the drawing, and the view's
// glide to an object (see DDVue.h).

#include "ddvue/DDVue.h"
#include "ddvue/ViewHighlight.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ddvue {

namespace {

// How far the glide may zoom, relative to the whole drawing (as the wheel).
constexpr double kFarthest = 1e-3;
constexpr double kNearest = 1e7;

}  // namespace

void DDVue::highlightObject(const QString& handle, bool bringIntoView)
{
    ViewHighlight& h = *highlight_;
    const QString key = handle.trimmed();
    // The same object again (another column of the same row): the view
    // stays where the person has put it.
    if (h.kind == ViewHighlight::Kind::Object && h.key.compare(key, Qt::CaseInsensitive) == 0) return;
    h.forget();
    if (key.isEmpty()) {
        update();
        return;
    }
    h.kind = ViewHighlight::Kind::Object;
    h.key = key;
    h.bring = bringIntoView;
    if (!building()) applyHighlight();
    update();
}

void DDVue::highlightLayer(const QString& name, bool bringIntoView)
{
    ViewHighlight& h = *highlight_;
    if (h.kind == ViewHighlight::Kind::Layer && h.key.compare(name, Qt::CaseInsensitive) == 0) return;
    h.forget();
    h.kind = ViewHighlight::Kind::Layer;
    h.key = name;
    h.bring = bringIntoView;
    if (!building()) applyHighlight();
    update();
}

void DDVue::clearHighlight()
{
    if (highlight_->kind == ViewHighlight::Kind::None) return;
    highlight_->forget();
    update();
}

QString DDVue::highlighted() const { return highlight_->key; }

bool DDVue::gliding() const { return highlight_->glide.state() == QAbstractAnimation::Running; }

QRectF DDVue::highlightRect()
{
    ready();
    applyHighlight();
    const ViewHighlight& h = *highlight_;
    if (h.target.kind != render::HighlightTarget::Kind::Object) return QRectF();
    render::ViewTransform v = view_;
    v.setViewport(width(), height());
    return render::markRect(v, h.target.bounds).intersected(QRectF(rect()));
}

void DDVue::applyHighlight()
{
    ViewHighlight& h = *highlight_;
    if (h.kind == ViewHighlight::Kind::None || building()) return;
    const render::Scene& scene = scene_->scene();
    // Found again only when the scene changed (an edit, another drawing).
    if (!h.found || h.generation != scene.generation() || h.revision != scene.revision()) {
        h.target = render::HighlightTarget();
        if (h.kind == ViewHighlight::Kind::Layer) {
            h.target = render::layerTarget(scene, h.key);
        } else if (const dxf::Document* doc = engine_.document(); doc && scene_->document() == doc) {
            if (auto record = doc->findHandle(h.key.toStdString())) {
                // An object of another layout: that layout is shown.
                const auto space = render::spaceOf(*doc, *record);
                if (space && *space != scene_->space()) {
                    for (const render::LayoutEntry& l : render::layoutsOf(*doc))
                        if (l.space == *space) {
                            const bool bring = h.bring;
                            showSpace(*space);
                            h.bring = bring;
                        }
                }
                h.target = render::objectTarget(scene, *doc, *record);
            }
        }
        h.found = true;
        h.generation = scene.generation();
        h.revision = scene.revision();
    }
    if (!h.bring || h.target.empty()) return;
    h.bring = false;
    if (width() <= 0 || height() <= 0) return;
    // Measured against where the view is going, when it is on its way:
    // an object that will show there needs no new course.
    render::ViewTransform from = gliding() ? h.destination : view_;
    from.setViewport(width(), height());
    const double fit = fitScale();
    if (h.target.kind == render::HighlightTarget::Kind::Layer) {
        // A layer: shown whole when none of it is in sight.
        if (!h.target.layerShown) return;
        if (h.extentsGeneration != scene.generation() || h.extentsRevision != scene.revision()) {
            h.layerExtents = render::layerExtents(scene);
            h.extentsGeneration = scene.generation();
            h.extentsRevision = scene.revision();
        }
        render::Bounds b;
        for (std::size_t i = 0; i < h.target.layers.size() && i < h.layerExtents.size(); ++i)
            if (h.target.layers[i]) b.add(h.layerExtents[i]);
        const render::Bounds seen = from.visibleWorld();
        if (b.isEmpty() || !(b.x1 < seen.x0 || b.x0 > seen.x1 || b.y1 < seen.y0 || b.y0 > seen.y1)) return;
        render::ViewTransform to = from;
        to.zoomToExtents(b, 0.1);
        to.setScale(std::clamp(to.scale(), fit * kFarthest, fit * kNearest));
        glideTo(to);
        return;
    }
    if (auto to = render::framing(from, h.target.bounds, fit * kFarthest, fit * kNearest)) glideTo(*to);
}

bool DDVue::zoomToHighlight()
{
    ready();
    applyHighlight();
    ViewHighlight& h = *highlight_;
    if (h.target.empty() || width() <= 0 || height() <= 0) return false;
    render::Bounds b = h.target.bounds;
    if (h.target.kind == render::HighlightTarget::Kind::Layer) {
        const render::Scene& scene = scene_->scene();
        if (h.extentsGeneration != scene.generation() || h.extentsRevision != scene.revision()) {
            h.layerExtents = render::layerExtents(scene);
            h.extentsGeneration = scene.generation();
            h.extentsRevision = scene.revision();
        }
        b = render::Bounds();
        for (std::size_t i = 0; i < h.target.layers.size() && i < h.layerExtents.size(); ++i)
            if (h.target.layers[i]) b.add(h.layerExtents[i]);
    }
    if (b.isEmpty()) return false;
    const double fit = fitScale();
    render::ViewTransform to = view_;
    to.setViewport(width(), height());
    to.zoomToExtents(b, 0.15);
    to.setScale(std::clamp(to.scale(), fit * kFarthest, fit * kNearest));
    glideTo(to);
    return true;
}

void DDVue::glideTo(const render::ViewTransform& to)
{
    ViewHighlight& h = *highlight_;
    view_.setViewport(width(), height());
    h.path = render::ViewPath(view_, to);
    h.destination = to;
    userMoved_ = true;
    if (!h.glideSetUp) {
        h.glideSetUp = true;
        h.glide.setStartValue(0.0);
        h.glide.setEndValue(1.0);
        connect(&h.glide, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            ViewHighlight& g = *highlight_;
            render::ViewTransform v = g.path.at(value.toDouble());
            v.setViewport(width(), height());
            view_ = v;
            update();
        });
        connect(&h.glide, &QVariantAnimation::finished, this, [this] {
            render::ViewTransform v = highlight_->destination;
            v.setViewport(width(), height());
            view_ = v;
            update();
        });
    }
    h.glide.stop();
    // A quarter of a second or so, a little longer for a long way; the
    // motion slows into place.
    const int ms = static_cast<int>(std::clamp(160 + 60 * std::abs(h.path.length()), 200.0, 320.0));
    h.glide.setDuration(ms);
    h.glide.setEasingCurve(QEasingCurve::OutCubic);
    h.glide.start();
}

void DDVue::stopGlide()
{
    ViewHighlight& h = *highlight_;
    h.bring = false;
    // The view stays where the glide has brought it (stopping is not
    // finishing: the glide's last step does not follow).
    h.glide.stop();
}

void DDVue::paintHighlightOver(QPainter& painter)
{
    applyHighlight();
    const ViewHighlight& h = *highlight_;
    if (h.target.empty()) return;
    render::paintHighlight(painter, painter_, scene_->scene(), view_, h.target);
}

}  // namespace ddvue

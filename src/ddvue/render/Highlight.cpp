#include "ddvue/render/Highlight.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ddvue::render {

namespace {

// An object whose smaller side is below this many pixels cannot be made
// out (a text's letters, say): the view zooms in until it is about
// kComfortable pixels.
constexpr double kTooSmall = 14;
constexpr double kComfortable = 36;
// The part of the view's width and height kept free at each edge when the
// view brings an object in.
constexpr double kEdge = 0.1;
// The smallest mark, in pixels, and its margin around the object.
constexpr double kMinMark = 12;
constexpr double kMarkMargin = 4;

}  // namespace

HighlightTarget objectTarget(const Scene& scene, const dxf::Document& doc, std::uint32_t record)
{
    HighlightTarget t;
    if (record >= doc.recordCount() || doc.isDeleted(record)) return t;
    Scene::Span span = scene.entitySpan(record);
    if (span.count == 0) {
        // An attribute: drawn as a part of its block reference.
        span = scene.partSpan(record);
        const std::int32_t parent = doc.record(record).parent;
        if (parent >= 0) {
            Scene::Span holder = scene.entitySpan(static_cast<std::uint32_t>(parent));
            if (span.count == 0) span = holder;  // the attribute does not show: its reference does
            else t.holder = scene.spanBounds(holder);
        }
    }
    if (span.count == 0) return HighlightTarget();
    t.bounds = scene.spanBounds(span);
    if (t.bounds.isEmpty()) return HighlightTarget();
    t.kind = HighlightTarget::Kind::Object;
    t.span = span;
    return t;
}

HighlightTarget layerTarget(const Scene& scene, const QString& name)
{
    HighlightTarget t;
    const std::vector<SceneLayer>& layers = scene.layers();
    t.layers.assign(layers.size(), 0);
    bool any = false;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (QString::fromStdString(layers[i].name).compare(name, Qt::CaseInsensitive) != 0) continue;
        t.layers[i] = 1;
        any = true;
        t.layerShown = t.layerShown || (layers[i].on && !layers[i].frozen);
    }
    if (any) t.kind = HighlightTarget::Kind::Layer;
    return t;
}

std::vector<Bounds> layerExtents(const Scene& scene)
{
    std::vector<Bounds> out(scene.layers().size());
    for (const Primitive& p : scene.primitives()) {
        if (p.dead() || p.layer >= out.size()) continue;
        out[p.layer].add(p.x0, p.y0);
        out[p.layer].add(p.x1, p.y1);
    }
    return out;
}

std::optional<ViewTransform> framing(const ViewTransform& view, const Bounds& b, double minScale, double maxScale)
{
    const int W = view.width(), H = view.height();
    if (b.isEmpty() || W <= 0 || H <= 0) return std::nullopt;
    const double bw = b.width(), bh = b.height();
    const double s = view.scale();
    const double availW = W * (1 - 2 * kEdge), availH = H * (1 - 2 * kEdge);
    const double maxSide = std::max(bw, bh), minSide = std::min(bw, bh);
    const double side = minSide > 0 ? minSide : maxSide;

    double scale = s;
    const bool tooLarge = bw * s > availW || bh * s > availH;
    const bool tooSmall = side * s < kTooSmall;
    if (tooLarge || tooSmall) {
        double fit = std::numeric_limits<double>::infinity();
        if (bw > 0) fit = availW / bw;
        if (bh > 0) fit = std::min(fit, availH / bh);
        if (tooLarge) scale = fit;
        else scale = std::min(fit, side > 0 ? kComfortable / side : fit);
        if (!std::isfinite(scale) || !(scale > 0)) scale = s;
        if (minScale > 0 && maxScale >= minScale) scale = std::clamp(scale, minScale, maxScale);
    }

    ViewTransform to = view;
    to.setScale(scale);
    const QPointF c = view.center();
    double cx = c.x(), cy = c.y();
    const double midX = (b.x0 + b.x1) / 2, midY = (b.y0 + b.y1) / 2;
    if (scale != s) {
        // Zoomed: the object in the middle.
        cx = midX;
        cy = midY;
    } else {
        // Moved just enough to stand clear of the edges, or into the middle
        // when it is nowhere in sight.
        const Bounds seen = view.visibleWorld();
        const bool outside = b.x1 < seen.x0 || b.x0 > seen.x1 || b.y1 < seen.y0 || b.y0 > seen.y1;
        const double freeX = W * (0.5 - kEdge) / scale, freeY = H * (0.5 - kEdge) / scale;
        auto place = [outside](double center, double lo, double hi, double free, double mid) {
            if (outside || hi - lo > 2 * free) return mid;
            return std::clamp(center, hi - free, lo + free);
        };
        cx = place(cx, b.x0, b.x1, freeX, midX);
        cy = place(cy, b.y0, b.y1, freeY, midY);
    }
    if (scale == s && cx == c.x() && cy == c.y()) return std::nullopt;
    to.setCenter(QPointF(cx, cy));
    return to;
}

// ----------------------------------------------------------------- the path

ViewPath::ViewPath(const ViewTransform& from, const ViewTransform& to) : from_(from), to_(to)
{
    // In the method's terms a view is its center and its width in drawing
    // units; the path minimizes the motion a viewer perceives, trading
    // zoom against travel with the constant rho (sqrt 2).
    const double W = std::max(from.width(), 1);
    w0_ = W / from.scale();
    w1_ = W / to.scale();
    const double dx = to.center().x() - from.center().x(), dy = to.center().y() - from.center().y();
    distance_ = std::hypot(dx, dy);
    constexpr double rho = 1.4142135623730951, rho2 = 2, rho4 = 4;
    if (!(distance_ > 1e-9 * std::max(w0_, w1_)) || !std::isfinite(distance_)) {
        distance_ = 0;
        length_ = std::abs(std::log(w1_ / w0_)) / rho;
        return;
    }
    ux_ = dx / distance_;
    uy_ = dy / distance_;
    const double d2 = distance_ * distance_;
    const double b0 = (w1_ * w1_ - w0_ * w0_ + rho4 * d2) / (2 * w0_ * rho2 * distance_);
    const double b1 = (w1_ * w1_ - w0_ * w0_ - rho4 * d2) / (2 * w1_ * rho2 * distance_);
    // log(sqrt(b^2 + 1) - b), without the cancellation for large b.
    r0_ = -std::asinh(b0);
    const double r1 = -std::asinh(b1);
    length_ = (r1 - r0_) / rho;
    if (!std::isfinite(length_) || !std::isfinite(r0_)) {
        length_ = 0;
        distance_ = 0;
    }
}

ViewTransform ViewPath::at(double t) const
{
    if (t >= 1) return to_;
    if (t <= 0) return from_;
    constexpr double rho = 1.4142135623730951, rho2 = 2;
    ViewTransform v = to_;
    const double W = std::max(from_.width(), 1);
    double u = 0, w = 0;
    if (distance_ == 0) {
        // Only a zoom: the width changes at a steady rate, the center glides.
        w = w0_ * std::pow(w1_ / w0_, t);
        u = t;
        const QPointF c0 = from_.center(), c1 = to_.center();
        v.setCenter(c0 + (c1 - c0) * u);
    } else {
        const double s = t * length_;
        const double coshR0 = std::cosh(r0_);
        u = w0_ / (rho2 * distance_) * (coshR0 * std::tanh(rho * s + r0_) - std::sinh(r0_));
        w = w0_ * coshR0 / std::cosh(rho * s + r0_);
        const double along = u * distance_;
        v.setCenter(from_.center() + QPointF(ux_ * along, uy_ * along));
    }
    if (w > 0 && std::isfinite(w)) v.setScale(W / w);
    return v;
}

// ------------------------------------------------------------ the painting

QRectF markRect(const ViewTransform& view, const Bounds& b)
{
    if (b.isEmpty()) return QRectF();
    QPointF a = view.toScreen(QPointF(b.x0, b.y1)), c = view.toScreen(QPointF(b.x1, b.y0));
    QRectF r = QRectF(a, c).normalized().adjusted(-kMarkMargin, -kMarkMargin, kMarkMargin, kMarkMargin);
    if (r.width() < kMinMark) r.adjust(-(kMinMark - r.width()) / 2, 0, (kMinMark - r.width()) / 2, 0);
    if (r.height() < kMinMark) r.adjust(0, -(kMinMark - r.height()) / 2, 0, (kMinMark - r.height()) / 2);
    // Far beyond the view the painter's numbers would overflow; the part
    // that shows is all that counts.
    const double far = 4 * std::max({view.width(), view.height(), 64});
    return r.intersected(QRectF(-far, -far, view.width() + 2 * far, view.height() + 2 * far));
}

void paintHighlight(QPainter& painter, ScenePainter& scenePainter, const Scene& scene, const ViewTransform& view,
                    const HighlightTarget& target)
{
    if (target.empty() || view.width() <= 0 || view.height() <= 0) return;
    const QColor color = QColor::fromRgba(kHighlightColor);
    auto withAlpha = [&color](int alpha) {
        QColor c = color;
        c.setAlpha(alpha);
        return c;
    };
    painter.save();
    painter.resetTransform();
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (target.kind == HighlightTarget::Kind::Layer) {
        // Everything else dimmed, the layer's own lines and letters in their
        // colors on a glow.
        if (target.layerShown) {
            painter.fillRect(QRectF(0, 0, view.width(), view.height()), QColor(0, 0, 0, 160));
            ScenePainter::Selection glow{0, 0, &target.layers, kHighlightColor, 5};
            painter.setOpacity(0.7);
            scenePainter.paintOver(painter, scene, view, glow);
            painter.setOpacity(1);
            ScenePainter::Selection own{0, 0, &target.layers, 0, 0};
            scenePainter.paintOver(painter, scene, view, own);
        }
        painter.restore();
        return;
    }

    // The block reference that holds an attribute: a faint dashed frame.
    if (!target.holder.isEmpty()) {
        QRectF h = markRect(view, target.holder).adjusted(-2, -2, 2, 2);
        QPen pen(withAlpha(130), 1, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(h, 3, 3);
    }
    // A glowing frame around the object, a light tint inside it.
    const QRectF r = markRect(view, target.bounds);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(40));
    painter.drawRoundedRect(r, 5, 5);
    painter.setBrush(Qt::NoBrush);
    for (auto [width, alpha] : {std::pair{10.0, 35}, std::pair{6.0, 70}, std::pair{3.0, 130}}) {
        painter.setPen(QPen(withAlpha(alpha), width));
        painter.drawRoundedRect(r, 5, 5);
    }
    painter.setPen(QPen(color, 1.5));
    painter.drawRoundedRect(r, 5, 5);
    // The object's own lines and letters in the highlight color.
    ScenePainter::Selection glow{target.span.first, target.span.count, nullptr, kHighlightColor, 4};
    painter.setOpacity(0.35);
    scenePainter.paintOver(painter, scene, view, glow);
    painter.setOpacity(1);
    ScenePainter::Selection crisp{target.span.first, target.span.count, nullptr, kHighlightColor, 1.2};
    scenePainter.paintOver(painter, scene, view, crisp);
    painter.restore();
}

}  // namespace ddvue::render

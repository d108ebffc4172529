#include "ddvue/render/ScenePainter.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ddvue::render {

namespace {

// Pixel coordinates beyond this are clipped before they reach the painter,
// whose fixed-point rasterizer cannot take arbitrarily large numbers.
constexpr double kSafe = 16384;

// Text smaller than this (its capital height in pixels) is drawn as a
// stroke along its baseline, as CAD viewers do; larger than the second, it
// is left out (nothing of it could be read).
constexpr double kGreekBelow = 2.5;
constexpr double kTooLarge = 1e5;

// A linetype whose pattern repeats within fewer pixels than this is drawn
// solid: its dashes could not be told apart.
constexpr double kFinestDashes = 3;
// A lineweight thinner than this (pixels) is drawn as the thinnest line.
constexpr double kThinnestWeight = 1.5;

// Hatch pattern lines closer together than this (pixels) are shown as a tint.
constexpr double kPatternSpacing = 3;
// The opacity of a tint that stands for a pattern.
constexpr int kLightAlpha = 64;

// Clips a segment to a rectangle (Liang-Barsky); false when nothing is left.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, double l, double t, double r, double b)
{
    double dx = x1 - x0, dy = y1 - y0;
    double u0 = 0, u1 = 1;
    auto edge = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double u = q / p;
        if (p < 0) {
            if (u > u1) return false;
            if (u > u0) u0 = u;
        } else {
            if (u < u0) return false;
            if (u < u1) u1 = u;
        }
        return true;
    };
    if (!edge(-dx, x0 - l) || !edge(dx, r - x0) || !edge(-dy, y0 - t) || !edge(dy, b - y0)) return false;
    double nx0 = x0 + u0 * dx, ny0 = y0 + u0 * dy;
    double nx1 = x0 + u1 * dx, ny1 = y0 + u1 * dy;
    x0 = nx0, y0 = ny0, x1 = nx1, y1 = ny1;
    return true;
}

// Clips a closed ring to a rectangle (Sutherland-Hodgman), edge by edge.
void clipRing(std::vector<QPointF>& ring, double l, double t, double r, double b)
{
    std::vector<QPointF> out;
    auto pass = [&](auto inside, auto cross) {
        if (ring.empty()) return;
        out.clear();
        QPointF prev = ring.back();
        bool prevIn = inside(prev);
        for (const QPointF& cur : ring) {
            bool curIn = inside(cur);
            if (curIn != prevIn) out.push_back(cross(prev, cur));
            if (curIn) out.push_back(cur);
            prev = cur;
            prevIn = curIn;
        }
        ring.swap(out);
    };
    auto atX = [](QPointF a, QPointF c, double x) {
        double u = (x - a.x()) / (c.x() - a.x());
        return QPointF(x, a.y() + u * (c.y() - a.y()));
    };
    auto atY = [](QPointF a, QPointF c, double y) {
        double u = (y - a.y()) / (c.y() - a.y());
        return QPointF(a.x() + u * (c.x() - a.x()), y);
    };
    pass([l](QPointF p) { return p.x() >= l; }, [&](QPointF a, QPointF c) { return atX(a, c, l); });
    pass([r](QPointF p) { return p.x() <= r; }, [&](QPointF a, QPointF c) { return atX(a, c, r); });
    pass([t](QPointF p) { return p.y() >= t; }, [&](QPointF a, QPointF c) { return atY(a, c, t); });
    pass([b](QPointF p) { return p.y() <= b; }, [&](QPointF a, QPointF c) { return atY(a, c, b); });
}

}  // namespace

// One painting of a scene: the state that lives for one paint call.
class ScenePainter::Pass {
public:
    Pass(ScenePainter& owner, QPainter& painter, const Scene& scene, const ViewTransform& view,
         const PaintOptions& options)
        : o_(owner), p_(painter), scene_(scene), view_(view), options_(options), s_(view.scale()),
          cx_(view.center().x()), cy_(view.center().y()), hw_(view.width() / 2.0), hh_(view.height() / 2.0),
          w_(view.width()), h_(view.height()), layers_(scene.layers()), visible_(scene.visibleLayers()),
          hidden_(scene.hiddenChains())
    {
        for (Batch& b : o_.batches_) b.lines.clear(), b.dots.clear();
        o_.pixels_.assign((static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_) + 63) / 64, 0);
        o_.stats_ = Stats{};
    }

    void run();
    // Paints a selection over what is there.
    void runOver(const Selection& selection);
    // Draws what the spatial index finds in q, in the scene's order.
    void drawFound(const Bounds& q);

private:
    double sx(double x) const { return (x - cx_) * s_ + hw_; }
    double sy(double y) const { return hh_ - (y - cy_) * s_; }

    QRgb resolve(std::uint32_t c) const
    {
        if (override_) return override_;
        if (c & color::kLayer) {
            std::uint32_t l = c & ~color::kLayer;
            if (l >= layers_.size() || layers_[l].foreground) return options_.foreground;
            return visible(0xFF000000u | layers_[l].rgb);
        }
        if (c & color::kForeground) return options_.foreground;
        return visible(0xFF000000u | (c & 0xFFFFFFu));
    }

    // A fixed color that is the background's own (a true color black on the
    // dark view, white on paper) would hide what it draws: it is drawn in
    // the foreground color instead, as index 7 is.
    QRgb visible(QRgb c) const { return (c & 0xFFFFFFu) == (options_.background & 0xFFFFFFu) ? options_.foreground : c; }

    QPen pen(QRgb c, double width, bool dashed = false) const
    {
        QPen p(QColor::fromRgb(c), width);
        if (width > 0) p.setCapStyle(dashed ? Qt::FlatCap : Qt::RoundCap);
        return p;
    }

    // The width of a primitive's lines in pixels: its lineweight where the
    // drawing shows lineweights and it is wider than the thinnest line. A
    // selection painted over widens the line by its own width.
    double widthOf(const Primitive& prim) const
    {
        if (prim.line == 0 || prim.line >= scene_.lineStyles().size()) return options_.lineWidth;
        double w = scene_.lineStyles()[prim.line].weight * options_.pixelsPerMm;
        if (!(w >= kThinnestWeight)) return options_.lineWidth;
        return over_ ? options_.lineWidth + w : std::max(w, options_.lineWidth);
    }

    // Lines and dots wait in one batch per color, so that a drawing whose
    // colors alternate still goes to the painter in few calls. Batches are
    // painted before any fill or text, which keeps those in the drawing's
    // order.
    void setColor(QRgb c, double width, bool dashed)
    {
        auto same = [&](int b) {
            const Batch& batch = o_.batches_[static_cast<std::size_t>(b)];
            return batch.color == c && batch.width == width && batch.dashed == dashed;
        };
        if (current_ >= 0 && same(current_)) return;
        for (int b = 0; b < active_; ++b) {
            if (same(b)) {
                current_ = b;
                return;
            }
        }
        if (active_ == kMaxBatches) flush();
        if (static_cast<std::size_t>(active_) == o_.batches_.size()) o_.batches_.emplace_back();
        o_.batches_[static_cast<std::size_t>(active_)].color = c;
        o_.batches_[static_cast<std::size_t>(active_)].width = width;
        o_.batches_[static_cast<std::size_t>(active_)].dashed = dashed;
        current_ = active_++;
    }

    Batch& batch() { return o_.batches_[static_cast<std::size_t>(current_)]; }

    void paintBatch(Batch& b)
    {
        if (b.lines.empty() && b.dots.empty()) return;
        p_.setPen(pen(b.color, b.width, b.dashed));
        if (!b.lines.empty()) p_.drawLines(b.lines.data(), static_cast<int>(b.lines.size()));
        if (!b.dots.empty()) p_.drawPoints(b.dots.data(), static_cast<int>(b.dots.size()));
        b.lines.clear();
        b.dots.clear();
    }

    void flush()
    {
        for (int b = 0; b < active_; ++b) paintBatch(o_.batches_[static_cast<std::size_t>(b)]);
        active_ = 0;
        current_ = -1;
    }

    void dot(double x, double y)
    {
        if (!(x >= 0 && y >= 0 && x < w_ && y < h_)) return;
        auto px = static_cast<std::size_t>(x), py = static_cast<std::size_t>(y);
        std::size_t bit = py * static_cast<std::size_t>(w_) + px;
        std::uint64_t& word = o_.pixels_[bit >> 6];
        std::uint64_t mask = std::uint64_t(1) << (bit & 63);
        if (word & mask) return;
        word |= mask;
        batch().dots.emplace_back(static_cast<int>(px), static_cast<int>(py));
        if (batch().dots.size() >= 8192) paintBatch(batch());
    }

    void segment(double x0, double y0, double x1, double y1)
    {
        const double l = -4, t = -4, r = w_ + 4, b = h_ + 4;
        if (x0 < l || x0 > r || y0 < t || y0 > b || x1 < l || x1 > r || y1 < t || y1 > b) {
            if (!clipSegment(x0, y0, x1, y1, l, t, r, b)) return;
        }
        batch().lines.emplace_back(x0, y0, x1, y1);
        if (batch().lines.size() >= 8192) paintBatch(batch());
    }

    // A run of screen points as connected segments, skipping points that
    // fall on the pixel of the point before.
    void polyline(const QPointF* pts, std::size_t n, bool closed)
    {
        double px = sx(pts[0].x()), py = sy(pts[0].y());
        const double fx = px, fy = py;
        for (std::size_t i = 1; i < n; ++i) {
            double x = sx(pts[i].x()), y = sy(pts[i].y());
            if (i + 1 < n && std::abs(x - px) < 0.7 && std::abs(y - py) < 0.7) continue;
            stroke(px, py, x, y);
            px = x, py = y;
        }
        if (closed) stroke(px, py, fx, fy);
    }

    // Linetypes. The pattern runs on along the segments of one primitive
    // (a polyline's, an arc's) from where the last one left it.
    void startDashes(const Primitive& prim)
    {
        dash_ = nullptr;
        if (prim.line == 0 || prim.line >= scene_.lineStyles().size()) return;
        const LineStyle& style = scene_.lineStyles()[prim.line];
        if (style.pattern.empty() || !(style.period * s_ >= kFinestDashes)) return;
        dash_ = style.pattern.data();
        dashCount_ = style.pattern.size();
        dashPeriod_ = style.period * s_;
        dashAt_ = 0;
        dashDone_ = 0;
    }
    double dashLength(std::size_t i) const { return std::abs(double(dash_[i])) * s_; }

    // Moves the pattern on by `d` pixels without drawing.
    void skipDashes(double d)
    {
        if (!(d > 0)) return;
        d = std::fmod(d, dashPeriod_);
        while (d > 0) {
            double left = dashLength(dashAt_) - dashDone_;
            if (d < left) {
                dashDone_ += d;
                return;
            }
            d -= left;
            dashDone_ = 0;
            dashAt_ = (dashAt_ + 1) % dashCount_;
        }
    }

    // A segment drawn in the current linetype's dashes, gaps and dots.
    void stroke(double x0, double y0, double x1, double y1)
    {
        if (!dash_) {
            segment(x0, y0, x1, y1);
            return;
        }
        const double dx = x1 - x0, dy = y1 - y0, len = std::hypot(dx, dy);
        if (!(len > 0) || !std::isfinite(len)) return;
        // Only the part in sight is walked dash by dash; the rest only moves
        // the pattern on, so a long line seen close up costs what is shown.
        double cx0 = x0, cy0 = y0, cx1 = x1, cy1 = y1;
        if (!clipSegment(cx0, cy0, cx1, cy1, -4, -4, w_ + 4, h_ + 4)) {
            skipDashes(len);
            return;
        }
        const double from = std::hypot(cx0 - x0, cy0 - y0), to = std::hypot(cx1 - x0, cy1 - y0);
        skipDashes(from);
        const double ux = dx / len, uy = dy / len;
        double pos = from;
        // Each pass ends an element or the segment; the bound only guards
        // against lengths that rounding keeps from adding up.
        std::size_t guard = static_cast<std::size_t>((to - from) / dashPeriod_ + 2) * (dashCount_ + 1) * 2;
        while (pos < to && guard-- > 0) {
            const double length = dashLength(dashAt_);
            if (length < 1e-6) {
                // A dot: drawn where the walk reaches it.
                dot(x0 + ux * pos, y0 + uy * pos);
                dashAt_ = (dashAt_ + 1) % dashCount_;
                dashDone_ = 0;
                continue;
            }
            const double step = std::min(length - dashDone_, to - pos);
            if (dash_[dashAt_] > 0)
                segment(x0 + ux * pos, y0 + uy * pos, x0 + ux * (pos + step), y0 + uy * (pos + step));
            pos += step;
            dashDone_ += step;
            if (dashDone_ >= length) {
                dashDone_ = 0;
                dashAt_ = (dashAt_ + 1) % dashCount_;
            }
        }
        skipDashes(len - to);
    }

    void line(const Primitive& prim);
    void fill(const Primitive& prim, QRgb c);
    void fillRings(const Primitive& prim, QRgb c, std::uint32_t first, std::uint32_t count, int alpha);
    void pattern(const Primitive& prim, QRgb c);
    void arc(const Primitive& prim);
    void text(const Primitive& prim, QRgb c);
    void draw(const Primitive& prim);
    // Clips the painter to the clip of primitive `id`, or stops clipping.
    void clipTo(std::size_t id);

    ScenePainter& o_;
    QPainter& p_;
    const Scene& scene_;
    const ViewTransform& view_;
    const PaintOptions& options_;
    const double s_, cx_, cy_, hw_, hh_;
    const float* dash_ = nullptr;  // the pattern of the primitive being drawn, or none
    std::size_t dashCount_ = 0;
    double dashPeriod_ = 0;        // pixels
    std::size_t dashAt_ = 0;       // the element the pattern stands in
    double dashDone_ = 0;          // pixels of that element already walked
    bool over_ = false;            // painting a selection over the picture
    std::size_t clipAt_ = 0;                 // the first of the scene's clips not yet passed
    const Scene::Clip* clip_ = nullptr;      // the clip in force
    const int w_, h_;
    const std::vector<SceneLayer>& layers_;
    const std::vector<char>& visible_;
    const std::vector<char>& hidden_;
    static constexpr int kMaxBatches = 64;
    int active_ = 0;    // batches in use
    int current_ = -1;  // the batch of the current color
    QRgb override_ = 0;                        // the one color of a selection
    const std::vector<char>* layerMask_ = nullptr;  // the layers a selection takes
    double qx0_ = 0, qy0_ = 0, qx1_ = 0, qy1_ = 0;
};

void ScenePainter::Pass::line(const Primitive& prim)
{
    const QPointF* pts = scene_.points().data() + prim.data;
    stroke(sx(pts[0].x()), sy(pts[0].y()), sx(pts[1].x()), sy(pts[1].y()));
}

void ScenePainter::Pass::fill(const Primitive& prim, QRgb c)
{
    fillRings(prim, c, prim.data, prim.count, (prim.flags & Primitive::Light) ? kLightAlpha : 255);
}

void ScenePainter::Pass::fillRings(const Primitive& prim, QRgb c, std::uint32_t first, std::uint32_t count, int alpha)
{
    flush();
    const QPointF* pts = scene_.points().data() + first;
    bool huge = (double(prim.x1) - prim.x0) * s_ > kSafe || (double(prim.y1) - prim.y0) * s_ > kSafe;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    std::vector<QPointF>& ring = o_.scratch_;
    ring.clear();
    auto close = [&] {
        if (huge) clipRing(ring, -8, -8, w_ + 8, h_ + 8);
        if (ring.size() >= 3) {
            ring.push_back(ring.front());
            path.addPolygon(QPolygonF(QList<QPointF>(ring.begin(), ring.end())));
        }
        ring.clear();
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        if (std::isnan(pts[i].x())) {
            close();
            continue;
        }
        ring.emplace_back(sx(pts[i].x()), sy(pts[i].y()));
    }
    close();
    if (path.isEmpty()) return;
    QColor fillColor = QColor::fromRgb(c);
    fillColor.setAlpha(alpha);
    if (prim.flags & Primitive::Outlined) p_.setPen(pen(c, options_.lineWidth));
    else p_.setPen(Qt::NoPen);
    p_.setBrush(fillColor);
    p_.drawPath(path);
    p_.setBrush(Qt::NoBrush);
}

void ScenePainter::Pass::pattern(const Primitive& prim, QRgb c)
{
    const QPointF* pts = scene_.points().data() + prim.data;
    const double spacing = pts[0].x();
    const auto ringPoints = static_cast<std::uint32_t>(pts[0].y());
    const std::uint32_t lines = prim.count - 1 - ringPoints;
    // Lines closer than this many pixels make no pattern a reader could
    // tell apart: a tint shows the area instead.
    if (spacing * s_ < kPatternSpacing || lines == 0) {
        // As dense as the lines would cover the area: one-pixel lines n
        // pixels apart cover about 1/n of it.
        int alpha = lines == 0 ? kLightAlpha : static_cast<int>(255 / std::max(1.0, spacing * s_));
        fillRings(prim, c, prim.data + 1, ringPoints, std::max(alpha, kLightAlpha));
        return;
    }
    const QPointF* seg = pts + 1 + ringPoints;
    for (std::uint32_t i = 0; i + 1 < lines; i += 2) {
        double x0 = sx(seg[i].x()), y0 = sy(seg[i].y()), x1 = sx(seg[i + 1].x()), y1 = sy(seg[i + 1].y());
        if (std::abs(x1 - x0) < 0.5 && std::abs(y1 - y0) < 0.5) {
            dot(x0, y0);
        } else {
            segment(x0, y0, x1, y1);
        }
    }
}

void ScenePainter::Pass::arc(const Primitive& prim)
{
    const ArcData& a = scene_.arcs()[prim.data];
    const QTransform& m = a.toWorld;
    // The ellipse in pixels: (cos t, sin t) -> u cos t + v sin t + c.
    double ux = m.m11() * s_, uy = -m.m12() * s_;
    double vx = m.m21() * s_, vy = -m.m22() * s_;
    double cx = sx(m.dx()), cy = sy(m.dy());
    double radius = std::max(std::hypot(ux, uy), std::hypot(vx, vy));
    // Enough segments that no chord strays more than a quarter pixel.
    double step = radius > 0.25 ? 2 * std::acos(1 - 0.25 / radius) : 1.0;
    double sweep = a.t1 - a.t0;
    int n = static_cast<int>(std::ceil(sweep / std::max(step, 1e-4)));
    n = std::clamp(n, 2, 4096);
    double px = cx + ux * std::cos(a.t0) + vx * std::sin(a.t0);
    double py = cy + uy * std::cos(a.t0) + vy * std::sin(a.t0);
    for (int i = 1; i <= n; ++i) {
        double t = a.t0 + sweep * i / n;
        double c = std::cos(t), sn = std::sin(t);
        double x = cx + ux * c + vx * sn, y = cy + uy * c + vy * sn;
        stroke(px, py, x, y);
        px = x, py = y;
    }
}

void ScenePainter::Pass::text(const Primitive& prim, QRgb c)
{
    const TextData& t = scene_.texts()[prim.data];
    QTransform m = t.toWorld * view_.worldToScreen();
    double capPixels = t.capHeight * std::hypot(m.m21(), m.m22());
    if (capPixels < kGreekBelow) {
        // Too small to read: a stroke where the text stands.
        QPointF a = m.map(QPointF(0, -t.capHeight / 2));
        QPointF b = m.map(QPointF(t.advance, -t.capHeight / 2));
        segment(a.x(), a.y(), b.x(), b.y());
        return;
    }
    if (capPixels > kTooLarge) return;
    flush();
    p_.save();
    p_.setTransform(m);
    p_.setPen(QColor::fromRgb(c));
    p_.setRenderHint(QPainter::Antialiasing, true);
    for (const QGlyphRun& run : o_.glyphs(scene_, prim.data)) p_.drawGlyphRun(QPointF(0, 0), run);
    p_.restore();
}

void ScenePainter::Pass::clipTo(std::size_t id)
{
    // Primitives come in the scene's order: the clip they fall in, if any,
    // is the first not ended before them.
    const std::vector<Scene::Clip>& clips = scene_.clips();
    while (clipAt_ < clips.size() && clips[clipAt_].end <= id) ++clipAt_;
    const Scene::Clip* clip = clipAt_ < clips.size() && clips[clipAt_].first <= id ? &clips[clipAt_] : nullptr;
    if (clip == clip_) return;
    flush();
    clip_ = clip;
    if (!clip) {
        p_.setClipping(false);
        return;
    }
    const QPointF a(sx(clip->box.x0), sy(clip->box.y1)), b(sx(clip->box.x1), sy(clip->box.y0));
    p_.setClipRect(QRectF(a, b).intersected(QRectF(-8, -8, w_ + 16, h_ + 16)));
}

void ScenePainter::Pass::draw(const Primitive& prim)
{
    if (prim.dead()) return;
    if (prim.x1 < qx0_ || prim.x0 > qx1_ || prim.y1 < qy0_ || prim.y0 > qy1_) return;
    if (!scene_.clips().empty()) clipTo(static_cast<std::size_t>(&prim - scene_.primitives().data()));
    if (prim.layer < visible_.size() && !visible_[prim.layer]) return;
    if (prim.chain < hidden_.size() && hidden_[prim.chain]) return;
    if (layerMask_ && (prim.layer >= layerMask_->size() || !(*layerMask_)[prim.layer])) return;
    ++o_.stats_.considered;
    QRgb c = resolve(prim.color);
    const double width = widthOf(prim);
    // Smaller than a pixel: one dot.
    double bw = (double(prim.x1) - prim.x0) * s_, bh = (double(prim.y1) - prim.y0) * s_;
    if (bw < 1 && bh < 1) {
        setColor(c, width, false);
        ++o_.stats_.dots;
        dot(sx((double(prim.x0) + prim.x1) / 2), sy((double(prim.y0) + prim.y1) / 2));
        return;
    }
    ++o_.stats_.drawn;
    startDashes(prim);
    setColor(c, width, dash_ != nullptr && width > 0);
    switch (prim.type) {
    case PrimitiveType::Line: line(prim); break;
    case PrimitiveType::Polyline:
        polyline(scene_.points().data() + prim.data, prim.count, prim.flags & Primitive::Closed);
        break;
    case PrimitiveType::Fill: fill(prim, c); break;
    case PrimitiveType::Dot: {
        const QPointF& pt = scene_.points()[prim.data];
        dot(sx(pt.x()), sy(pt.y()));
        break;
    }
    case PrimitiveType::Arc: arc(prim); break;
    case PrimitiveType::Text: text(prim, c); break;
    case PrimitiveType::Pattern: pattern(prim, c); break;
    }
}

void ScenePainter::Pass::run()
{
    p_.save();
    p_.resetTransform();
    p_.setClipping(false);
    p_.fillRect(QRectF(0, 0, w_, h_), QColor::fromRgb(options_.background));
    if (w_ <= 0 || h_ <= 0 || scene_.liveCount() == 0) {
        p_.restore();
        return;
    }
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setBrush(Qt::NoBrush);

    Bounds q = view_.visibleWorld(2);
    qx0_ = q.x0, qy0_ = q.y0, qx1_ = q.x1, qy1_ = q.y1;
    const SpatialIndex& index = scene_.index();
    const std::vector<Primitive>& prims = scene_.primitives();
    if (index.covers(q.x0, q.y0, q.x1, q.y1)) {
        for (const Primitive& prim : prims) draw(prim);
    } else {
        drawFound(q);
    }
    flush();
    p_.restore();
}

void ScenePainter::Pass::drawFound(const Bounds& q)
{
    // Mark what the index offers, then paint the marks in the scene's
    // order, which is the drawing's.
    const std::vector<Primitive>& prims = scene_.primitives();
    std::vector<std::uint64_t>& marks = o_.marks_;
    marks.assign((prims.size() + 63) / 64, 0);
    scene_.index().query(q.x0, q.y0, q.x1, q.y1,
                         [&marks](std::uint32_t id) { marks[id >> 6] |= std::uint64_t(1) << (id & 63); });
    for (std::size_t w = 0; w < marks.size(); ++w) {
        std::uint64_t bits = marks[w];
        while (bits) {
            int b = __builtin_ctzll(bits);
            bits &= bits - 1;
            draw(prims[w * 64 + static_cast<std::size_t>(b)]);
        }
    }
}

void ScenePainter::Pass::runOver(const Selection& selection)
{
    if (w_ <= 0 || h_ <= 0 || scene_.liveCount() == 0) return;
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setBrush(Qt::NoBrush);
    over_ = true;
    override_ = selection.color ? (0xFF000000u | selection.color) : 0;
    Bounds q = view_.visibleWorld(2 + selection.lineWidth);
    qx0_ = q.x0, qy0_ = q.y0, qx1_ = q.x1, qy1_ = q.y1;
    const std::vector<Primitive>& prims = scene_.primitives();
    if (selection.count > 0) {
        const std::size_t end = std::min<std::size_t>(prims.size(), std::size_t(selection.first) + selection.count);
        for (std::size_t i = selection.first; i < end; ++i) draw(prims[i]);
    } else if (selection.layers) {
        layerMask_ = selection.layers;
        drawFound(q);
    }
    flush();
    p_.restore();
}

void ScenePainter::paintOver(QPainter& painter, const Scene& scene, const ViewTransform& view,
                             const Selection& selection)
{
    PaintOptions options;
    options.lineWidth = selection.lineWidth;
    const Stats kept = stats_;  // the figures stay those of the last whole paint
    Pass(*this, painter, scene, view, options).runOver(selection);
    stats_ = kept;
}

const QList<QGlyphRun>& ScenePainter::glyphs(const Scene& scene, std::uint32_t text)
{
    if (glyphScene_ != scene.generation()) {
        glyphScene_ = scene.generation();
        glyphs_.clear();
        made_.clear();
        byShape_.clear();
    }
    // A scene only adds texts until it is cleared.
    if (glyphs_.size() < scene.texts().size()) {
        glyphs_.resize(scene.texts().size());
        made_.resize(scene.texts().size(), 0);
    }
    if (!made_[text]) {
        const ShapedText* shaped = scene.texts()[text].shaped.get();
        auto it = byShape_.constFind(shaped);
        if (it == byShape_.cend()) it = byShape_.insert(shaped, fonts_.glyphRuns(*shaped));
        glyphs_[text] = *it;
        made_[text] = 1;
    }
    return glyphs_[text];
}

void ScenePainter::paint(QPainter& painter, const Scene& scene, const ViewTransform& view, const PaintOptions& options)
{
    Pass(*this, painter, scene, view, options).run();
}

}  // namespace ddvue::render

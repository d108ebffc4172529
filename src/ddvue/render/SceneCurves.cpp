// SceneBuilder: splines, hatches, leaders, image frames, multi-lines and meshes.
#include "ddvue/render/SceneBuilderParts.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace ddvue::render {

namespace {

// Pieces of pattern line one hatch may have; a denser pattern shows as a tint.
constexpr std::size_t kMaxPatternPieces = 200'000;

// Joins the edges of a boundary into one outline. Drawings do not always
// list edges head to tail or all in one direction: the outline grows at
// either end by the edge with an end nearest to it, turned round when need
// be. (Past a few thousand edges, the nearest is looked for among the next
// few only.)
std::vector<QPointF> chainEdges(std::vector<std::vector<QPointF>>& parts)
{
    std::deque<QPointF> ring;
    if (parts.empty()) return {};
    Bounds b;
    for (const auto& p : parts)
        for (const QPointF& q : p) b.add(q.x(), q.y());
    const double tolerance = std::max(b.width(), b.height()) * 1e-5 + 1e-9;
    auto distance = [](QPointF a, QPointF c) { return std::abs(a.x() - c.x()) + std::abs(a.y() - c.y()); };
    const std::size_t n = parts.size();
    const std::size_t window = n > 2000 ? 64 : n;
    std::vector<char> used(n, 0);
    ring.assign(parts[0].begin(), parts[0].end());
    used[0] = 1;
    std::size_t firstUnused = 1;
    for (std::size_t k = 1; k < n; ++k) {
        while (firstUnused < n && used[firstUnused]) ++firstUnused;
        std::size_t pick = firstUnused;
        bool atBack = true, reverse = false;
        double best = -1;
        for (std::size_t j = firstUnused, seen = 0; j < n && seen < window; ++j) {
            if (used[j]) continue;
            ++seen;
            const std::vector<QPointF>& p = parts[j];
            const double d[4] = {distance(p.front(), ring.back()), distance(p.back(), ring.back()),
                                 distance(p.back(), ring.front()), distance(p.front(), ring.front())};
            for (int c = 0; c < 4; ++c) {
                if (best >= 0 && d[c] >= best) continue;
                best = d[c];
                pick = j;
                atBack = c < 2;
                reverse = c == 1 || c == 3;
            }
            if (best <= tolerance) break;
        }
        used[pick] = 1;
        std::vector<QPointF>& part = parts[pick];
        if (reverse) std::reverse(part.begin(), part.end());
        if (atBack) {
            if (distance(part.front(), ring.back()) <= tolerance) ring.pop_back();
            ring.insert(ring.end(), part.begin(), part.end());
        } else {
            if (distance(part.back(), ring.front()) <= tolerance) ring.pop_front();
            ring.insert(ring.begin(), part.begin(), part.end());
        }
    }
    return std::vector<QPointF>(ring.begin(), ring.end());
}

// Reads a HATCH's groups in order: its boundary paths follow the path count,
// each a polyline or a run of edges, then the pattern's lines.
class HatchReader {
public:
    using H = def::Hatch;
    explicit HatchReader(const dxf::View<H>& v) : v_(v)
    {
        // The hatch's own part, where its paths and pattern stand.
        v.forEachOf<dxf::sub::AcDbHatch>([&](std::uint32_t i, int) {
            if (i_ == 0) i_ = i;
            n_ = i + 1;
        });
    }

    // The boundary paths as closed outlines of three points or more.
    std::vector<std::vector<QPointF>> boundaries()
    {
        std::vector<std::vector<QPointF>> rings;
        if (!seek(H::pathCount.code, {})) return rings;
        long paths = integer();
        for (long pi = 0; pi < paths && i_ < n_; ++pi) {
            if (!seek(H::pathType.code, {H::style.code, H::patternType.code})) break;
            long type = integer();
            std::vector<QPointF> ring = (type & H::kPolylinePath) ? polylinePath() : edgePath();
            if (ring.size() >= 3) rings.push_back(std::move(ring));
        }
        return rings;
    }

    // A pattern's lines, as the drawing stores them (already turned and
    // scaled): angle, base point, offset, dashes.
    std::vector<PatternLine> patternLines()
    {
        std::vector<PatternLine> lines;
        if (!seek(H::patternLineCount.code, {})) return lines;
        long count = integer();
        for (long k = 0; k < count && i_ < n_; ++k) {
            if (!seek(H::lineAngle.code, {H::seedCount.code, H::gradient.code})) break;
            PatternLine line;
            line.angle = real() * kDeg;
            line.base = pointHere(H::lineBaseX.code, H::lineBaseY.code);
            line.offset = pointHere(H::lineOffsetX.code, H::lineOffsetY.code);
            long dashes = at(H::dashCount) ? integer() : 0;
            for (long dsh = 0; dsh < dashes && at(H::dash); ++dsh) line.dashes.push_back(real());
            lines.push_back(std::move(line));
        }
        return lines;
    }

private:
    template <class A>
    bool at(const A& a) const
    {
        return i_ < n_ && v_.code(i_) == a.code;
    }
    // Moves to the next group with `code` before any of `stops`; false when none.
    bool seek(int code, std::initializer_list<int> stops)
    {
        for (; i_ < n_; ++i_) {
            int c = v_.code(i_);
            if (c == code) return true;
            for (int st : stops)
                if (c == st) return false;
        }
        return false;
    }
    double real() { return i_ < n_ ? v_.real(i_++) : 0.0; }
    std::int64_t integer() { return i_ < n_ ? v_.integer(i_++) : 0; }
    QPointF pointHere(int xCode, int yCode)
    {
        QPointF p;
        if (i_ < n_ && v_.code(i_) == xCode) p.setX(real());
        if (i_ < n_ && v_.code(i_) == yCode) p.setY(real());
        return p;
    }
    template <class S>
    QPointF pointHere(const dxf::Point2Attr<S>& a)
    {
        return pointHere(a.code, a.y());
    }

    std::vector<QPointF> polylinePath()
    {
        bool bulges = at(H::hasBulge) ? integer() != 0 : false;
        if (at(H::isClosed)) integer();
        long count = at(H::pathItems) ? integer() : 0;
        std::vector<std::pair<QPointF, double>> vs;  // point, bulge
        for (long k = 0; k < count && i_ < n_; ++k) {
            if (!seek(H::pathVertex.code, {H::pathType.code, H::sourceCount.code, H::style.code})) break;
            QPointF p = pointHere(H::pathVertex);
            vs.emplace_back(p, bulges && at(H::bulge) ? real() : 0.0);
        }
        std::vector<QPointF> ring;
        if (!vs.empty()) {
            ring.push_back(vs[0].first);
            for (std::size_t k = 0; k < vs.size(); ++k)
                appendBulge(ring, vs[k].first, vs[(k + 1) % vs.size()].first, vs[k].second);
        }
        return ring;
    }

    std::vector<QPointF> edgePath()
    {
        long edges = at(H::pathItems) ? integer() : 0;
        std::vector<std::vector<QPointF>> parts;
        for (long e = 0; e < edges && i_ < n_; ++e) {
            if (!seek(H::edgeType.code, {H::pathType.code, H::sourceCount.code, H::style.code})) break;
            long et = integer();
            std::vector<QPointF> part;
            if (et == H::kLineEdge) {
                part.push_back(pointHere(H::edgePoint));
                part.push_back(pointHere(H::edgePoint2));
            } else if (et == H::kArcEdge || et == H::kEllipseEdge) {
                part = arcEdge(et == H::kEllipseEdge);
            } else if (et == H::kSplineEdge) {
                part = splineEdge();
            }
            if (!part.empty()) parts.push_back(std::move(part));
        }
        return chainEdges(parts);
    }

    std::vector<QPointF> arcEdge(bool elliptic)
    {
        std::vector<QPointF> part;
        QPointF c = pointHere(H::edgePoint);
        QPointF major = elliptic ? pointHere(H::edgePoint2) : QPointF();
        double r = at(H::radius) ? real() : 0;  // the minor axis' ratio for an ellipse
        double a0 = at(H::startAngle) ? real() : 0, a1 = at(H::endAngle) ? real() : 360;
        bool ccw = at(H::ccw) ? integer() != 0 : true;
        QTransform unit = !elliptic ? QTransform(r, 0, 0, r, c.x(), c.y())
                                    : QTransform(major.x(), major.y(), -major.y() * r, major.x() * r, c.x(), c.y());
        // Clockwise edges keep their angles mirrored.
        double t0 = (ccw ? a0 : 360 - a1) * kDeg, t1 = (ccw ? a1 : 360 - a0) * kDeg;
        normalizeSweep(t0, t1);
        appendEllipse(part, unit, t0, t1);
        if (!ccw) std::reverse(part.begin(), part.end());
        return part;
    }

    std::vector<QPointF> splineEdge()
    {
        int degree = at(H::splineDegree) ? static_cast<int>(integer()) : 3;
        if (at(H::rational)) integer();
        if (at(H::periodic)) integer();
        long nk = at(H::knotCount) ? integer() : 0, nc = at(H::controlCount) ? integer() : 0;
        std::vector<double> knots, weights;
        std::vector<QPointF> controls, fit;
        for (long k = 0; k < nk && at(H::knot); ++k) knots.push_back(real());
        for (long k = 0; k < nc && at(H::control); ++k) {
            controls.push_back(pointHere(H::control));
            if (at(H::weight)) weights.push_back(real());
        }
        while (at(H::weight)) weights.push_back(real());
        if (at(H::fitCount)) {
            long nf = integer();
            for (long k = 0; k < nf && at(H::fit); ++k) fit.push_back(pointHere(H::fit));
        }
        return controls.size() >= 2 ? evaluateSpline(degree, knots, controls, weights, false) : curveThrough(fit, false);
    }

    const dxf::View<H>& v_;
    std::uint32_t i_ = 0;
    std::uint32_t n_ = 0;
};

}  // namespace

void SceneBuilder::spline(const Context& ctx, const View<def::Spline>& v)
{
    using S = def::Spline;
    std::vector<double> knots, weights;
    v.forEachOf<dxf::sub::AcDbSpline>([&](std::uint32_t i, int c) {
        if (c == S::knot.code) knots.push_back(v.real(i));
        else if (c == S::weight.code) weights.push_back(v.real(i));
    });
    std::vector<QPointF> controls = repeatedPoints(v, S::control), fit = repeatedPoints(v, S::fit);
    bool closed = v.flag(S::flags, S::kClosed);
    std::vector<QPointF> pts;
    if (controls.size() >= 2) pts = evaluateSpline(static_cast<int>(v.get(S::degree)), knots, controls, weights, closed);
    else pts = curveThrough(fit, closed);
    scene_.addPolyline(mapped(pts, ctx.m), false, style_);
}

void SceneBuilder::hatch(const Context& ctx, const View<def::Hatch>& v)
{
    const Scene::Style s = style_;
    HatchReader r(v);
    Vec3 elevation = vec(v.get(def::Hatch::elevation));
    bool solid = v.get(def::Hatch::solid) == 1;
    std::vector<std::vector<QPointF>> rings = r.boundaries();
    if (rings.empty()) return;
    QTransform m = ocsToWorld(extrusionOf(v), elevation.z) * ctx.m;

    std::vector<PatternLine> lines;
    if (!solid) lines = r.patternLines();
    std::vector<QPointF> segments;
    double spacing = 0;
    if (!lines.empty() && hatchPattern(rings, lines, kMaxPatternPieces, segments, spacing)) {
        double scale = std::sqrt(std::abs(m.determinant()));
        for (auto& ring : rings) ring = mapped(ring, m);
        scene_.addPattern(rings, mapped(segments, m), spacing * scale, s);
        return;
    }
    for (auto& ring : rings) ring = mapped(ring, m);
    scene_.addFill(rings, s, !solid, false);
}

void SceneBuilder::leader(const Context& ctx, const View<def::Leader>& v)
{
    const Scene::Style s = style_;
    std::vector<QPointF> pts = repeatedPoints(v, def::Leader::vertex);
    if (pts.size() < 2) return;
    scene_.addPolyline(mapped(pts, ctx.m), false, s);
    if (v.get(def::Leader::arrowhead) == 0) return;
    // A closed filled arrowhead at the first point, as the drawing's
    // dimension settings size it.
    const dxf::Document& doc = *ctx.doc;
    auto header = [&](const auto& var) {
        double value = dxf::headerReal(doc, var);
        return std::isfinite(value) && value > 0 ? value : var.value.fallback;
    };
    double size = header(dxf::def::header::dimAsz) * header(dxf::def::header::dimScale);
    QPointF tip = pts[0], d = pts[1] - pts[0];
    double len = std::hypot(d.x(), d.y());
    if (!(len > 2 * size)) return;
    d /= len;
    QPointF back = tip + d * size, side(-d.y() * size / 6, d.x() * size / 6);
    scene_.addFill({mapped({tip, back + side, back - side}, ctx.m)}, s, false, true);
}

void SceneBuilder::imageFrame(const Context& ctx, const View<def::Image>& v)
{
    QPointF origin = pointOf(v, def::Image::origin), u = pointOf(v, def::Image::uPixel), w = pointOf(v, def::Image::vPixel);
    QPointF size = pointOf(v, def::Image::size);
    double width = size.x(), height = size.y();
    std::vector<QPointF> boundary = repeatedPoints(v, def::Image::clipVertex);
    std::vector<QPointF> frame;
    if (boundary.size() >= 2) {
        // Clip boundary points count pixels from the image's top left corner.
        if (boundary.size() == 2) {
            QPointF a = boundary[0], b = boundary[1];
            boundary = {a, QPointF(b.x(), a.y()), b, QPointF(a.x(), b.y())};
        }
        QPointF corner = origin + u * 0.5 - w * 0.5;
        for (const QPointF& p : boundary) frame.push_back(corner + u * p.x() + w * (height - p.y()));
    } else {
        frame = {origin, origin + u * width, origin + u * width + w * height, origin + w * height};
    }
    if (frame.size() > 1 && frame.front() == frame.back()) frame.pop_back();
    scene_.addPolyline(mapped(frame, ctx.m), true, style_);
}

void SceneBuilder::mline(const Context& ctx, const View<def::MLine>& v)
{
    // Each vertex gives its miter direction and, per line of the style, the
    // offset along it.
    struct MVertex {
        QPointF at, miter;
        std::vector<double> offsets;
    };
    std::vector<MVertex> vs;
    int expect = 0;  // parameters left for the current line
    bool first = true;
    using L = def::MLine;
    v.forEachOf<dxf::sub::AcDbMline>([&](std::uint32_t i, int c) {
        if (c == L::vertex.code) {
            vs.push_back(MVertex{QPointF(v.real(i), 0), QPointF(), {}});
        } else if (vs.empty()) {
            return;
        } else if (c == L::vertex.y()) {
            vs.back().at.setY(v.real(i));
        } else if (c == L::miter.code) {
            vs.back().miter.setX(v.real(i));
        } else if (c == L::miter.y()) {
            vs.back().miter.setY(v.real(i));
        } else if (c == L::paramCount.code) {
            expect = static_cast<int>(v.integer(i));
            first = true;
        } else if (c == L::param.code && expect > 0) {
            if (first) vs.back().offsets.push_back(v.real(i));
            first = false;
            --expect;
        }
    });
    if (vs.size() < 2) return;
    std::size_t lines = vs[0].offsets.size();
    bool closed = v.flag(L::flags, L::kClosed);
    for (std::size_t k = 0; k < lines; ++k) {
        std::vector<QPointF> pts;
        for (const MVertex& mv : vs)
            if (k < mv.offsets.size()) pts.push_back(mv.at + mv.miter * mv.offsets[k]);
        scene_.addPolyline(mapped(pts, ctx.m), closed, style_);
    }
}

void SceneBuilder::mesh(const Context& ctx, const View<def::Mesh>& v)
{
    // The vertices after their count; the faces after the face list's size,
    // as runs of "count, index...".
    std::vector<QPointF> points;
    std::vector<long> faces;
    int section = 0;
    using M = def::Mesh;
    v.forEachOf<dxf::sub::AcDbSubDMesh>([&](std::uint32_t i, int c) {
        if (c == M::vertexCount.code) section = 1;
        else if (c == M::faceListSize.code) section = 2;
        else if (c == M::edgeCount.code || c == M::creaseCount.code) section = 3;
        else if (section == 1 && c == M::vertex.code) points.emplace_back(v.real(i), 0);
        else if (section == 1 && c == M::vertex.y() && !points.empty()) points.back().setY(v.real(i));
        else if (section == 2 && c == M::faceItem.code) faces.push_back(static_cast<long>(v.integer(i)));
    });
    std::vector<QPointF> world = mapped(points, ctx.m);
    for (std::size_t f = 0; f < faces.size();) {
        long count = faces[f++];
        if (count <= 0 || f + static_cast<std::size_t>(count) > faces.size()) break;
        std::vector<QPointF> ring;
        for (long k = 0; k < count; ++k) {
            long idx = faces[f + static_cast<std::size_t>(k)];
            if (idx >= 0 && static_cast<std::size_t>(idx) < world.size()) ring.push_back(world[static_cast<std::size_t>(idx)]);
        }
        f += static_cast<std::size_t>(count);
        if (ring.size() >= 2) scene_.addPolyline(ring, true, style_);
    }
}

}  // namespace ddvue::render

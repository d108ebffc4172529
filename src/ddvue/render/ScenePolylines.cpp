// SceneBuilder: light-weight and old-style polylines, polyface and polygon meshes.
#include "ddvue/render/SceneBuilderParts.h"

#include <cmath>

namespace ddvue::render {

void SceneBuilder::polyline2d(const std::vector<Vertex>& vs, bool closed, const QTransform& m)
{
    if (vs.empty()) return;
    const Scene::Style s = style_;
    const std::size_t n = vs.size();
    const std::size_t segments = closed ? n : n - 1;
    std::vector<QPointF> line{vs[0].p};
    bool wide = false;
    for (std::size_t i = 0; i < segments; ++i) {
        const Vertex& a = vs[i];
        const Vertex& b = vs[(i + 1) % n];
        appendBulge(line, a.p, b.p, a.bulge);
        wide = wide || a.startWidth > 0 || a.endWidth > 0;
    }
    if (closed && line.size() > 1 && line.back() == line.front()) line.pop_back();
    if (n == 1) {
        scene_.addDot(m.map(vs[0].p), s);
        return;
    }
    scene_.addPolyline(mapped(line, m), closed, s);
    if (!wide) return;

    // Width: each segment a band around its centre line, as wide as its
    // vertex says at the start and at the end; where two bands meet at an
    // angle, the wedges between their corners close the gap.
    QPointF lastLeft, lastRight, lastDir;
    double lastWidth = 0;
    bool haveLast = false;
    for (std::size_t i = 0; i < segments; ++i) {
        const Vertex& a = vs[i];
        const Vertex& b = vs[(i + 1) % n];
        if ((!(a.startWidth > 0) && !(a.endWidth > 0)) || a.p == b.p) {
            haveLast = false;
            continue;
        }
        std::vector<QPointF> centre{a.p};
        appendBulge(centre, a.p, b.p, a.bulge);
        // The direction at each centre point, for the band's edges.
        std::vector<QPointF> left, right;
        const std::size_t k = centre.size();
        for (std::size_t j = 0; j < k; ++j) {
            QPointF d = j + 1 < k ? centre[j + 1] - centre[j] : centre[j] - centre[j - 1];
            if (j > 0 && j + 1 < k) d = centre[j + 1] - centre[j - 1];
            double len = std::hypot(d.x(), d.y());
            if (!(len > 0)) continue;
            QPointF normal(-d.y() / len, d.x() / len);
            double t = k > 1 ? double(j) / double(k - 1) : 0;
            double half = (a.startWidth + (a.endWidth - a.startWidth) * t) / 2;
            left.push_back(centre[j] + normal * half);
            right.push_back(centre[j] - normal * half);
        }
        if (left.size() < 2) {
            haveLast = false;
            continue;
        }
        std::vector<QPointF> ring(left.begin(), left.end());
        ring.insert(ring.end(), right.rbegin(), right.rend());
        scene_.addFill({mapped(ring, m)}, s, false, false);
        if (haveLast) {
            // The outer edges of the two bands meet in a point (a miter), as
            // far out as ten times the width; beyond that the corner is cut.
            auto corner = [&](QPointF endPrev, QPointF dirPrev, QPointF startNext, QPointF dirNext) {
                double det = dirPrev.x() * dirNext.y() - dirPrev.y() * dirNext.x();
                std::vector<QPointF> wedge{a.p, endPrev};
                if (std::abs(det) > 1e-12) {
                    QPointF d = startNext - endPrev;
                    double t = (d.x() * dirNext.y() - d.y() * dirNext.x()) / det;
                    QPointF tip = endPrev + dirPrev * t;
                    double reach = std::hypot(tip.x() - a.p.x(), tip.y() - a.p.y());
                    double limit = 10 * std::max(a.startWidth, lastWidth);
                    if (std::isfinite(reach) && reach <= limit) wedge.push_back(tip);
                }
                wedge.push_back(startNext);
                scene_.addFill({mapped(wedge, m)}, s, false, false);
            };
            corner(lastLeft, lastDir, left.front(), left[1] - left[0]);
            corner(lastRight, lastDir, right.front(), right[1] - right[0]);
        }
        lastLeft = left.back();
        lastRight = right.back();
        lastDir = left.back() - left[left.size() - 2];
        lastWidth = a.endWidth;
        haveLast = true;
    }
}

void SceneBuilder::lwpolyline(const Context& ctx, const View<def::LwPolyline>& v)
{
    using L = def::LwPolyline;
    std::vector<Vertex> vs;
    double constant = v.get(L::constantWidth);
    v.forEachOf<dxf::sub::AcDbPolyline>([&](std::uint32_t i, int c) {
        if (c == L::vertex.code) {
            vs.push_back(Vertex{QPointF(v.real(i), 0), 0, constant, constant});
            return;
        }
        if (vs.empty()) return;
        if (c == L::vertex.y()) vs.back().p.setY(v.real(i));
        else if (c == L::startWidth.code) vs.back().startWidth = v.real(i);
        else if (c == L::endWidth.code) vs.back().endWidth = v.real(i);
        else if (c == L::bulge.code) vs.back().bulge = v.real(i);
    });
    bool closed = v.flag(L::flags, L::kClosed);
    QTransform m = ocsToWorld(extrusionOf(v), v.get(L::elevation)) * ctx.m;
    polyline2d(vs, closed, m);
}

void SceneBuilder::polyline(const Context& ctx, std::uint32_t record, const View<def::Polyline>& v)
{
    using P = def::Polyline;
    using V = def::Vertex;
    const dxf::Document& doc = *ctx.doc;
    const Scene::Style s = style_;
    int flags = static_cast<int>(v.get(P::flags));
    std::vector<View<V>> vertices;
    for (std::uint32_t c : dxf::verticesOf(doc, record))
        if (auto vx = View<V>::of(doc, c)) vertices.push_back(*vx);
    if (flags & P::kPolyface) return polyfaceMesh(ctx, vertices);
    if (flags & P::k3dMesh) return polygonMesh(ctx, v, vertices);
    bool closed = flags & P::kClosed;
    if (flags & P::k3dPolyline) {
        // A 3D polyline, in world coordinates; a spline's frame points are
        // not part of the curve.
        std::vector<QPointF> points;
        for (const auto& vx : vertices)
            if (!vx.flag(V::flags, V::kSplineFrame)) points.push_back(ctx.m.map(pointOf(vx, V::location)));
        scene_.addPolyline(points, closed, s);
        return;
    }
    double startWidth = v.get(P::startWidth), endWidth = v.get(P::endWidth);
    std::vector<Vertex> vs;
    for (const auto& vx : vertices) {
        if (vx.flag(V::flags, V::kSplineFrame)) continue;
        // A vertex without its own widths takes the polyline's.
        vs.push_back(Vertex{pointOf(vx, V::location), vx.get(V::bulge), vx.get(V::startWidth, startWidth),
                            vx.get(V::endWidth, endWidth)});
    }
    QTransform m = ocsToWorld(extrusionOf(v), v.get(P::elevation).z) * ctx.m;
    polyline2d(vs, closed, m);
}

void SceneBuilder::polyfaceMesh(const Context& ctx, const std::vector<View<def::Vertex>>& vertices)
{
    // Vertices, then faces that number them (a negative number hides the
    // edge that starts there).
    using V = def::Vertex;
    const Scene::Style s = style_;
    auto isVertex = [](const View<V>& vx) {
        return vx.flag(V::flags, V::kPolyfaceVertex) && vx.flag(V::flags, V::kMeshVertex);
    };
    std::vector<QPointF> points;
    for (const auto& vx : vertices)
        if (isVertex(vx)) points.push_back(ctx.m.map(pointOf(vx, V::location)));
    for (const auto& vx : vertices) {
        if (!vx.flag(V::flags, V::kPolyfaceVertex) || isVertex(vx)) continue;
        int idx[4];
        int count = 0;
        for (const dxf::IntAttr<dxf::sub::VertexKind>& corner : {V::face0, V::face1, V::face2, V::face3}) {
            int k = static_cast<int>(vx.get(corner));
            if (k != 0) idx[count++] = k;
        }
        for (int e = 0; e < count; ++e) {
            int a = idx[e], b = idx[(e + 1) % count];
            if (a < 0) continue;
            auto ia = static_cast<std::size_t>(std::abs(a) - 1), ib = static_cast<std::size_t>(std::abs(b) - 1);
            if (ia < points.size() && ib < points.size()) scene_.addLine(points[ia], points[ib], s);
        }
    }
}

void SceneBuilder::polygonMesh(const Context& ctx, const View<def::Polyline>& v,
                               const std::vector<View<def::Vertex>>& vertices)
{
    // m rows of n vertices, each row and column a line.
    using P = def::Polyline;
    const Scene::Style s = style_;
    int flags = static_cast<int>(v.get(P::flags));
    long mCount = v.get(P::meshRows), nCount = v.get(P::meshColumns);
    std::vector<QPointF> points;
    for (const auto& vx : vertices) points.push_back(ctx.m.map(pointOf(vx, def::Vertex::location)));
    if (mCount <= 0 || nCount <= 0 || static_cast<std::size_t>(mCount * nCount) > points.size()) {
        scene_.addPolyline(points, false, s);
        return;
    }
    for (long i = 0; i < mCount; ++i) {
        std::vector<QPointF> row(points.begin() + i * nCount, points.begin() + (i + 1) * nCount);
        scene_.addPolyline(row, flags & P::kMeshClosedN, s);
    }
    for (long j = 0; j < nCount; ++j) {
        std::vector<QPointF> col;
        for (long i = 0; i < mCount; ++i) col.push_back(points[static_cast<std::size_t>(i * nCount + j)]);
        scene_.addPolyline(col, flags & P::kClosed, s);
    }
}

}  // namespace ddvue::render

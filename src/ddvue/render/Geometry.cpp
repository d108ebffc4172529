#include "ddvue/render/Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ddvue::render {

namespace {

constexpr double kPi = 3.141592653589793;

// Segments for an arc of `sweep` radians: one every 4 degrees, at least one.
int arcSegments(double sweep, int most = 90)
{
    int n = static_cast<int>(std::ceil(std::abs(sweep) / (kPi / 45)));
    return std::clamp(n, 1, most);
}

}  // namespace

QTransform ocsToWorld(const Vec3& extrusion, double elevation)
{
    Ocs o = ocsOf(extrusion);
    return QTransform(o.ax.x, o.ax.y, o.ay.x, o.ay.y, elevation * o.az.x, elevation * o.az.y);
}

bool bulgeArc(QPointF a, QPointF b, double bulge, QPointF& center, double& radius, double& start, double& sweep)
{
    if (!(std::abs(bulge) > 1e-9) || !std::isfinite(bulge)) return false;
    double dx = (b.x() - a.x()) / 2, dy = (b.y() - a.y()) / 2;
    if (dx == 0 && dy == 0) return false;
    // The centre stands off the chord's middle, to the left for a positive
    // bulge under a half circle.
    double k = (1 - bulge * bulge) / (2 * bulge);
    center = QPointF(a.x() + dx - dy * k, a.y() + dy + dx * k);
    radius = std::hypot(a.x() - center.x(), a.y() - center.y());
    start = std::atan2(a.y() - center.y(), a.x() - center.x());
    sweep = 4 * std::atan(bulge);
    return std::isfinite(radius) && std::isfinite(center.x()) && std::isfinite(center.y());
}

void appendBulge(std::vector<QPointF>& out, QPointF a, QPointF b, double bulge)
{
    QPointF c;
    double r = 0, start = 0, sweep = 0;
    if (bulgeArc(a, b, bulge, c, r, start, sweep)) {
        int n = arcSegments(sweep);
        for (int i = 1; i < n; ++i) {
            double t = start + sweep * i / n;
            out.emplace_back(c.x() + r * std::cos(t), c.y() + r * std::sin(t));
        }
    }
    out.push_back(b);
}

void appendEllipse(std::vector<QPointF>& out, const QTransform& map, double t0, double t1)
{
    int n = arcSegments(t1 - t0, 360);
    for (int i = 0; i <= n; ++i) {
        double t = t0 + (t1 - t0) * i / n;
        out.push_back(map.map(QPointF(std::cos(t), std::sin(t))));
    }
}

std::vector<QPointF> evaluateSpline(int degree, std::vector<double> knots, const std::vector<QPointF>& controls,
                                    const std::vector<double>& weights, bool closed)
{
    std::vector<QPointF> out;
    const int n = static_cast<int>(controls.size());
    if (n < 2) return controls;
    int p = std::clamp(degree, 1, std::min(n - 1, 11));
    bool knotsOk = static_cast<int>(knots.size()) == n + p + 1;
    for (std::size_t i = 1; knotsOk && i < knots.size(); ++i)
        if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i])) knotsOk = false;
    if (knotsOk && !(knots[static_cast<std::size_t>(n)] > knots[static_cast<std::size_t>(p)])) knotsOk = false;
    if (!knotsOk) {
        knots.assign(static_cast<std::size_t>(n + p + 1), 0);
        for (int i = 0; i <= n + p; ++i)
            knots[static_cast<std::size_t>(i)] = std::clamp(i - p, 0, n - p);
    }
    const bool rational = weights.size() == controls.size();
    const double u0 = knots[static_cast<std::size_t>(p)], u1 = knots[static_cast<std::size_t>(n)];
    const int samples = std::clamp((n - p + 1) * 10, 16, 4000);
    std::vector<double> wx(static_cast<std::size_t>(p + 1)), wy(wx.size()), ww(wx.size());
    int span = p;
    for (int s = 0; s <= samples; ++s) {
        double u = u0 + (u1 - u0) * s / samples;
        while (span < n - 1 && u >= knots[static_cast<std::size_t>(span + 1)]) ++span;
        // de Boor's algorithm on homogeneous points.
        for (int j = 0; j <= p; ++j) {
            const QPointF& c = controls[static_cast<std::size_t>(span - p + j)];
            double w = rational ? weights[static_cast<std::size_t>(span - p + j)] : 1.0;
            if (!(w > 0)) w = 1;
            wx[static_cast<std::size_t>(j)] = c.x() * w;
            wy[static_cast<std::size_t>(j)] = c.y() * w;
            ww[static_cast<std::size_t>(j)] = w;
        }
        for (int r = 1; r <= p; ++r) {
            for (int j = p; j >= r; --j) {
                int i = span - p + j;
                double lo = knots[static_cast<std::size_t>(i)], hi = knots[static_cast<std::size_t>(i + p - r + 1)];
                double a = hi > lo ? (u - lo) / (hi - lo) : 0;
                auto J = static_cast<std::size_t>(j);
                wx[J] = (1 - a) * wx[J - 1] + a * wx[J];
                wy[J] = (1 - a) * wy[J - 1] + a * wy[J];
                ww[J] = (1 - a) * ww[J - 1] + a * ww[J];
            }
        }
        auto P = static_cast<std::size_t>(p);
        double w = ww[P] != 0 ? ww[P] : 1;
        out.emplace_back(wx[P] / w, wy[P] / w);
    }
    if (closed && !out.empty() && out.front() != out.back()) out.push_back(out.front());
    return out;
}

std::vector<QPointF> curveThrough(const std::vector<QPointF>& fit, bool closed)
{
    const std::size_t n = fit.size();
    if (n < 3) return fit;
    std::vector<QPointF> out;
    auto at = [&](long i) {
        if (closed) return fit[static_cast<std::size_t>((i % long(n) + long(n)) % long(n))];
        return fit[static_cast<std::size_t>(std::clamp(i, 0L, long(n) - 1))];
    };
    const long segments = closed ? long(n) : long(n) - 1;
    const int steps = 12;
    out.push_back(fit[0]);
    for (long i = 0; i < segments; ++i) {
        QPointF p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
        if (!closed && i == 0) p0 = p1 - (p2 - p1);
        if (!closed && i == segments - 1) p3 = p2 + (p2 - p1);
        auto dist = [](QPointF a, QPointF b) { return std::max(std::sqrt(std::hypot(b.x() - a.x(), b.y() - a.y())), 1e-12); };
        double t0 = 0, t1 = t0 + dist(p0, p1), t2 = t1 + dist(p1, p2), t3 = t2 + dist(p2, p3);
        for (int s = 1; s <= steps; ++s) {
            double t = t1 + (t2 - t1) * s / steps;
            QPointF a1 = p0 * ((t1 - t) / (t1 - t0)) + p1 * ((t - t0) / (t1 - t0));
            QPointF a2 = p1 * ((t2 - t) / (t2 - t1)) + p2 * ((t - t1) / (t2 - t1));
            QPointF a3 = p2 * ((t3 - t) / (t3 - t2)) + p3 * ((t - t2) / (t3 - t2));
            QPointF b1 = a1 * ((t2 - t) / (t2 - t0)) + a2 * ((t - t0) / (t2 - t0));
            QPointF b2 = a2 * ((t3 - t) / (t3 - t1)) + a3 * ((t - t1) / (t3 - t1));
            out.push_back(b1 * ((t2 - t) / (t2 - t1)) + b2 * ((t - t1) / (t2 - t1)));
        }
    }
    return out;
}

bool hatchPattern(const std::vector<std::vector<QPointF>>& rings, const std::vector<PatternLine>& lines,
                  std::size_t limit, std::vector<QPointF>& out, double& spacing)
{
    const std::size_t start = out.size();
    auto give_up = [&] {
        out.resize(start);
        return false;
    };
    std::vector<std::pair<QPointF, QPointF>> edges;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    for (const auto& ring : rings) {
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const QPointF& p = ring[i];
            edges.emplace_back(p, ring[(i + 1) % ring.size()]);
            if (!any) x0 = x1 = p.x(), y0 = y1 = p.y(), any = true;
            x0 = std::min(x0, p.x()), x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y()), y1 = std::max(y1, p.y());
        }
    }
    if (!any) return false;
    const double size = std::max(x1 - x0, y1 - y0);
    auto cross = [](QPointF a, QPointF b) { return a.x() * b.y() - a.y() * b.x(); };
    spacing = std::numeric_limits<double>::infinity();
    std::vector<double> ts;
    for (const PatternLine& line : lines) {
        const QPointF d(std::cos(line.angle), std::sin(line.angle));
        const QPointF n(-d.y(), d.x());
        const double step = n.x() * line.offset.x() + n.y() * line.offset.y();
        if (!(std::abs(step) > size * 1e-9) || !std::isfinite(step)) continue;
        spacing = std::min(spacing, std::abs(step));
        // The multiples of the offset whose lines cross the boundary's box.
        double kmin = std::numeric_limits<double>::infinity(), kmax = -kmin;
        for (QPointF c : {QPointF(x0, y0), QPointF(x1, y0), QPointF(x0, y1), QPointF(x1, y1)}) {
            double k = (n.x() * (c.x() - line.base.x()) + n.y() * (c.y() - line.base.y())) / step;
            kmin = std::min(kmin, k), kmax = std::max(kmax, k);
        }
        const double count = std::floor(kmax) - std::ceil(kmin) + 1;
        if (count * static_cast<double>(edges.size()) > 2e7 || count > static_cast<double>(limit)) return give_up();
        double period = 0;
        for (double dash : line.dashes) period += std::abs(dash);
        const bool dashed = !line.dashes.empty() && period > size * 1e-9;
        for (double k = std::ceil(kmin); k <= kmax; ++k) {
            const QPointF q = line.base + line.offset * k;
            // Where the line crosses the boundary: an edge counts when its
            // ends lie on different sides (one strictly to the left).
            ts.clear();
            for (const auto& [a, b] : edges) {
                double sa = cross(d, a - q), sb = cross(d, b - q);
                if ((sa > 0) == (sb > 0)) continue;
                QPointF e = b - a;
                double denom = cross(d, e);
                if (denom == 0) continue;
                ts.push_back(cross(a - q, e) / denom);
            }
            std::sort(ts.begin(), ts.end());
            for (std::size_t i = 0; i + 1 < ts.size(); i += 2) {
                const double ta = ts[i], tb = ts[i + 1];
                if (!dashed) {
                    out.push_back(q + d * ta);
                    out.push_back(q + d * tb);
                } else {
                    // The dashes repeat from the line's own origin.
                    double pos = std::floor(ta / period) * period;
                    while (pos <= tb) {
                        for (double dash : line.dashes) {
                            double end = pos + std::abs(dash);
                            if (dash > 0) {
                                double s0 = std::max(pos, ta), s1 = std::min(end, tb);
                                if (s0 < s1) {
                                    out.push_back(q + d * s0);
                                    out.push_back(q + d * s1);
                                }
                            } else if (dash == 0 && pos >= ta && pos <= tb) {
                                out.push_back(q + d * pos);
                                out.push_back(q + d * pos);
                            }
                            pos = end;
                            if (pos > tb) break;
                        }
                        if (out.size() - start > 2 * limit) return give_up();
                    }
                }
                if (out.size() - start > 2 * limit) return give_up();
            }
        }
    }
    return std::isfinite(spacing);
}

}  // namespace ddvue::render

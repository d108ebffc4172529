#include "ddvue/dxf/Ocs.h"

#include <cmath>

namespace ddvue::dxf {

Point3 cross(const Point3& a, const Point3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double length(const Point3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Point3 normalized(const Point3& v)
{
    const double l = length(v);
    if (!(l > 0) || !std::isfinite(l)) return {0, 0, 1};
    return {v.x / l, v.y / l, v.z / l};
}

Ocs ocsOf(const Point3& extrusion)
{
    Ocs o;
    const Point3 n = normalized(extrusion);
    if (std::abs(n.x) < 1e-12 && std::abs(n.y) < 1e-12 && n.z > 0) return o;
    o.az = n;
    if (std::abs(n.x) < 1.0 / 64 && std::abs(n.y) < 1.0 / 64) o.ax = normalized(cross({0, 1, 0}, n));
    else o.ax = normalized(cross({0, 0, 1}, n));
    o.ay = normalized(cross(n, o.ax));
    return o;
}

Point3 Ocs::toWorld(const Point3& p) const
{
    return {p.x * ax.x + p.y * ay.x + p.z * az.x, p.x * ax.y + p.y * ay.y + p.z * az.y,
            p.x * ax.z + p.y * ay.z + p.z * az.z};
}

Point3 Ocs::fromWorld(const Point3& p) const
{
    // The axes are orthonormal: the inverse is the transpose.
    return {p.x * ax.x + p.y * ax.y + p.z * ax.z, p.x * ay.x + p.y * ay.y + p.z * ay.z,
            p.x * az.x + p.y * az.y + p.z * az.z};
}

Point3 Placement::direction(const Point3& v) const
{
    return {v.x * ux.x + v.y * uy.x + v.z * uz.x, v.x * ux.y + v.y * uy.y + v.z * uz.y,
            v.x * ux.z + v.y * uy.z + v.z * uz.z};
}

Point3 Placement::point(const Point3& p) const
{
    const Point3 d = direction(p);
    return {d.x + origin.x, d.y + origin.y, d.z + origin.z};
}

Placement blockPlacement(const Point3& insert, const Point3& scale, double rotationDegrees, const Point3& extrusion,
                         const Point3& base)
{
    const Ocs o = ocsOf(extrusion);
    const double r = rotationDegrees * 3.141592653589793 / 180;
    const double c = std::cos(r), s = std::sin(r);
    auto axis = [&](double along, double across, double k) {
        return Point3{k * (along * o.ax.x + across * o.ay.x), k * (along * o.ax.y + across * o.ay.y),
                      k * (along * o.ax.z + across * o.ay.z)};
    };
    Placement m;
    m.ux = axis(c, s, scale.x);
    m.uy = axis(-s, c, scale.y);
    m.uz = {o.az.x * scale.z, o.az.y * scale.z, o.az.z * scale.z};
    const Point3 at = o.toWorld(insert), shift = m.direction(base);
    m.origin = {at.x - shift.x, at.y - shift.y, at.z - shift.z};
    return m;
}

}  // namespace ddvue::dxf

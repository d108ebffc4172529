#pragma once
// The geometry that turns entities into points: object coordinate systems
// (entities drawn in a plane given by their extrusion direction), polyline
// bulges, splines, elliptical arcs.

#include "ddvue/dxf/Ocs.h"

#include <QPointF>
#include <QTransform>

#include <vector>

namespace ddvue::render {

// Vectors and object coordinate systems are the drawing component's
// (dxf/Ocs.h).
using Vec3 = dxf::Point3;
using dxf::cross;
using dxf::normalized;
using dxf::Ocs;
using dxf::ocsOf;

// Maps an object coordinate system's (x, y) at height `elevation` to the
// world's (x, y) as seen from above.
QTransform ocsToWorld(const Vec3& extrusion, double elevation = 0);

// Appends the points of the polyline segment from a to b, whose bulge is
// tan(included angle / 4) (positive: counter-clockwise), after a: the arc's
// inner points, then b.
void appendBulge(std::vector<QPointF>& out, QPointF a, QPointF b, double bulge);
// The arc of a bulge: its centre, radius, start angle and signed sweep.
// False for a straight segment.
bool bulgeArc(QPointF a, QPointF b, double bulge, QPointF& center, double& radius, double& start, double& sweep);

// Points along a B-spline (rational when `weights` is not empty). Knots that
// do not fit the control points are replaced by clamped uniform ones.
std::vector<QPointF> evaluateSpline(int degree, std::vector<double> knots, const std::vector<QPointF>& controls,
                                    const std::vector<double>& weights, bool closed);
// A smooth curve through fit points (centripetal Catmull-Rom).
std::vector<QPointF> curveThrough(const std::vector<QPointF>& fit, bool closed);

// Points on an ellipse arc, map(cos t, sin t) for t from t0 to t1, enough
// of them to look round at the ellipse's size.
void appendEllipse(std::vector<QPointF>& out, const QTransform& map, double t0, double t1);

// One line family of a hatch pattern: lines at `angle` (radians) through
// `base`, repeated at every multiple of `offset`, drawn with `dashes`
// (positive a dash, negative a gap, zero a dot; none: continuous).
struct PatternLine {
    double angle = 0;
    QPointF base, offset;
    std::vector<double> dashes;
};

// The pieces of a hatch pattern's lines inside `rings` (even-odd), appended
// to `out` as pairs of points (a dot as a pair of equal points); `spacing`
// becomes the smallest distance between two lines of a family. False, with
// `out` as it was, when the pattern would need more than `limit` pieces.
bool hatchPattern(const std::vector<std::vector<QPointF>>& rings, const std::vector<PatternLine>& lines,
                  std::size_t limit, std::vector<QPointF>& out, double& spacing);

}  // namespace ddvue::render

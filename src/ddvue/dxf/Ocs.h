#pragma once
// Object coordinate systems and the placement of a block's contents: the
// geometry that both drawing a drawing and editing it need.

#include "ddvue/dxf/Entity.h"

namespace ddvue::dxf {

Point3 cross(const Point3& a, const Point3& b);
// The vector scaled to length 1; the world z axis for a null vector.
Point3 normalized(const Point3& v);
double length(const Point3& v);

// The axes of the object coordinate system of an extrusion direction, by
// the arbitrary axis rule: x runs along world y x N when N lies close to the
// world z axis, else along world z x N.
struct Ocs {
    Point3 ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};
    Point3 toWorld(const Point3& p) const;
    Point3 fromWorld(const Point3& p) const;
};
Ocs ocsOf(const Point3& extrusion);

// A map of points: origin + x ux + y uy + z uz.
struct Placement {
    Point3 ux{1, 0, 0}, uy{0, 1, 0}, uz{0, 0, 1}, origin{};
    Point3 point(const Point3& p) const;
    Point3 direction(const Point3& v) const;
};
// Where a block reference puts its block's contents: the block's base point
// to the insertion point, scaled, rotated (degrees) about the reference's
// extrusion direction, in the reference's object coordinate system.
Placement blockPlacement(const Point3& insert, const Point3& scale, double rotationDegrees, const Point3& extrusion,
                         const Point3& base);

}  // namespace ddvue::dxf

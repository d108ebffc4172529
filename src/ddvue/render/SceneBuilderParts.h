#pragma once
// What the pieces of SceneBuilder (SceneBuilder.cpp, SceneText.cpp,
// ScenePolylines.cpp, SceneCurves.cpp) share: the context an entity is built
// in, and small conversions from the entity layer's values to the scene's.

#include "ddvue/dxf/Entities.h"
#include "ddvue/render/Geometry.h"
#include "ddvue/render/Palette.h"
#include "ddvue/render/SceneBuilder.h"

#include <QTransform>

#include <vector>

namespace ddvue::render {

namespace def = dxf::def;

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;

inline QPointF xy(const dxf::Point3& p) { return {p.x, p.y}; }
inline Vec3 vec(const dxf::Point3& p) { return {p.x, p.y, p.z}; }
template <class T, class A>
QPointF pointOf(const dxf::View<T>& v, const A& a)
{
    return xy(v.get(a));
}
// The normal of the plane an entity lies in, as its type declares it.
template <class T>
Vec3 extrusionOf(const dxf::View<T>& v)
{
    return vec(v.get(T::extrusion));
}

inline std::vector<QPointF> mapped(const std::vector<QPointF>& pts, const QTransform& m)
{
    std::vector<QPointF> out;
    out.reserve(pts.size());
    for (const QPointF& p : pts) out.push_back(m.map(p));
    return out;
}

// A transform that maps the x axis to `dir` and the y axis to `up`, with
// the origin at `at`.
inline QTransform frameOf(QPointF at, QPointF dir, QPointF up)
{
    return QTransform(dir.x(), dir.y(), up.x(), up.y(), at.x(), at.y());
}

// The angles t0..t1 of an arc, t1 after t0 by at most a full turn.
inline void normalizeSweep(double t0, double& t1)
{
    while (t1 <= t0) t1 += 2 * kPi;
    if (t1 - t0 > 2 * kPi) t1 = t0 + 2 * kPi;
}

// Reads the points of a repeated point attribute, in order.
template <class T, class A>
std::vector<QPointF> repeatedPoints(const dxf::View<T>& v, const A& a)
{
    std::vector<QPointF> pts;
    v.template forEachOf<typename dxf::SubclassOf<A>::type>([&](std::uint32_t i, int c) {
        if (c == a.code) pts.emplace_back(v.real(i), 0);
        else if (c == a.y() && !pts.empty()) pts.back().setY(v.real(i));
    });
    return pts;
}

// What an entity inherits from the block references it stands in.
struct SceneBuilder::Context {
    const dxf::Document* doc;
    QTransform m;                      // the entity's coordinates to the world's
    std::uint32_t layer = UINT32_MAX;  // the reference's layer, for entities on layer 0
    std::uint32_t color = color::kForeground;  // the reference's color, for entities colored by block
    std::uint32_t chain = 0;
    int depth = 0;
    std::string xrefName;  // the external reference being drawn, or ""
    bool paperSpace = false;
    std::vector<std::pair<const dxf::Document*, std::uint32_t>>* stack = nullptr;  // blocks being expanded
    bool dimension = false;  // inside a dimension's block, whose points mark where it was measured
    LineLook byBlock;        // the reference's linetype and lineweight, for lines drawn by block
    double viewportScale = 1;  // paper units per model unit, within a paper layout's viewport
};

}  // namespace ddvue::render

#pragma once
// The primitive records of a scene and the box arithmetic around them.

#include <QRgb>

#include <cstdint>

namespace ddvue::render {

// An axis-aligned box in world coordinates; empty until a point is added.
struct Bounds {
    double x0 = 1, y0 = 1, x1 = 0, y1 = 0;

    bool isEmpty() const { return x0 > x1 || y0 > y1; }
    void add(double x, double y)
    {
        if (isEmpty()) {
            x0 = x1 = x;
            y0 = y1 = y;
            return;
        }
        if (x < x0) x0 = x;
        if (x > x1) x1 = x;
        if (y < y0) y0 = y;
        if (y > y1) y1 = y;
    }
    void add(const Bounds& b)
    {
        if (b.isEmpty()) return;
        add(b.x0, b.y0);
        add(b.x1, b.y1);
    }
    double width() const { return isEmpty() ? 0 : x1 - x0; }
    double height() const { return isEmpty() ? 0 : y1 - y0; }
};

// A primitive's color: a fixed color, the foreground color (index 7, white
// on the dark screen and black on paper), or its layer's color.
namespace color {
constexpr std::uint32_t kFixed = 0x01000000u;
constexpr std::uint32_t kForeground = 0x02000000u;
constexpr std::uint32_t kLayer = 0x80000000u;
inline std::uint32_t fixed(QRgb rgb) { return kFixed | (rgb & 0xFFFFFFu); }
inline std::uint32_t ofLayer(std::uint32_t layer) { return kLayer | layer; }
}  // namespace color

// Pattern: a hatch pattern's lines within its boundary. Its points are a
// header (the spacing of the pattern's lines, the number of boundary points),
// the boundary rings as a Fill holds them, then the lines' ends in pairs.
enum class PrimitiveType : std::uint8_t { Line, Polyline, Fill, Dot, Arc, Text, Pattern };

struct Primitive {
    float x0, y0, x1, y1;  // world bounds, rounded outward
    std::uint32_t data;    // first point, or the arc's or the text's index
    std::uint32_t count;   // number of points
    std::uint32_t color;   // see namespace color
    std::uint32_t layer;   // the layer whose display state and color apply
    std::uint32_t chain;   // the layers of the block references around it
    PrimitiveType type;
    std::uint8_t flags;
    std::uint16_t line;    // the scene's line style: its dash pattern and weight (0 solid, thinnest)

    enum Flag : std::uint8_t {
        Closed = 1,    // Polyline: back to the first point
        Light = 2,     // Fill: a pattern shown as a light tint
        Dead = 4,      // removed by an edit
        Outlined = 8,  // Fill: its outline drawn too, so a thin fill never vanishes
    };
    bool dead() const { return flags & Dead; }
};

}  // namespace ddvue::render

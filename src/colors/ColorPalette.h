#pragma once
// The color picker's three palettes: which color number a position in a
// palette picture stands for, which color each number shows, and the
// pictures themselves, drawn at run time.
//
// Positions are in twips within the picture (15 to a pixel). Every bound is
// strict: a position on a cell's edge belongs to no cell, so a click there
// chooses nothing.
//
//   Full      numbers 10 to 249: 24 columns by 10 rows. Column c (1 to 24)
//             spans 239 + 204(c-1) < x < 406 + 204(c-1); the rows from the
//             top give 10c + 8, 6, 4, 2, 0, then 1, 3, 5, 7, 9.
//   Gray      numbers 250 to 255, one row; Standard numbers 1 to 9, one row.
//             Cell i spans 209 + 291(i-1) < x < 466 + 291(i-1), 299 < y < 586.

#include "platform/Twips.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <vector>

namespace colors {

enum class Palette { Full, Gray, Standard };

constexpr int TwipsPerPixel = platform::kTwipsPerPixel;

// A cell: its color number and its open bounds in twips.
struct Cell {
    int number;
    int left, top, right, bottom;  // left < x < right, top < y < bottom
    bool contains(int x, int y) const { return left < x && x < right && top < y && y < bottom; }
};

// The cells of a palette, in the order they are tested.
const std::vector<Cell>& cells(Palette palette);
// The color number at (x, y) twips in a palette's picture; 0 for none.
int colorAt(Palette palette, int x, int y);
// The color shown for a number from 1 to 255 (black for others).
QColor colorOf(int number);

// The size of a palette's picture, in pixels.
QSize pictureSize(Palette palette);
// A palette's picture: every pixel whose twip position lies inside a cell
// shows the cell's color; the cells are framed. With `chosen`, that cell's
// frame is drawn so that it stands out.
QImage paintPalette(Palette palette, int chosen = 0);

}  // namespace colors

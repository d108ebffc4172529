#pragma once
// The AutoCAD color index: the 255 colors an entity's or layer's color number names.

#include <QRgb>

namespace ddvue::render {

// The color of an index 1..255 on a dark background. Index 7 is white here;
// painters swap it for black on a light background. Out-of-range indexes
// come back as white.
QRgb aciColor(int index);

}  // namespace ddvue::render

#pragma once
// Turns what the DWG reader process reports about a drawing (its JSON
// document) into a complete ASCII DXF of the same drawing: header, classes,
// tables, blocks, entities and the objects that hold the layouts, with the
// DWG's own handles. The engine then reads these bytes as it reads any DXF.

#include "ddvue/dwg/DwgJson.h"

#include <QJsonObject>

#include <cstdint>
#include <string>

namespace ddvue::dwg {

struct DxfFromDwg {
    std::string dxf;
    int skippedEntities = 0;  // entities of types that could not be brought across
    std::string version;      // the DWG's version string (AC1014, AC1032, ...)
};

// The DXF version written for a DWG of the given version: the DWG's own from
// 2000 on, 2000 (AC1015) for older drawings.
std::string dxfVersionFor(const std::string& dwgVersion);

DxfFromDwg writeDxfFromDwg(const JsonObject& drawing);
// The same from a document made with Qt's JSON classes.
DxfFromDwg writeDxfFromDwg(const QJsonObject& drawing);

// The AutoCAD colour index (1 to 255) nearest to a 0xRRGGBB colour, as CAD
// programs give it to layers and entities that carry a true colour.
int nearestColorIndex(std::uint32_t rgb);

}  // namespace ddvue::dwg

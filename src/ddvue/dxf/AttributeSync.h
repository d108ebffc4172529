#pragma once
// Block references brought in line with their blocks' attribute
// definitions: a reference gets an attribute for each definition it lacks
// (with the definition's default value, placed as the definition says and
// carried along by the reference's position, scale, rotation and extrusion),
// and, when asked, loses the attributes whose definition is gone. Values a
// reference has are kept. Each change is an edit of the document (one
// operation in Operations.h undoes it whole).

#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Ocs.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace ddvue::dxf {

struct SyncCounts {
    std::size_t references = 0;  // block references changed
    std::size_t added = 0;       // attributes added
    std::size_t removed = 0;     // attributes removed
};

// Why the attributes of `block`'s references cannot be synchronized, or ""
// when they can; an empty name stands for every block, which always can.
std::string syncRefusal(const Document& doc, std::string_view block);
// Synchronizes the references of `block` (of every block that defines
// attributes, when empty). False, changing nothing, when syncRefusal says
// why not.
bool syncAttributes(Document& doc, std::string_view block, bool removeOrphaned, SyncCounts* counts = nullptr);

// Where a text (an attribute definition's text) stands once a placement
// (a block reference's) carries it along: its insertion and alignment
// points and extrusion direction, its height, width factor, rotation and
// obliquing angle.
struct TextPlacement {
    Point3 insert, align, extrusion{0, 0, 1};
    double height = 0, width = 1, rotation = 0, oblique = 0;
};
TextPlacement placeText(const TextPlacement& text, const Placement& by);

}  // namespace ddvue::dxf

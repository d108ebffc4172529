#pragma once
// Layers renamed, merged into one another and made, with every reference to
// them kept right: entities in every block, the layer's own entry, $CLAYER,
// the layer states and layer filters the drawing stores, the layer index,
// layer names in extended data, and, on a merge, the viewports that freeze
// the layer. Names follow the rules of the drawing's version and compare
// without regard to letter case. Each change is an edit of the document
// (one operation in Operations.h undoes it whole).

#include "ddvue/dxf/Document.h"

#include <optional>
#include <string>
#include <string_view>

namespace ddvue::dxf {

// Why `name` cannot name a layer in this drawing, or "" when it can. Before
// 2000 a name has at most 31 letters, digits and the characters $ - _ (and
// is stored in upper case); from 2000 on (unless $EXTNAMES says otherwise)
// at most 255 characters, none of < > / \ " : ; ? * | = ` nor a control
// character, and not only spaces.
std::string layerNameProblem(const Document& doc, std::string_view name);
// The name as the drawing stores it: in upper case before 2000.
std::string storedLayerName(const Document& doc, std::string_view name);

// Why layer `layer` (an index into doc.layers()) cannot be renamed to
// `name`, or "" when it can: layers 0 and Defpoints keep their names, a
// layer of an external reference its own, and no other layer may have the
// name already.
std::string renameRefusal(const Document& doc, std::uint32_t layer, std::string_view name);
// Renames the layer and every reference to it. False, changing nothing,
// when renameRefusal says why not.
bool renameLayer(Document& doc, std::uint32_t layer, std::string_view name);

// Why layer `from` cannot be merged into layer `into`, or "" when it can.
std::string mergeRefusal(const Document& doc, std::uint32_t from, std::uint32_t into);
// Moves everything on `from` to `into`, makes every reference to `from`
// one to `into`, and deletes `from` with what it owns. False, changing
// nothing, when mergeRefusal says why not.
bool mergeLayer(Document& doc, std::uint32_t from, std::uint32_t into);

// Makes a layer (color 7, on, as layer 0 is otherwise) at the end of the
// layer table; its index in doc.layers(). Nothing, with `why` set, when the
// name is not allowed or taken, or the drawing has no layer table.
std::optional<std::uint32_t> addLayer(Document& doc, std::string_view name, std::string& why);

}  // namespace ddvue::dxf

#pragma once
// What the engine reads and changes in entities and layers, in DXF terms:
// the values of texts and attributes, colors, a layer's on/off state, and
// the removal of entities. Each change touches only the groups it must.

#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entity.h"

#include <optional>
#include <string>

namespace ddvue::dxf {

// A TEXT's, ATTRIB's or ATTDEF's value, or an MTEXT's whole text (its
// chunks and final piece, joined), as stored, decoded to UTF-8. A multi-line
// attribute's value is the whole text of its embedded multi-line text.
std::string entityText(const Document& doc, std::uint32_t record);
// The same of an ATTRIB read already (its tag, say), through the same view.
std::string entityText(const Document& doc, const View<def::Attrib>& attrib);
std::string attributeTag(const Document& doc, std::uint32_t record);
std::string entityLayer(const Document& doc, std::uint32_t record);

struct LayerState {
    int color = 7;      // 1..255 (the magnitude of the layer's color number)
    bool on = true;     // the color number not negative
    bool frozen = false;
    bool locked = false;
    std::optional<std::uint32_t> trueColor;  // 0xRRGGBB, the layer's true color
};
LayerState layerState(const Document& doc, std::uint32_t layerIndex);

// Changes. Each returns false, changing nothing, when the record is not of a
// kind the change applies to or the value is out of range.
bool setAttributeValue(Document& doc, std::uint32_t record, const std::string& utf8);
bool setTextValue(Document& doc, std::uint32_t record, const std::string& utf8);
bool setEntityColor(Document& doc, std::uint32_t record, int color);  // 0 ByBlock .. 256 ByLayer
bool setLayerDisplay(Document& doc, std::uint32_t layerIndex, bool on);
bool setLayerColor(Document& doc, std::uint32_t layerIndex, int color);  // 1..255
// Deletes a graphical entity with what belongs to it (an INSERT's ATTRIBs, a
// POLYLINE's VERTEXes, their SEQEND). One ATTRIB alone can be deleted; its
// INSERT stays valid.
bool deleteEntity(Document& doc, std::uint32_t record);

// Splits encoded text into pieces of at most `limit` bytes without cutting a
// character or a \U+XXXX escape; used for MTEXT's 250-byte chunks.
std::vector<std::string> splitChunks(const Document& doc, const std::string& utf8, std::size_t limit = def::MText::kChunkBytes);
// The same for text written with `codec`.
std::vector<std::string> splitChunks(const TextCodec& codec, const std::string& utf8, std::size_t limit = def::MText::kChunkBytes);

}  // namespace ddvue::dxf

// Feeds arbitrary bytes to the drawing reader, then exercises what an open
// drawing offers: the content document, every kind of edit, and saving.

#include "ddvue/ContentDocument.h"
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/Entities.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ddvue::dxf::Document doc;
    if (!doc.load(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    ddvue::writeContentDocument(doc, "fuzz.dxf", {true, true, true, true});
    ddvue::countContent(doc);
    for (std::uint32_t i = 0; i < doc.recordCount() && i < 64; ++i) {
        ddvue::dxf::entityText(doc, i);
        ddvue::dxf::setTextValue(doc, i, "x\xC3\xA9\n\xE4\xB8\xAD");
        ddvue::dxf::setAttributeValue(doc, i, "y");
        ddvue::dxf::setEntityColor(doc, i, 3);
    }
    for (std::uint32_t l = 0; l < doc.layers().size() && l < 8; ++l) {
        ddvue::dxf::setLayerDisplay(doc, l, false);
        ddvue::dxf::setLayerColor(doc, l, 5);
    }
    for (std::uint32_t i = 0; i < doc.recordCount() && i < 64; i += 3) ddvue::dxf::deleteEntity(doc, i);
    std::string saved = doc.serialize();
    ddvue::dxf::Document again;
    if (!again.load(saved)) __builtin_trap();  // what was edited must read back
    return 0;
}

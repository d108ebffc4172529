#pragma once
// DWG drawings are read by a separate reader process and brought into memory
// as the DXF drawing they describe, so that every operation works on them as
// on a DXF.

#include <string>

namespace ddvue::dwg {

struct ImportResult {
    bool ok = false;
    std::string error;      // why the drawing could not be read
    bool encrypted = false; // the drawing is password-protected
    std::string dxf;        // the drawing as DXF bytes
    int skippedEntities = 0;  // entities of types that could not be brought across
};

// True when the file's first bytes are a DWG version signature.
bool looksLikeDwg(const std::string& head);
// True when the path names a .dwg file.
bool looksLikeDwgPath(const std::string& path);

ImportResult importDwg(const std::string& path);

}  // namespace ddvue::dwg

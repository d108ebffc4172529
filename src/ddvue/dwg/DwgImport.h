#pragma once
// DWG drawings are read by a separate reader process and brought into memory
// as the DXF drawing they describe, so that every operation works on them as
// on a DXF.

#include "ddvue/dwg/DwgJson.h"

#include <functional>
#include <string>
#include <vector>

namespace ddvue::dwg {

struct ImportResult {
    bool ok = false;
    std::string error;      // why the drawing could not be read
    bool encrypted = false; // the drawing is password-protected
    std::string dxf;        // the drawing as DXF bytes
    int skippedEntities = 0;  // entities of types that could not be brought across
    std::string version;      // the DWG's version string, e.g. AC1032
    bool stopped = false;     // reading was stopped on request
    bool timedOut = false;    // the reader took longer than the time limit
    int libraryErrors = 0;    // the DWG library's error bits for a drawing it read with
                              // non-critical errors (libredwg's DWG_ERR_*), 0 when clean
    std::string readWarnings; // what the library skipped or could not decode, for the
                              // user; empty when nothing was
    std::string damage;       // why the drawing is damaged (a checksum that does not match),
                              // so that what was read may be wrong; empty when whole
};

// The reader's answer, taken in as it comes: one JSON text a line, each as
// soon as the reader has read it: arrays of entities of a block, then the
// block (an object) they belong to, and so on for every block; on the last
// line the rest of the drawing. Each line is parsed when it is complete, so
// that this work is done while the reader still reads.
class ReaderAnswer {
public:
    // The next bytes of the answer.
    void add(const char* data, std::size_t size);
    // After the last bytes: false, with the reason, when the answer is not
    // a drawing.
    bool finish(std::string& error);
    // The whole drawing, its blocks under "blocks"; valid after finish()
    // and as long as this answer.
    JsonObject drawing() const { return drawing_; }

private:
    void line(std::string text);

    JsonDocument doc_;
    std::string partial_;  // the bytes after the last complete line
    std::vector<JsonValue> entities_;  // of the block still to come
    std::vector<JsonValue> blocks_;    // each with its entities
    JsonValue last_;                   // the object read last, which is the drawing once all is read
    bool lastHadEntities_ = false;
    std::string error_;
    JsonObject drawing_;
};

// True when the file's first bytes are a DWG version signature.
bool looksLikeDwg(const std::string& head);
// True when the path names a .dwg file.
bool looksLikeDwgPath(const std::string& path);

// True when the file's first bytes say the drawing is encrypted with a
// password (possible from DWG 2004 on).
bool isPasswordProtected(const std::string& head);

// Reads a DWG drawing with the reader process (Node.js and the script in
// reader/): the program TESSILUX_NODE names, else node on PATH; the script
// TESSILUX_DWG_READER names, else dwg-reader/read-dwg.mjs in the program's
// own folder (where it is installed), else the one in the source tree. The
// process may run TESSILUX_DWG_TIMEOUT seconds (120 when unset). The path is
// the system's bytes, which need not be UTF-8: the reader is handed the open
// file, never its name; what is not a regular file is refused. `keepGoing`, when
// given, is asked every tenth of a second while the reader runs; answering
// false ends the reader and the import. A drawing that the library could
// read only in part is refused with the reason; the reader process ends
// with the program that started it, however that ends.
ImportResult importDwg(const std::string& path, const std::function<bool()>& keepGoing = {});

}  // namespace ddvue::dwg

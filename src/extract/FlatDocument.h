#pragma once
// From the content document to the flat document.
//
// The content document nests each category's records under blocks, layouts
// and inserts. The flat document that the recordset opens has one group
// element whose children are flat records: every block attribute carries its
// block, layout and insert's properties beside its own; every text carries
// its block and layout. The work is line by line over the content document's
// text (whose values are escaped so that none can be taken for markup):
// NormalizeExportXml puts every element on a line of its own, WriteFlatXml
// picks the category's group and reshapes its lines.
//
// Lines end in CR LF; a lone CR or LF belongs to the line it stands in.

#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace extract {

// The category codes of WriteFlatXml.
enum FlatCode : int {
    FlatLayers = 1,
    FlatAttributes = 3,
    FlatExternalReferences = 5,
    FlatSingleText = 8,
    FlatMultiText = 9,
};

// The group element of a category code ("" for an unknown code).
std::string_view flatGroupName(int code);

// The content document with every element on a line of its own: a
// self-closing element becomes a start tag directly followed by its end tag;
// an element with a name attribute becomes its bare start tag and a Name
// element holding the name. Each line is followed by CR LF, and the whole by
// one more CR LF.
std::string normalizeExportXml(std::string_view content);

// The flat document of a category from a normalised content document: the
// declaration, an empty line, then the group's start line, its records and
// its end line, each followed by CR LF. `truncated` tells whether the
// document ended where a rule needed more lines (inside a block's or an
// attribute's lines, or inside a text being passed over); what was read up
// to there is kept.
std::string flatDocument(std::string_view normalized, int code, bool* truncated = nullptr);

// The flat document of a category straight from a content document: the
// same text as flatDocument(normalizeExportXml(content), code), made in one
// pass without the normal form in between.
std::string flatDocumentOfContent(std::string_view content, int code, bool* truncated = nullptr);

// The same flat document handed to `sink` in pieces as it is made, each
// ending at a line end; the last piece (possibly empty) comes with `last`.
using FlatSink = std::function<void(std::string_view piece, bool last)>;
void streamFlatDocument(std::string_view content, int code, const FlatSink& sink, bool* truncated = nullptr);

// Rewrites the content document at `path` in its normalised form. False when
// it cannot be read or written.
bool NormalizeExportXml(const QString& path);

// Normalises the content document at `sourcePath` and writes the flat
// document of the category `code` to `flatPath`. Returns -1 when the source
// does not exist (nothing is written), 1 when done, -2 when a step failed on
// the way.
short WriteFlatXml(const QString& sourcePath, const QString& flatPath, int code);

}  // namespace extract

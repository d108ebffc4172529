#pragma once
// The content document: a drawing's layers, block attributes, texts and
// external references as XML, one element per line, CR LF line ends, in
// ISO-8859-1 with every character that could be mistaken for markup, and every
// character above U+00FF, written as a reference.

#include "ddvue/dxf/Document.h"

#include <functional>
#include <string>
#include <string_view>

namespace ddvue {

struct ContentSelection {
    bool attributes = false;
    bool externalReferences = false;
    bool layers = false;
    bool text = false;
};

// `version` is the drawing's version as read; empty for the document's own
// $ACADVER (a DWG is held as a DXF that may be of a later version).
std::string writeContentDocument(const dxf::Document& doc, std::string_view fileName, const ContentSelection& what,
                                 std::string_view version = {});

// Takes the content document piece by piece; false stops the writing.
using ContentSink = std::function<bool(std::string_view piece)>;
// The same document handed to `sink` in pieces of about a megabyte, so that
// the whole of it is never in memory at once. False when the sink said stop.
bool writeContentDocument(const dxf::Document& doc, std::string_view fileName, const ContentSelection& what,
                          std::string_view version, const ContentSink& sink);

// How many rows each category of the content document holds.
struct ContentCounts {
    std::size_t layers = 0;
    std::size_t attributes = 0;
    std::size_t texts = 0;
    std::size_t multilineTexts = 0;
    std::size_t externalReferences = 0;
};
ContentCounts countContent(const dxf::Document& doc);

// The objects the content document lists one by one, by handle: the block
// attributes (of the inserts in model space, the paper layouts and the
// block definitions), the single-line and the multi-line texts.
enum class ListedKind { Attributes, Texts, MultilineTexts };
// Hands `visit` the record of every object of `kind` that the content
// document lists, in its order, deleted ones left out: what the grid finds
// by a row's key, without writing the document.
void forEachListed(const dxf::Document& doc, ListedKind kind, const std::function<void(std::uint32_t record)>& visit);
// The value the content document lists for an attribute or a text, once its
// references are read back (UTF-8; see listedText).
std::string listedValue(const dxf::Document& doc, std::uint32_t record);

// Escapes UTF-8 text for the content document (its bytes are ISO-8859-1).
void appendEscaped(std::string& out, std::string_view utf8);
// The characters that text stands for in the content document, once its
// references are read back (UTF-8): control characters other than tab and
// line breaks as their control pictures, the two non-characters as U+FFFD.
std::string listedText(std::string_view utf8);
// A number in the shortest form that reads back to the same double.
std::string formatNumber(double v);

}  // namespace ddvue

#pragma once
// The records of a lossless DXF document as the rest of the engine reads
// them: where each group's value stands, what each record is, and a
// read-only view of one record's groups (see Document.h).

#include "ddvue/dxf/GroupCodes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace ddvue::dxf {

class Document;
enum class Format : std::uint8_t { Ascii, Binary };

// One group: its code and where its value stands, as an offset into the
// buffer the group was read from (the file, or an edited record's bytes).
// Eight bytes a group: a drawing holds millions of them. A group starts
// where the one before it ends; a record knows where its first one starts.
struct Group {
    std::uint32_t val;  // first byte of the value
    std::uint16_t len;  // value length: without the line end (ASCII), without the NUL (binary strings)
    std::int16_t code;
};
// Group::len of a value of 65,535 bytes or more, whose length is then kept
// aside, by the value's offset.
constexpr std::uint16_t kLongValue = 0xFFFF;
using LongLengths = std::unordered_map<std::uint32_t, std::uint32_t>;

enum class Section : std::uint8_t { None, Header, Classes, Tables, Blocks, Entities, Objects, Other };

// The record types the engine treats specially; everything else is Other and
// keeps its type name.
enum class Kind : std::uint8_t {
    Other,
    SectionStart,
    SectionEnd,
    TableStart,
    TableEnd,
    BlockStart,
    BlockEnd,
    Eof,
    Layer,
    BlockRecord,
    Insert,
    Attrib,
    Attdef,
    Text,
    MText,
    Polyline,
    Vertex,
    SeqEnd,
    Layout,
    Comment,  // a 999 group standing where a record could start
};

// One for every record of a drawing, a million in a large one: the fields
// are ordered so that none is padded. Its groups run up to the next record's
// first, and its bytes start where the group before its first ends
// (Document::groupCount, Document::recordBegin).
struct Record {
    std::uint64_t handle = 0;  // 0 when the record has none
    std::uint32_t first = 0;   // first group in the document's group array
    // ATTRIB, VERTEX, SEQEND: the INSERT or POLYLINE they belong to. While
    // the file is read, the low 32 bits of the owner's handle instead.
    std::int32_t parent = -1;
    std::int32_t block = -1;   // entities inside a block definition: the block's index
    Section section = Section::None;
    Kind kind = Kind::Other;
    bool paperSpace = false;   // 67 = 1
    bool syntheticHandle = false;  // the handle was given in memory, the file has none
};
static_assert(sizeof(Record) <= 24, "a record's fields without padding");

struct LayerEntry {
    std::string name;  // UTF-8
    std::uint32_t record = 0;
};

struct BlockDef {
    std::string name;            // UTF-8
    std::uint32_t begin = 0;     // the BLOCK record
    std::uint32_t end = 0;       // the ENDBLK record (== begin when missing)
    std::vector<std::uint32_t> entities;  // top-level entity records, in file order
};

// A table of the TABLES section: its TABLE record and its ENDTAB (== begin
// when missing).
struct TableDef {
    std::string name;  // upper case
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

// A space whose entities are listed together: model space, a paper layout,
// or a block definition.
struct Space {
    std::string blockName;   // *Model_Space, *Paper_Space, *Paper_Space0, or a block's name
    std::string layoutName;  // Model, the layout's name, or "" for a block definition
    std::vector<std::uint32_t> entities;
    bool isLayout = false;
};

// Read-only view of one record's groups.
class RecordView {
public:
    // `begin` and `end` are where the first group starts and the last one
    // ends in `base`.
    RecordView(const Document& doc, const char* base, const Group* groups, std::uint32_t count,
               std::uint32_t begin, std::uint32_t end, const LongLengths* longs)
        : doc_(&doc), base_(base), groups_(groups), count_(count), begin_(begin), end_(end), longs_(longs)
    {
    }

    std::uint32_t size() const { return count_; }
    int code(std::uint32_t i) const { return groups_[i].code; }
    const Group& group(std::uint32_t i) const { return groups_[i]; }

    // The value's bytes: text as stored (ASCII, or a binary string's bytes),
    // the number's text (ASCII) or its little-endian bytes (binary).
    std::string_view raw(std::uint32_t i) const { return {base_ + groups_[i].val, length(i)}; }
    std::uint32_t length(std::uint32_t i) const
    {
        return groups_[i].len != kLongValue ? groups_[i].len : longs_->at(groups_[i].val);
    }
    // The whole group as stored, code and value with their line ends.
    std::string_view rawGroup(std::uint32_t i) const;
    // Where the group starts (its code line or code bytes) in the buffer.
    std::uint32_t start(std::uint32_t i) const;

    std::string_view str(std::uint32_t i) const { return raw(i); }  // a string value's stored bytes
    std::string text(std::uint32_t i) const;                       // a string value decoded to UTF-8
    double real(std::uint32_t i) const;
    std::int64_t integer(std::uint32_t i) const;

    // The first group with this code, searching from `from`; -1 when none.
    // Stops at extended data (1001) and, unless told, at 102 application groups' content.
    int find(int code, std::uint32_t from = 0) const;
    // The same, but only among the groups before an embedded object (101)
    // or extended data, outside 102 {...} brackets.
    int findMain(int code) const;
    std::string textOf(int code, std::string_view fallback = {}) const;
    double realOf(int code, double fallback = 0) const;
    std::int64_t integerOf(int code, std::int64_t fallback = 0) const;

    std::string_view type() const { return count_ ? raw(0) : std::string_view(); }

    // Calls f(index, code) for each group of the main part: after the type,
    // outside 102 {...} brackets, before an embedded object (101) or extended
    // data (1001). f may return false to stop.
    template <typename F>
    void forEachMain(F&& f) const
    {
        bool inBracket = false;
        for (std::uint32_t i = 1; i < count_; ++i) {
            int c = groups_[i].code;
            if (c == code::kAppGroup) {
                std::string_view v = raw(i);
                inBracket = !v.empty() && v.front() == '{';
                continue;
            }
            if (inBracket) continue;
            if (c == code::kExtendedData || c == code::kEmbeddedObject) return;
            if constexpr (std::is_same_v<decltype(f(i, c)), bool>) {
                if (!f(i, c)) return;
            } else {
                f(i, c);
            }
        }
    }

private:
    const Document* doc_;
    const char* base_;
    const Group* groups_;
    std::uint32_t count_;
    std::uint32_t begin_;
    std::uint32_t end_;
    const LongLengths* longs_;
};

// What an edit changed, for observers such as the renderer.
struct Change {
    enum class What { Entity, EntityDeleted, Layer } what;
    std::uint32_t record;
};

}  // namespace ddvue::dxf

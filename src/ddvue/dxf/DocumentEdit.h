#pragma once
// The writer's tool for one record: its groups as they stand, to change,
// insert and remove, then stored in the file's own formatting. Groups left
// alone keep their bytes. Included by Document.h; not to be included alone.

#include "ddvue/dxf/Document.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ddvue::dxf {

// Rewrites the groups of one record. The groups start as the record's
// current ones; commit() stores the result in the file's own formatting.
class Document::Edit {
public:
    Edit(Document& doc, std::uint32_t record);
    std::uint32_t size() const { return static_cast<std::uint32_t>(items_.size()); }
    int code(std::uint32_t i) const { return items_[i].code; }
    int find(int code, std::uint32_t from = 0) const;
    // The index of the first group at or after `from` with this code
    // before an embedded object, extended data or a 102 bracket.
    int findMain(int code, std::uint32_t from = 0) const;
    std::string_view rawValue(std::uint32_t i) const;
    std::int64_t integer(std::uint32_t i) const;

    void setText(std::uint32_t i, std::string_view utf8);  // encoded with the file's code page
    // Sets a value to bytes already stored as the file stores them: text in
    // the file's encoding, a number's text (ASCII) or bytes (binary).
    void setEncoded(std::uint32_t i, std::string bytes);
    void setInteger(std::uint32_t i, std::int64_t v);
    void setReal(std::uint32_t i, double v);
    void remove(std::uint32_t i);
    void insertText(std::uint32_t at, int code, std::string_view utf8);
    // Inserts a value already stored as the file stores it (see setEncoded).
    void insertEncoded(std::uint32_t at, int code, std::string bytes);
    void insertInteger(std::uint32_t at, int code, std::int64_t v);
    void insertReal(std::uint32_t at, int code, double v);
    // Appends a group of another record as it is stored there (the same
    // file: the same encoding and formatting).
    void append(const RecordView& from, std::uint32_t group);
    // Stores the result; `what` tells observers what changed.
    void commit(Change::What what = Change::What::Entity);

private:
    struct Item {
        int code;
        std::string codeText;  // the stored code (ASCII line without its end, or binary bytes)
        std::string value;     // the stored value bytes (ASCII text, or binary payload)
        bool kept;             // unchanged from the original group
        std::string original;  // the original group bytes when kept
        std::uint32_t valueOffset;  // where the value starts in `original`
    };
    Item make(int code, std::string value) const;
    std::string formatInteger(int code, std::int64_t v, std::string_view like) const;
    std::string formatReal(double v) const;
    // The record's bytes and groups made of the items.
    Replacement build() const;

    Document& doc_;
    std::uint32_t record_;
    std::vector<Item> items_;
};

}  // namespace ddvue::dxf

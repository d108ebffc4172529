#pragma once
// The value type of every DXF group code, as binary DXF stores it and as the
// ASCII reader parses it. Codes outside these ranges are not DXF.

#include <cstdint>

namespace ddvue::dxf {

enum class ValueType : std::uint8_t {
    Invalid,
    String,  // text, handles, names
    Double,  // 8 bytes in binary DXF
    Int16,   // 2 bytes
    Int32,   // 4 bytes
    Int64,   // 8 bytes
    Bool,    // 1 byte
    Binary,  // length byte + data in binary DXF, hex text in ASCII DXF
};

constexpr ValueType valueTypeOf(int code) noexcept
{
    if (code < 0) return ValueType::Invalid;
    if (code <= 9) return ValueType::String;
    if (code <= 59) return ValueType::Double;
    if (code <= 79) return ValueType::Int16;
    if (code <= 89) return ValueType::Invalid;
    if (code <= 99) return ValueType::Int32;
    if (code == 100 || code == 101 || code == 102 || code == 105) return ValueType::String;
    if (code <= 109) return ValueType::Invalid;
    if (code <= 149) return ValueType::Double;
    if (code <= 159) return ValueType::Invalid;
    if (code <= 169) return ValueType::Int64;
    if (code <= 179) return ValueType::Int16;
    if (code <= 209) return ValueType::Invalid;
    if (code <= 239) return ValueType::Double;
    if (code <= 269) return ValueType::Invalid;
    if (code <= 289) return ValueType::Int16;
    if (code <= 299) return ValueType::Bool;
    if (code <= 309) return ValueType::String;
    if (code <= 319) return ValueType::Binary;
    if (code <= 369) return ValueType::String;
    if (code <= 389) return ValueType::Int16;
    if (code <= 399) return ValueType::String;
    if (code <= 409) return ValueType::Int16;
    if (code <= 419) return ValueType::String;
    if (code <= 429) return ValueType::Int32;
    if (code <= 439) return ValueType::String;
    if (code <= 459) return ValueType::Int32;
    if (code <= 469) return ValueType::Double;
    if (code <= 481) return ValueType::String;
    if (code == 999) return ValueType::String;
    if (code < 1000) return ValueType::Invalid;
    if (code == 1004) return ValueType::Binary;
    if (code <= 1009) return ValueType::String;
    if (code <= 1059) return ValueType::Double;
    if (code <= 1070) return ValueType::Int16;
    if (code == 1071) return ValueType::Int32;
    return ValueType::Invalid;
}

// The group codes that shape every record, whatever its type: the lossless
// document finds its way through records with these alone. What the codes
// of each entity and table entry mean is declared in EntityTypes.h and ObjectTypes.h.
namespace code {
constexpr int kType = 0;             // starts a record: its type name
constexpr int kName = 2;             // a section's, table's, block's or entry's name
constexpr int kHandle = 5;
constexpr int kDimstyleHandle = 105;  // a DIMSTYLE keeps its handle here
constexpr int kHeaderVariable = 9;   // "9 $NAME", then the value group
constexpr int kPaperSpace = 67;
constexpr int kSubclass = 100;       // AcDb... subclass markers
constexpr int kEmbeddedObject = 101;  // starts an embedded object
constexpr int kAppGroup = 102;       // {APP ... } brackets
constexpr int kOwner = 330;
constexpr int kHardOwner = 360;      // an object this one owns (its extension dictionary...)
constexpr int kComment = 999;
constexpr int kExtendedData = 1001;  // starts extended data: an application's name
constexpr int kExtendedLayerName = 1003;  // in extended data: a layer's name
}  // namespace code

// Group codes whose values are text that users read (as opposed to names,
// handles and numbers).
constexpr bool isTextCode(int code) noexcept
{
    return valueTypeOf(code) == ValueType::String;
}

}  // namespace ddvue::dxf

#pragma once
// What the pieces of the lossless document (Document.cpp, DocumentTokens.cpp,
// DocumentIndex.cpp, DocumentWriter.cpp...) share: the small parsers of codes,
// numbers and names, and the memory the reader fills.
// Not for use outside src/ddvue/dxf.

#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/GroupCodes.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace ddvue::dxf::detail {

inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};
inline constexpr std::uint64_t kMaxFileSize = 0xFFFFFFF0ull;

// Blanks around codes, type names and numbers; a stray CR too, which some
// writers leave before the line end.
inline std::string_view trim(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A record type or section name, compared as CAD programs compare them:
// without regard to the letter case of a writer that used lower case.
inline bool is(std::string_view name, std::string_view upperCase)
{
    if (name.size() != upperCase.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upperCase[i]) return false;
    }
    return true;
}

inline std::string upper(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// The capital of a small letter of the Latin, Greek and Cyrillic alphabets
// (the letters drawings' names are written in); any other character as it is.
constexpr char32_t capital(char32_t c)
{
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : c - 0x20;  // Latin-1, but for the division sign
    if (c == 0xFF) return 0x178;
    if (c <= 0x17E) {  // Latin Extended-A: capital and small in pairs
        const bool oddSmall = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        const bool evenSmall = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (oddSmall && c % 2 == 1) || (evenSmall && c % 2 == 0) ? c - 1 : c;
    }
    if (c == 0x3C2) return 0x3A3;  // final sigma
    if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

// The key of a UTF-8 name for the lookups of layers and blocks, which CAD
// programs compare without regard to letter case.
inline std::string nameKey(std::string_view utf8)
{
    bool ascii = true;
    for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return upper(utf8);
    std::string key;
    key.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) appendUtf8(key, capital(nextUtf8(utf8, i)));
    return key;
}

inline bool parseCode(std::string_view text, int& code)
{
    text = trim(text);
    if (text.empty() || text.size() > 9) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
        if (text.size() == 1) return false;
    }
    int v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    code = negative ? -v : v;
    return true;
}

inline std::string shortQuote(std::string_view s)
{
    std::string q;
    for (char c : s.substr(0, 24)) q.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
    if (s.size() > 24) q += "...";
    return "\"" + q + "\"";
}

template <typename T>
inline T readLe(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::int64_t binaryInteger(ValueType type, const char* p, std::uint32_t len)
{
    switch (type) {
    case ValueType::Int16: return len >= 2 ? readLe<std::int16_t>(p) : 0;
    case ValueType::Int32: return len >= 4 ? readLe<std::int32_t>(p) : 0;
    case ValueType::Int64: return len >= 8 ? readLe<std::int64_t>(p) : 0;
    case ValueType::Bool: return len >= 1 ? static_cast<unsigned char>(*p) : 0;
    case ValueType::Double: {
        double d = len >= 8 ? readLe<double>(p) : 0.0;
        if (d != d) return 0;
        return d >= 9.2e18 ? INT64_MAX : d <= -9.2e18 ? INT64_MIN : static_cast<std::int64_t>(d);
    }
    default: return 0;
    }
}

inline std::int64_t asciiInteger(std::string_view text)
{
    text = trim(text);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && p == text.data() + text.size()) return v;
    double d = 0;
    auto [p2, ec2] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec2 != std::errc() || d != d) return v;
    // A real where an integer belongs: its whole part, kept in range.
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(d);
}

inline double asciiReal(std::string_view text)
{
    text = trim(text);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

// An integer value as stored: its text in an ASCII file, its bytes (or, for
// a code whose values are text, its text) in a binary one.
inline std::int64_t storedInteger(Format format, int code, std::string_view value)
{
    if (format == Format::Ascii) return asciiInteger(value);
    const ValueType t = valueTypeOf(code);
    if (t == ValueType::String) return asciiInteger(value);
    return binaryInteger(t, value.data(), static_cast<std::uint32_t>(value.size()));
}

// A handle's hex digits as a number; none when empty, zero or not hex.
// Inline: the reader parses one for every object.
inline std::optional<std::uint64_t> handleOf(std::string_view hex)
{
    // A table, not comparisons: a drawing has a handle for every object,
    // and its digits mix numbers and letters.
    static constexpr auto digit = [] {
        std::array<std::uint8_t, 256> t{};
        t.fill(0xFF);
        for (int c = 0; c < 10; ++c) t[static_cast<std::size_t>('0' + c)] = static_cast<std::uint8_t>(c);
        for (int c = 0; c < 6; ++c) {
            t[static_cast<std::size_t>('A' + c)] = static_cast<std::uint8_t>(10 + c);
            t[static_cast<std::size_t>('a' + c)] = static_cast<std::uint8_t>(10 + c);
        }
        return t;
    }();
    hex = trim(hex);
    if (hex.empty() || hex.size() > 16) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : hex) {
        const std::uint8_t d = digit[static_cast<unsigned char>(c)];
        if (d == 0xFF) return std::nullopt;
        v = v * 16 + d;
    }
    if (v == 0) return std::nullopt;
    return v;
}

inline bool isBracketOpen(std::string_view v) { return !v.empty() && v.front() == '{'; }

// The first `c` at or after `p`, or `end`. Most lines of a drawing are a few
// bytes long: eight at a time are looked at before the library's search
// takes over for long ones.
inline const char* findByte(const char* p, const char* end, char c)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t pattern = ones * static_cast<unsigned char>(c);
    for (int k = 0; k < 4 && end - p >= 8; ++k, p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        std::uint64_t x = word ^ pattern;
        std::uint64_t hit = (x - ones) & ~x & (ones << 7);
        if (hit) return p + (__builtin_ctzll(hit) >> 3);
    }
    auto found = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
    return found ? found : end;
}

// valueTypeOf for every code up to the last the format defines.
inline constexpr auto valueTypes = [] {
    std::array<ValueType, 1072> table{};
    for (int c = 0; c < 1072; ++c) table[static_cast<std::size_t>(c)] = valueTypeOf(c);
    return table;
}();

// Asks the system for large memory pages for a buffer of `size` bytes.
void preferLargePages(const void* data, std::size_t size);

// Takes the page faults of a large array that one thread fills from its
// start, on another core and a few pages ahead of the filling. The first
// write to a fresh page makes the system clear it, which on a large drawing
// costs as much time as reading it; here that runs beside the reading. The
// pages are only made present, never written: the thread cannot race with
// the writer. Where the system cannot do this, nothing happens.
// For a mapped file that is read from its start (Use::Read), the file's
// pages are made present, all of them, as fast as the system can.
class FaultAhead {
public:
    enum class Use { Write, Read };
    // `data` and `bytes`: the whole room the writer may fill.
    FaultAhead(const void* data, std::size_t bytes, Use use = Use::Write);
    ~FaultAhead();
    FaultAhead(const FaultAhead&) = delete;
    FaultAhead& operator=(const FaultAhead&) = delete;

    // How many bytes the writer has filled; tells the thread when they pass
    // the next step.
    void filled(std::size_t bytes)
    {
        if (bytes < nextStep_) return;
        nextStep_ = bytes + kStep;
        filled_.store(bytes, std::memory_order_relaxed);
        filled_.notify_one();
    }

    static constexpr std::size_t kStep = 2u << 20;  // one large page

private:
    void run();

    char* begin_ = nullptr;
    std::size_t bytes_ = 0;
    Use use_ = Use::Write;
    std::size_t nextStep_ = 0;
    std::atomic<std::size_t> filled_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace ddvue::dxf::detail

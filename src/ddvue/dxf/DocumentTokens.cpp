// Document: reading a drawing's bytes into groups (ASCII and binary DXF) and
// the groups into records.
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/DocumentParts.h"

#include <algorithm>
#include <cstring>

namespace ddvue::dxf {

using namespace detail;

void Document::reserveGroups(std::size_t fewestBytesPerGroup)
{
    // Room for as many groups as the file could hold. A large reservation
    // that is never written costs address space, not memory, and it spares
    // the copy (and the double peak) of a growing array; where the system
    // will not give that much room, the array grows as it must.
    try {
        groups_.reserve(file_.size() / fewestBytesPerGroup + 16);
    } catch (const std::bad_alloc&) {
        groups_.reserve(file_.size() / 16 + 16);
    }
    preferLargePages(groups_.data(), groups_.capacity() * sizeof(Group));
}

bool Document::tokenize()
{
    if (file_.size() >= kBinarySentinel.size() && file_.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
        format_ = Format::Binary;
        return tokenizeBinary();
    }
    format_ = Format::Ascii;
    return tokenizeAscii();
}

// Where reading ASCII groups stands.
struct Document::AsciiScan {
    std::size_t pos = 0;
    std::size_t line = 1;
    bool first = true;
    std::size_t unknownCodes = 0;
    std::string firstUnknown;
};

void Document::detectLineEnds()
{
    // Line ends: LF or CR LF (a CR before the LF is not part of the line), or
    // old Macintosh CR alone when the file has no LF at all.
    const char* data = file_.data();
    const std::size_t size = file_.size();
    const void* firstLf = std::memchr(data, '\n', size);
    const void* firstCr = std::memchr(data, '\r', size);
    bool crOnly = firstCr && !firstLf;
    if (firstLf && !crOnly) {
        auto lf = static_cast<const char*>(firstLf);
        eol_ = (lf > data && lf[-1] == '\r') ? "\r\n" : "\n";
    } else if (crOnly) {
        eol_ = "\r";
    }
    terminator_ = crOnly ? '\r' : '\n';
    crOnly_ = crOnly;
}

std::size_t Document::lineAt(std::size_t pos, std::size_t& next) const
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    auto p = static_cast<const char*>(std::memchr(data + pos, terminator_, size - pos));
    if (!p) {
        next = size;
        return size;
    }
    std::size_t end = static_cast<std::size_t>(p - data);
    next = end + 1;
    // A CR cannot be part of a value: every one before the LF goes.
    while (!crOnly_ && end > pos && data[end - 1] == '\r') --end;
    return end;
}

bool Document::tokenizeAscii()
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    detectLineEnds();
    const char terminator = terminator_;
    const bool crOnly = crOnly_;
    firstGroup_ = 0;

    AsciiScan scan;
    tailBegin_ = static_cast<std::uint32_t>(size);
    reserveGroups(3);  // "0", a line end, an empty value and its line end
    std::size_t reportAt = 0;
    while (scan.pos < size) {
        if (progress_ && scan.pos >= reportAt) {
            if (!report(static_cast<int>(70 * scan.pos / size))) return false;
            reportAt = scan.pos + (4u << 20);
        }
        if (!scan.first) {
            // The common case in one pass: blanks, digits, blanks, the line
            // end, then a short value line.
            const char* p = data + scan.pos;
            const char* const end = data + size;
            while (p < end && *p == ' ') ++p;
            const char* digits = p;
            int v = 0;
            while (p < end && static_cast<unsigned>(*p - '0') < 10 && p - digits < 6) v = v * 10 + (*p++ - '0');
            const bool number = p > digits;
            while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
            if (number && p + 1 < end && *p == terminator && v < 1072 &&
                valueTypes[static_cast<std::size_t>(v)] != ValueType::Invalid) {
                const char* value = p + 1;
                const char* q = findByte(value, end, terminator);
                const char* valueEnd = q;
                while (!crOnly && valueEnd > value && valueEnd[-1] == '\r') --valueEnd;
                addGroup(static_cast<std::size_t>(value - data), static_cast<std::size_t>(valueEnd - value), v);
                scan.pos = q < end ? static_cast<std::size_t>(q - data) + 1 : size;
                scan.line += 2;
                if (v == code::kType) {
                    ++recordStarts_;
                    if (is(trim(std::string_view(value, static_cast<std::size_t>(valueEnd - value))), "EOF")) {
                        tailBegin_ = static_cast<std::uint32_t>(scan.pos);
                        break;
                    }
                }
                continue;
            }
        }
        AsciiStep step = readOddGroup(scan);
        if (step == AsciiStep::Fail) return false;
        if (step == AsciiStep::End) break;
    }
    if (groups_.empty()) {
        error_ = "The file holds no DXF groups.";
        return false;
    }
    if (scan.unknownCodes)
        repairs_.push_back(std::to_string(scan.unknownCodes) + (scan.unknownCodes == 1 ? " group has" : " groups have") +
                           " a code that DXF does not define, the first " + scan.firstUnknown + "; kept as text.");
    return true;
}

Document::AsciiStep Document::readOddGroup(AsciiScan& scan)
{
    // Everything the common case leaves: signs, padding, the first line, odd
    // codes, the end.
    const char* data = file_.data();
    const std::size_t size = file_.size();
    const std::size_t pos = scan.pos;
    std::size_t next = 0;
    int code = 0;
    std::size_t codeEnd = lineAt(pos, next);
    std::string_view codeText(data + pos, codeEnd - pos);
    if (scan.first && codeText.substr(0, 3) == "\xEF\xBB\xBF") codeText.remove_prefix(3);
    if (!parseCode(codeText, code)) {
        if (trim(codeText).empty() && !groups_.empty()) {
            // Blank lines where a group should start: tolerated only as
            // trailing padding at the very end of the file.
            std::size_t p = pos;
            while (p < size && (data[p] == ' ' || data[p] == '\t' || data[p] == '\r' || data[p] == '\n' ||
                                data[p] == '\x1a' || data[p] == '\0'))
                ++p;
            if (p == size) {
                tailBegin_ = static_cast<std::uint32_t>(pos);
                return AsciiStep::End;
            }
        }
        std::string_view head(data, std::min<std::size_t>(size, 6));
        if (scan.first && head.size() == 6 && head.substr(0, 2) == "AC" && head[3] == '.')
            // AC1.2 to AC2.22: the DWG of AutoCAD's first releases, which no reader here opens.
            error_ = "This is a DWG drawing of a release before 2.5 (" + std::string(head.substr(0, head.find('\0'))) +
                     "), which cannot be read.";
        else if (scan.first && head.substr(0, 2) == "AC")
            error_ = "This is a DWG drawing, not a DXF file.";
        else
            error_ = "Line " + std::to_string(scan.line) + ": the group code " + shortQuote(codeText) +
                     " is not a number; this is not a DXF file or it is damaged.";
        return AsciiStep::Fail;
    }
    if (code < INT16_MIN || code > INT16_MAX) {
        error_ = "Line " + std::to_string(scan.line) + ": the group code " + std::to_string(code) +
                 " is out of range; this is not a DXF file or it is damaged.";
        return AsciiStep::Fail;
    }
    if (valueTypeOf(code) == ValueType::Invalid) {
        // Not a code of the format, but the value is a line like any
        // other: kept as text, as CAD programs that recover files do.
        if (scan.unknownCodes++ == 0)
            scan.firstUnknown = std::to_string(code) + " (line " + std::to_string(scan.line) + ")";
    }
    if (next >= size) {
        if (!groups_.empty()) {
            // The last line is a group code without its value (most often
            // the EOF whose name was lost): kept as trailing bytes.
            tailBegin_ = static_cast<std::uint32_t>(pos);
            repairs_.push_back("The last line, group code " + std::to_string(code) + ", has no value; it is kept as it is.");
            return AsciiStep::End;
        }
        error_ = "Line " + std::to_string(scan.line) + ": group code " + std::to_string(code) +
                 " has no value; the file is truncated.";
        return AsciiStep::Fail;
    }
    std::size_t valStart = next;
    std::size_t valEnd = lineAt(valStart, next);
    addGroup(valStart, valEnd - valStart, code);
    if (scan.first) {
        // The file's code line style: right-aligned ("  0") or not ("0").
        codeWidth_ = (!codeText.empty() && codeText[0] == ' ') ? static_cast<int>(codeText.size()) : 0;
    }
    scan.first = false;
    scan.pos = next;
    scan.line += 2;
    if (code == code::kType) {
        ++recordStarts_;
        if (is(trim(std::string_view(data + valStart, valEnd - valStart)), "EOF")) {
            tailBegin_ = static_cast<std::uint32_t>(scan.pos);
            return AsciiStep::End;
        }
    }
    return AsciiStep::Next;
}

bool Document::tokenizeBinary()
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    std::size_t pos = kBinarySentinel.size();
    prefixEnd_ = static_cast<std::uint32_t>(pos);
    firstGroup_ = static_cast<std::uint32_t>(pos);
    tailBegin_ = static_cast<std::uint32_t>(size);
    eol_.clear();
    // Release 12 binary files have one-byte group codes; later ones two.
    // The first group is "0 SECTION", which tells the two apart.
    binaryCodeBytes_ = (pos + 2 < size && data[pos] == 0 && data[pos + 1] == 'S') ? 1 : 2;
    reserveGroups(3);  // a two-byte code and a one-byte value

    auto fail = [&](std::size_t at, const std::string& what) {
        error_ = "Byte " + std::to_string(at) + ": " + what;
        return false;
    };
    std::size_t reportAt = 0;
    while (pos < size) {
        if (progress_ && pos >= reportAt) {
            if (!report(static_cast<int>(70 * pos / size))) return false;
            reportAt = pos + (4u << 20);
        }
        std::size_t start = pos;
        int code = 0;
        if (binaryCodeBytes_ == 1) {
            code = static_cast<unsigned char>(data[pos]);
            ++pos;
            if (code == 255) {
                if (pos + 2 > size) return fail(start, "the file is truncated.");
                code = readLe<std::int16_t>(data + pos);
                pos += 2;
            }
        } else {
            if (pos + 2 > size) return fail(start, "the file is truncated.");
            code = readLe<std::int16_t>(data + pos);
            pos += 2;
        }
        ValueType type = valueTypeOf(code);
        std::size_t valStart = pos;
        std::size_t valLen = 0;
        switch (type) {
        case ValueType::Invalid: return fail(start, "unknown group code " + std::to_string(code) + ".");
        case ValueType::String: {
            auto nul = static_cast<const char*>(std::memchr(data + pos, '\0', size - pos));
            if (!nul) return fail(start, "the file is truncated inside a text value.");
            valLen = static_cast<std::size_t>(nul - (data + pos));
            pos += valLen + 1;
            break;
        }
        case ValueType::Binary: {
            if (pos >= size) return fail(start, "the file is truncated.");
            std::size_t n = static_cast<unsigned char>(data[pos]);
            valStart = pos + 1;
            valLen = n;
            pos += 1 + n;
            break;
        }
        case ValueType::Double:
        case ValueType::Int64: valLen = 8; pos += 8; break;
        case ValueType::Int32: valLen = 4; pos += 4; break;
        case ValueType::Int16: valLen = 2; pos += 2; break;
        case ValueType::Bool: valLen = 1; pos += 1; break;
        }
        if (pos > size) return fail(start, "the file is truncated.");
        addGroup(valStart, valLen, code);
        if (code == code::kType) {
            ++recordStarts_;
            if (is(std::string_view(data + valStart, valLen), "EOF")) {
                tailBegin_ = static_cast<std::uint32_t>(pos);
                break;
            }
        }
    }
    if (groups_.empty()) return fail(pos, "the file holds no DXF groups.");
    return true;
}

bool Document::buildRecords()
{
    std::uint32_t n = static_cast<std::uint32_t>(groups_.size());
    std::uint32_t i = 0;
    // Groups before the first record: comments, and in files of some
    // writers header variables ahead of the HEADER section. They stay as
    // they are; buildStructure reads the header variables among them.
    while (i < n && groups_[i].code != code::kType) ++i;
    if (i == n) {
        error_ = "The file holds no DXF records (no group with code 0); it is not a DXF drawing.";
        return false;
    }
    const char* data = file_.data();
    const auto size = static_cast<std::uint32_t>(file_.size());
    auto startOf = [&](std::uint32_t g) {
        return g == 0 ? firstGroup_ : afterValue(data, size, groups_[g - 1], lengthOf(groups_[g - 1]));
    };
    prefixEnd_ = startOf(i);
    records_.reserve(recordStarts_);
    while (i < n) {
        std::uint32_t first = i++;
        while (i < n && groups_[i].code != code::kType) ++i;
        Record r;
        r.first = first;
        r.count = i - first;
        r.begin = startOf(first);
        records_.push_back(r);
    }
    return true;
}

void Document::addLongGroup(std::size_t val, std::size_t len, int code)
{
    longs_[static_cast<std::uint32_t>(val)] = static_cast<std::uint32_t>(len);
    groups_.push_back(Group{static_cast<std::uint32_t>(val), kLongValue, static_cast<std::int16_t>(code)});
}

std::uint32_t Document::afterValue(const char* base, std::uint32_t limit, const Group& g, std::uint32_t len) const
{
    std::uint32_t p = g.val + len;
    if (format_ == Format::Binary) return p + (valueTypeOf(g.code) == ValueType::String ? 1 : 0);
    if (!crOnly_)
        while (p < limit && base[p] == '\r') ++p;
    if (p < limit && base[p] == terminator_) ++p;
    return p;
}

}  // namespace ddvue::dxf

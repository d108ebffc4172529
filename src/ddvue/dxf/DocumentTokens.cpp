// Document: reading a drawing's bytes into groups (ASCII and binary DXF) and
// the groups into records.
#include "ddvue/dxf/Document.h"
#include "ddvue/dxf/DocumentParts.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

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

void Document::reserveRecords(std::size_t fewestBytesPerRecord)
{
    // An estimate: a record has a few groups at least. A file of smaller
    // records grows the arrays as it must.
    const std::size_t n = file_.size() / fewestBytesPerRecord + 16;
    try {
        records_.reserve(n);
    } catch (const std::bad_alloc&) {
        // Left to grow.
    }
    preferLargePages(records_.data(), records_.capacity() * sizeof(Record));
}

void Document::trimLastRecord()
{
    if (records_.empty()) return;
    const Record& r = records_.back();
    switch (r.kind) {
    case Kind::Insert:
    case Kind::Attrib:
    case Kind::Text:
    case Kind::MText:
    case Kind::SeqEnd:
    case Kind::Polyline:
    case Kind::Vertex: break;
    default: return;  // read by the index, or by the count itself
    }
    // A record whose handle cannot be read is read again by the index.
    if (!badHandles_.empty() && badHandles_.back() == records_.size() - 1) return;
    if (groups_.size() <= std::size_t{r.first} + 2) return;
    groups_[r.first + 1] = groups_.back();
    groups_.resize(r.first + 2);
}

namespace {

// The kind a record's type names (trimmed, in any letter case), before its
// section is known; the structure keeps it only where the section gives it
// that meaning (a LAYER among the tables, an INSERT among entities).
Kind kindOfName(std::string_view type)
{
    switch (type.size()) {
    case 3: return is(type, "EOF") ? Kind::Eof : Kind::Other;
    case 4: return is(type, "TEXT") ? Kind::Text : Kind::Other;
    case 5:
        return is(type, "TABLE")   ? Kind::TableStart
               : is(type, "BLOCK") ? Kind::BlockStart
               : is(type, "LAYER") ? Kind::Layer
               : is(type, "MTEXT") ? Kind::MText
                                   : Kind::Other;
    case 6:
        return is(type, "ENDSEC")   ? Kind::SectionEnd
               : is(type, "ATTRIB") ? Kind::Attrib
               : is(type, "SEQEND") ? Kind::SeqEnd
               : is(type, "INSERT") ? Kind::Insert
               : is(type, "VERTEX") ? Kind::Vertex
               : is(type, "ATTDEF") ? Kind::Attdef
               : is(type, "ENDTAB") ? Kind::TableEnd
               : is(type, "ENDBLK") ? Kind::BlockEnd
               : is(type, "LAYOUT") ? Kind::Layout
                                    : Kind::Other;
    case 7: return is(type, "SECTION") ? Kind::SectionStart : Kind::Other;
    case 8: return is(type, "POLYLINE") ? Kind::Polyline : Kind::Other;
    case 12: return is(type, "BLOCK_RECORD") ? Kind::BlockRecord : Kind::Other;
    default: return Kind::Other;
    }
}

}  // namespace

// Makes the records while the groups are read, while each group's bytes are
// still in the processor's cache: a record starts at a group with code 0
// and ends where the next one starts. Of each record it notes what the
// structure needs (DocumentIndex.cpp): the kind its type names, and from
// its main groups (after the type, outside 102 brackets, before an embedded
// object or extended data) the first handle (105 for a dimension style, 5
// for the rest), paper space flag and owner. Groups before the first record
// belong to none. Each reading thread has a maker of its own.
struct Document::RecordMaker {
    std::vector<Record>* records;
    std::vector<std::uint32_t>* badHandles;  // indexes into *records
    const char* data;                         // the buffer the values stand in
    Format format;
    // Where reading the last record's main groups stands.
    struct Open {
        int handleCode = code::kHandle;
        bool inBracket = false, ended = false, handleSeen = false, paperSeen = false, ownerSeen = false;
    } at;

    // A group: its index in the group array, code, and value (offset and
    // true length).
    [[gnu::always_inline]] void group(std::uint32_t index, int code, std::size_t val, std::size_t len)
    {
        if (code == code::kType) return open(index, std::string_view(data + val, len));
        if (at.ended || records->empty()) return;
        if (code == code::kAppGroup) {
            at.inBracket = len > 0 && data[val] == '{';
            return;
        }
        if (at.inBracket) return;
        if (code == code::kExtendedData || code == code::kEmbeddedObject) {
            at.ended = true;
            return;
        }
        if (code == at.handleCode || code == code::kPaperSpace || code == code::kOwner)
            noteMain(code, std::string_view(data + val, len));
    }

    void open(std::uint32_t index, std::string_view value)
    {
        Record r;
        r.first = index;
        const std::string_view type = trim(value);
        r.kind = kindOfName(type);
        r.parent = 0;  // no owner yet
        records->push_back(r);
        at = Open{is(type, "DIMSTYLE") ? code::kDimstyleHandle : code::kHandle};
    }

    void noteMain(int code, std::string_view value)
    {
        Record& r = records->back();
        if (code == at.handleCode) {
            if (at.handleSeen) return;
            at.handleSeen = true;
            if (auto h = handleOf(value)) r.handle = *h;
            else badHandles->push_back(static_cast<std::uint32_t>(records->size() - 1));
        } else if (code == code::kPaperSpace) {
            if (at.paperSeen) return;
            at.paperSeen = true;
            r.paperSpace = storedInteger(format, code, value) == 1;
        } else if (!at.ownerSeen) {
            at.ownerSeen = true;
            // Its handle's low 32 bits, kept where the record's parent will
            // be (Record::parent): indexRecords reads them, and the few that
            // name a paper space's block record, in full.
            r.parent = static_cast<std::int32_t>(static_cast<std::uint32_t>(handleOf(value).value_or(0)));
        }
    }

    // Takes over the records another maker made of the groups that follow
    // this one's: the last of this maker's records ends where the other's
    // first begins, and the other's last one goes on here.
    void adopt(const RecordMaker& other)
    {
        if (other.records->empty()) return;
        const auto offset = static_cast<std::uint32_t>(records->size());
        records->insert(records->end(), other.records->begin(), other.records->end());
        for (std::uint32_t b : *other.badHandles) badHandles->push_back(b + offset);
        at = other.at;
    }
};

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
    RecordMaker* maker = nullptr;
    FaultAhead* faultAhead = nullptr;
};

void Document::detectLineEnds()
{
    // Line ends: LF or CR LF (a CR before the LF is not part of the line), or
    // old Macintosh CR alone when the file has no LF at all.
    const char* data = file_.data();
    const std::size_t size = file_.size();
    const void* firstLf = std::memchr(data, '\n', size);
    const bool crOnly = !firstLf && std::memchr(data, '\r', size);
    if (firstLf && !crOnly) {
        auto lf = static_cast<const char*>(firstLf);
        style_.eol = (lf > data && lf[-1] == '\r') ? "\r\n" : "\n";
    } else if (crOnly) {
        style_.eol = "\r";
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

namespace {

// How often `c` stands in [p, end): eight bytes at a time.
std::size_t countByte(const char* p, const char* end, char c)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull, low7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t pattern = ones * static_cast<unsigned char>(c);
    std::size_t n = 0;
    while (end - p >= 8) {
        // Up to 255 words summed in byte lanes, then added up.
        std::uint64_t lanes = 0;
        for (int k = 0; k < 255 && end - p >= 8; ++k, p += 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            const std::uint64_t x = word ^ pattern;                  // zero where `c` stands
            const std::uint64_t nonZero = ((x & low7) + low7) | x;   // high bit set where not
            lanes += (~nonZero & ~low7) >> 7;
        }
        // Each lane holds up to 255: summed in pairs first, in 16-bit lanes.
        const std::uint64_t pairs = (lanes & 0x00FF00FF00FF00FFull) + ((lanes >> 8) & 0x00FF00FF00FF00FFull);
        n += static_cast<std::size_t>((pairs * 0x0001000100010001ull) >> 48);
    }
    for (; p < end; ++p) n += *p == c;
    return n;
}

// Where a run of common groups stopped.
struct Run {
    const char* end;             // where the group that stopped it starts, or after the last
    bool odd = false;            // stopped at a group that is not common, or that `add` refused
    bool ended = false;          // the last group read is the EOF record
};

// Reads common groups from `p` up to `stop` (where a group starts at or
// after it): blanks, digits, blanks, the line end, then a value line. Calls
// add(value, length, code) for each; it may refuse one (returns false).
template <typename Add>
Run commonGroups(const char* p, const char* stop, const char* end, char terminator, bool crOnly, Add&& add)
{
    Run run;
    while (p < stop) {
        const char* c = p;
        while (c < end && *c == ' ') ++c;
        const char* digits = c;
        int v = 0;
        while (c < end && static_cast<unsigned>(*c - '0') < 10 && c - digits < 6) v = v * 10 + (*c++ - '0');
        const bool number = c > digits;
        while (c < end && (*c == ' ' || *c == '\t' || *c == '\r')) ++c;
        if (!(number && c + 1 < end && *c == terminator && v < 1072 &&
              valueTypes[static_cast<std::size_t>(v)] != ValueType::Invalid)) {
            run.odd = true;
            break;
        }
        const char* value = c + 1;
        const char* q = findByte(value, end, terminator);
        const char* valueEnd = q;
        while (!crOnly && valueEnd > value && valueEnd[-1] == '\r') --valueEnd;
        if (!add(value, static_cast<std::size_t>(valueEnd - value), v)) {
            run.odd = true;
            break;
        }
        p = q < end ? q + 1 : end;
        if (v == code::kType) {
            if (is(trim(std::string_view(value, static_cast<std::size_t>(valueEnd - value))), "EOF")) {
                run.ended = true;
                break;
            }
        }
    }
    run.end = p;
    return run;
}

}  // namespace

// The second half of a large file, read on another thread while the first
// half is read: from the first code line after the middle (every group has
// two lines, so the lines before it tell which is a code line) for as long
// as its groups are common ones, into the group array's room after the
// first half's groups, and its records into arrays of its own. The first
// half's reading takes over where it stopped.
struct Document::SecondHalf {
    std::size_t middle = 0;      // the first half's reading stops at the first group at or after it
    std::size_t start = 0;       // where the second half's first group starts
    std::size_t firstGroup = 0;  // its index: half the lines before it
    std::size_t count = 0;       // groups read
    Run run;
    bool ready = false;          // start and count are known
    std::vector<Record> records;
    std::vector<std::uint32_t> badHandles;
    std::optional<RecordMaker> maker;
    std::thread thread;

    ~SecondHalf()
    {
        if (thread.joinable()) thread.join();
    }

    // On the second thread: finds the first code line after the middle and
    // reads from there into `room`, the group array's whole room.
    void read(std::string_view file, char terminator, bool crOnly, Group* room, std::size_t roomSize)
    {
        const char* data = file.data();
        const std::size_t size = file.size();
        auto nl = static_cast<const char*>(std::memchr(data + middle, terminator, size - middle));
        if (!nl) return;
        std::size_t at = static_cast<std::size_t>(nl - data) + 1;
        std::size_t lines = countByte(data, data + at, terminator);
        if (lines % 2) {
            nl = static_cast<const char*>(std::memchr(data + at, terminator, size - at));
            if (!nl) return;
            at = static_cast<std::size_t>(nl - data) + 1;
            ++lines;
        }
        start = at;
        firstGroup = lines / 2;
        Group* out = room + firstGroup;
        Group* const outEnd = room + roomSize;
        RecordMaker& m = *maker;
        run = commonGroups(data + at, data + size, data + size, terminator, crOnly,
                           [&](const char* value, std::size_t len, int code) {
                               if (len >= kLongValue || out == outEnd) return false;  // left to the first half's reader
                               const auto val = static_cast<std::size_t>(value - data);
                               *out = Group{static_cast<std::uint32_t>(val), static_cast<std::uint16_t>(len),
                                            static_cast<std::int16_t>(code)};
                               m.group(static_cast<std::uint32_t>(out - room), code, val, len);
                               ++out;
                               return true;
                           });
        count = static_cast<std::size_t>(out - (room + firstGroup));
        ready = true;
    }
};

void Document::startSecondHalf(SecondHalf& h)
{
    h.middle = file_.size() / 2;
    const std::size_t n = (file_.size() - h.middle) / 24 + 16;
    h.records.reserve(n);
    preferLargePages(h.records.data(), h.records.capacity() * sizeof(Record));
    h.maker.emplace(RecordMaker{&h.records, &h.badHandles, file_.data(), format_, {}});
    h.thread = std::thread([&h, file = file_, terminator = terminator_, crOnly = crOnly_, room = groups_.data(),
                            roomSize = groups_.capacity()] { h.read(file, terminator, crOnly, room, roomSize); });
}

// At the first group at or after the middle: the second half's groups join
// the first half's when it starts there, as it must; else they are dropped
// and reading goes on alone. True when the second half read to the end.
bool Document::joinSecondHalf(SecondHalf& h, AsciiScan& scan)
{
    h.thread.join();
    const bool joined = h.ready && scan.pos == h.start && groups_.size() == h.firstGroup;
    if (!joined) return false;
    groups_.resize(groups_.size() + h.count);  // uncleared: the second half's groups stay
    scan.pos = static_cast<std::size_t>(h.run.end - file_.data());
    scan.line += 2 * h.count;
    // The second half made its own pages present; ahead of them only when
    // reading goes on.
    if (!h.run.ended) scan.faultAhead->filled(groups_.size() * sizeof(Group));
    // The second half's groups before its first record end the first
    // half's last one; its records follow.
    const std::size_t gapEnd = h.records.empty() ? groups_.size() : h.records.front().first;
    for (std::size_t g = h.firstGroup; g < gapEnd; ++g)
        scan.maker->group(static_cast<std::uint32_t>(g), groups_[g].code, groups_[g].val, groups_[g].len);
    scan.maker->adopt(*h.maker);
    return h.run.ended;
}

// The common case, a run of groups at a time up to the next progress report
// or the middle, its state in locals.
Document::AsciiStep Document::readCommonGroups(AsciiScan& scan, std::size_t& reportAt, const SecondHalf* half)
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    RecordMaker& maker = *scan.maker;
    FaultAhead& faultAhead = *scan.faultAhead;
    std::size_t stopAt = progress_ ? std::min(size, reportAt) : size;
    if (half) stopAt = std::min(stopAt, half->middle);
    const std::size_t groupsBefore = groups_.size();
    Run run = commonGroups(data + scan.pos, data + stopAt, data + size, terminator_, crOnly_,
                           [&](const char* value, std::size_t len, int code) {
                               const auto val = static_cast<std::size_t>(value - data);
                               addGroup(val, len, code);
                               maker.group(static_cast<std::uint32_t>(groups_.size() - 1), code, val, len);
                               faultAhead.filled(groups_.size() * sizeof(Group));
                               return true;
                           });
    scan.pos = static_cast<std::size_t>(run.end - data);
    scan.line += 2 * (groups_.size() - groupsBefore);
    if (run.ended) {
        tailBegin_ = static_cast<std::uint32_t>(scan.pos);
        return AsciiStep::End;
    }
    return run.odd ? readOddGroup(scan) : AsciiStep::Next;
}

bool Document::tokenizeAscii()
{
    const std::size_t size = file_.size();
    detectLineEnds();
    firstGroup_ = 0;
    tailBegin_ = static_cast<std::uint32_t>(size);
    reserveGroups(3);  // "0", a line end, an empty value and its line end
    reserveRecords(24);
    FaultAhead faultAhead(groups_.data(), groups_.capacity() * sizeof(Group));
    RecordMaker maker{&records_, &badHandles_, file_.data(), format_, {}};
    AsciiScan scan;
    scan.maker = &maker;
    scan.faultAhead = &faultAhead;

    // A large file is read in two halves at once, when the group array has
    // room for every group the file could hold and no one follows the
    // progress (the command line's way).
    std::optional<SecondHalf> second;
    if (size >= (16u << 20) && !progress_ && groups_.capacity() >= size / 3 + 1) {
        second.emplace();
        try {
            startSecondHalf(*second);
        } catch (const std::system_error&) {
            second.reset();  // no thread to be had: one reader for the whole file
        }
    }
    std::size_t reportAt = 0;
    while (scan.pos < size) {
        if (second && scan.pos >= second->middle) {
            const bool ended = joinSecondHalf(*second, scan);
            second.reset();
            if (ended) {
                tailBegin_ = static_cast<std::uint32_t>(scan.pos);
                break;
            }
            continue;
        }
        if (progress_ && scan.pos >= reportAt) {
            if (!report(static_cast<int>(70 * scan.pos / size))) return false;
            reportAt = scan.pos + (4u << 20);
        }
        AsciiStep step = scan.first ? readOddGroup(scan) : readCommonGroups(scan, reportAt, second ? &*second : nullptr);
        if (step == AsciiStep::Fail) return false;
        if (step == AsciiStep::End) break;
    }
    second.reset();  // the first half ended early or failed: the second's work is not wanted
    if (groups_.empty()) {
        error_ = "The file holds no DXF groups.";
        return false;
    }
    if (scan.unknownCodes)
        repairs_.push_back(std::to_string(scan.unknownCodes) + (scan.unknownCodes == 1 ? " group has" : " groups have") +
                           " a code that DXF does not define, the first " + scan.firstUnknown + "; kept as text.");
    return true;
}

// A line where a group code should stand that is none: blank lines at the
// very end of the file (padding, kept as trailing bytes), or the sign of a
// file that is no DXF.
Document::AsciiStep Document::notACode(AsciiScan& scan, std::string_view codeText)
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    const std::size_t pos = scan.pos;
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
    if (!parseCode(codeText, code)) return notACode(scan, codeText);
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
    scan.maker->group(static_cast<std::uint32_t>(groups_.size() - 1), code, valStart, valEnd - valStart);
    if (scan.first) {
        // The file's code line style: right-aligned ("  0") or not ("0").
        style_.codeWidth = (!codeText.empty() && codeText[0] == ' ') ? static_cast<int>(codeText.size()) : 0;
    }
    scan.first = false;
    scan.pos = next;
    scan.line += 2;
    if (code == code::kType) {
        if (is(trim(std::string_view(data + valStart, valEnd - valStart)), "EOF")) {
            tailBegin_ = static_cast<std::uint32_t>(scan.pos);
            return AsciiStep::End;
        }
    }
    return AsciiStep::Next;
}

namespace {

// Where a binary group's value stands, from its code's type: `pos` is moved
// past it. Null, or what is wrong.
[[gnu::always_inline]] inline const char* binaryValue(const char* data, std::size_t size, int code, std::size_t& pos,
                                                      std::size_t& valStart, std::size_t& valLen)
{
    switch (valueTypeOf(code)) {
    case ValueType::Invalid: return "unknown group code.";
    case ValueType::String: {
        auto nul = static_cast<const char*>(std::memchr(data + pos, '\0', size - pos));
        if (!nul) return "the file is truncated inside a text value.";
        valLen = static_cast<std::size_t>(nul - (data + pos));
        pos += valLen + 1;
        break;
    }
    case ValueType::Binary: {
        if (pos >= size) return "the file is truncated.";
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
    return nullptr;
}

}  // namespace

bool Document::tokenizeBinary()
{
    const char* data = file_.data();
    const std::size_t size = file_.size();
    std::size_t pos = kBinarySentinel.size();
    prefixEnd_ = static_cast<std::uint32_t>(pos);
    firstGroup_ = static_cast<std::uint32_t>(pos);
    tailBegin_ = static_cast<std::uint32_t>(size);
    style_.eol.clear();
    // Release 12 binary files have one-byte group codes; later ones two.
    // The first group is "0 SECTION", which tells the two apart.
    style_.binaryCodeBytes = (pos + 2 < size && data[pos] == 0 && data[pos + 1] == 'S') ? 1 : 2;
    reserveGroups(3);  // a two-byte code and a one-byte value
    reserveRecords(24);
    // Counting only, the group array stays small: pages made present ahead
    // of it would mostly be made in vain.
    FaultAhead faultAhead(groups_.data(), countsOnly_ ? 0 : groups_.capacity() * sizeof(Group));
    RecordMaker maker{&records_, &badHandles_, data, format_, {}};

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
        if (style_.binaryCodeBytes == 1) {
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
        if (valueTypeOf(code) == ValueType::Invalid) return fail(start, "unknown group code " + std::to_string(code) + ".");
        std::size_t valStart = pos, valLen = 0;
        if (const char* why = binaryValue(data, size, code, pos, valStart, valLen)) return fail(start, why);
        if (pos > size) return fail(start, "the file is truncated.");
        if (countsOnly_ && code == code::kType) trimLastRecord();
        addGroup(valStart, valLen, code);
        maker.group(static_cast<std::uint32_t>(groups_.size() - 1), code, valStart, valLen);
        faultAhead.filled(groups_.size() * sizeof(Group));
        if (code == code::kType) {
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
    // The records were made as the groups were read (RecordMaker); the
    // last one ends with the last group. Groups before the first record:
    // comments, and in files of some writers header variables ahead of the
    // HEADER section. They stay as they are; buildStructure reads the
    // header variables among them.
    if (records_.empty()) {
        error_ = "The file holds no DXF records (no group with code 0); it is not a DXF drawing.";
        return false;
    }
    prefixEnd_ = recordBegin(0);
    fileRecords_ = recordCount();
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

#include "ddvue/dxf/Document.h"

#include "ddvue/dxf/Operations.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <new>

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ddvue::dxf {

namespace {

constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFF0ull;

// Blanks around codes, type names and numbers; a stray CR too, which some
// writers leave before the line end.
std::string_view trim(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A record type or section name, compared as CAD programs compare them:
// without regard to the letter case of a writer that used lower case.
bool is(std::string_view name, std::string_view upperCase)
{
    if (name.size() != upperCase.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upperCase[i]) return false;
    }
    return true;
}

std::string upper(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

// The upper-case form of a UTF-8 name, for the case-insensitive name lookups
// of layers and blocks. ASCII letters only: that is what CAD programs fold.
std::string nameKey(std::string_view utf8) { return upper(utf8); }

bool parseCode(std::string_view text, int& code)
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

std::string shortQuote(std::string_view s)
{
    std::string q;
    for (char c : s.substr(0, 24)) q.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
    if (s.size() > 24) q += "...";
    return "\"" + q + "\"";
}

template <typename T>
T readLe(const char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::int64_t binaryInteger(ValueType type, const char* p, std::uint32_t len)
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

std::int64_t asciiInteger(std::string_view text)
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

double asciiReal(std::string_view text)
{
    text = trim(text);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

bool isBracketOpen(std::string_view v) { return !v.empty() && v.front() == '{'; }

// The first `c` at or after `p`, or `end`. Most lines of a drawing are a few
// bytes long: eight at a time are looked at before the library's search
// takes over for long ones.
const char* findByte(const char* p, const char* end, char c)
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
constexpr auto valueTypes = [] {
    std::array<ValueType, 1072> table{};
    for (int c = 0; c < 1072; ++c) table[static_cast<std::size_t>(c)] = valueTypeOf(c);
    return table;
}();

}  // namespace

// ---------------------------------------------------------------- RecordView

std::string_view RecordView::rawGroup(std::uint32_t i) const
{
    std::uint32_t from = start(i);
    std::uint32_t end = i + 1 < count_ ? start(i + 1) : end_;
    return {base_ + from, end - from};
}

std::uint32_t RecordView::start(std::uint32_t i) const
{
    return i == 0 ? begin_ : doc_->afterValue(base_, end_, groups_[i - 1], length(i - 1));
}

std::string RecordView::text(std::uint32_t i) const { return doc_->codec_->decode(raw(i)); }

double RecordView::real(std::uint32_t i) const
{
    if (doc_->format_ == Format::Ascii) return asciiReal(raw(i));
    ValueType t = valueTypeOf(groups_[i].code);
    if (t == ValueType::Double) return length(i) >= 8 ? readLe<double>(base_ + groups_[i].val) : 0.0;
    if (t == ValueType::String) return asciiReal(raw(i));
    return static_cast<double>(binaryInteger(t, base_ + groups_[i].val, length(i)));
}

std::int64_t RecordView::integer(std::uint32_t i) const
{
    if (doc_->format_ == Format::Ascii) return asciiInteger(raw(i));
    ValueType t = valueTypeOf(groups_[i].code);
    if (t == ValueType::String) return asciiInteger(raw(i));
    return binaryInteger(t, base_ + groups_[i].val, length(i));
}

int RecordView::find(int code, std::uint32_t from) const
{
    for (std::uint32_t i = from; i < count_; ++i) {
        int c = groups_[i].code;
        if (c == 1001) return -1;
        if (c == code) return static_cast<int>(i);
    }
    return -1;
}

int RecordView::findMain(int code) const
{
    int found = -1;
    forEachMain([&](std::uint32_t i, int c) {
        if (c != code) return true;
        found = static_cast<int>(i);
        return false;
    });
    return found;
}

std::string RecordView::textOf(int code, std::string_view fallback) const
{
    int i = findMain(code);
    return i < 0 ? std::string(fallback) : text(static_cast<std::uint32_t>(i));
}

double RecordView::realOf(int code, double fallback) const
{
    int i = findMain(code);
    return i < 0 ? fallback : real(static_cast<std::uint32_t>(i));
}

std::int64_t RecordView::integerOf(int code, std::int64_t fallback) const
{
    int i = findMain(code);
    return i < 0 ? fallback : integer(static_cast<std::uint32_t>(i));
}

// ------------------------------------------------------------------ Document

Document::Document() : codec_(TextCodec::utf8()) {}
Document::~Document() = default;

int Document::addListener(Listener listener)
{
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void Document::removeListener(int id)
{
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

History& Document::history()
{
    if (!history_) history_ = std::make_unique<History>(*this);
    return *history_;
}

const History& Document::history() const { return const_cast<Document*>(this)->history(); }

Document::RecordState Document::state(std::uint32_t record) const
{
    const Replacement* rep = replacement(record);
    return rep ? RecordState(*rep) : std::nullopt;
}

void Document::restore(std::uint32_t record, const RecordState& state, Change::What what)
{
    if (state) replaced_[record] = *state;
    else replaced_.erase(record);
    notify(what, record);
}

std::string_view Document::bytesIn(std::uint32_t record, const RecordState& state) const
{
    if (state) return state->deleted ? std::string_view() : std::string_view(state->bytes);
    std::uint32_t end = record + 1 < records_.size() ? records_[record + 1].begin : tailBegin_;
    return file_.substr(records_[record].begin, end - records_[record].begin);
}

void Document::touching(std::uint32_t record, Change::What what)
{
    if (!journal_) return;
    for (const Touched& t : *journal_)
        if (t.record == record) return;
    journal_->push_back(Touched{record, what, state(record)});
}

bool Document::load(std::string bytes, const Progress& progress)
{
    bytes_ = std::move(bytes);
    mapping_.reset();
    file_ = bytes_;
    return read(progress);
}

bool Document::loadFile(const std::string& path, const Progress& progress)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        bytes_.clear();
        mapping_.reset();
        file_ = {};
        error_ = std::string("Cannot read the file: ") + std::strerror(errno);
        return false;
    }
    bool ok = loadFile(fd, progress);
    ::close(fd);
    return ok;
}

bool Document::loadFile(int fd, const Progress& progress)
{
    bytes_.clear();
    mapping_.reset();
    file_ = {};
    error_.clear();
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error_ = "Cannot read the file: not a regular file.";
        return false;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > 0 && size <= kMaxFileSize) {
        // The file's pages as the system caches them, read-only: no copy,
        // and no fresh memory to clear. The document never writes into them.
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (at != MAP_FAILED) {
            mapping_ = std::shared_ptr<void>(at, [size](void* p) { ::munmap(p, size); });
            file_ = std::string_view(static_cast<const char*>(at), size);
            return read(progress);
        }
    }
    // Empty, too large, or not to be mapped: read as bytes.
    std::string bytes = size <= kMaxFileSize ? fileBuffer(size) : std::string();
    std::size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            error_ = std::string("Cannot read the file: ") + (n < 0 ? std::strerror(errno) : "it ended early");
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    if (size > kMaxFileSize) {
        error_ = "The file is larger than 4 GB.";
        return false;
    }
    bytes_ = std::move(bytes);
    file_ = bytes_;
    return read(progress);
}

bool Document::read(const Progress& progress)
{
    error_.clear();
    repairs_.clear();
    groups_.clear();
    longs_.clear();
    records_.clear();
    replaced_.clear();
    headerVars_.clear();
    byHandle_.clear();
    layers_.clear();
    layerIndex_.clear();
    blocks_.clear();
    blockIndex_.clear();
    spaces_.clear();
    headerRecord_ = UINT32_MAX;
    recordStarts_ = 0;
    if (file_.size() > kMaxFileSize) {
        error_ = "The file is larger than 4 GB.";
        return false;
    }
    if (file_.empty()) {
        error_ = "The file is empty.";
        return false;
    }
    stopped_ = false;
    progress_ = progress;
    bool ok = tokenize() && buildRecords() && buildStructure();
    progress_ = nullptr;
    return ok;
}

bool Document::report(int percent)
{
    if (!progress_ || progress_(percent)) return true;
    stopped_ = true;
    error_ = "Reading the drawing was stopped.";
    return false;
}

static void preferLargePages(const void* data, std::size_t size)
{
#ifdef __linux__
    // Millions of 4 KB page faults cost a large drawing more time than
    // reading it does; 2 MB pages take a few hundred.
    constexpr std::uintptr_t page = 4096;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(page - 1);
    if (size >= (4u << 20) && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

std::string fileBuffer(std::size_t size)
{
    std::string buffer;
    buffer.reserve(size);
    preferLargePages(buffer.data(), size);
    buffer.resize(size);
    return buffer;
}

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

bool Document::tokenizeAscii()
{
    const char* data = file_.data();
    const std::size_t size = file_.size();

    // Line ends: LF or CR LF (a CR before the LF is not part of the line), or
    // old Macintosh CR alone when the file has no LF at all.
    const void* firstLf = std::memchr(data, '\n', size);
    const void* firstCr = std::memchr(data, '\r', size);
    bool crOnly = firstCr && !firstLf;
    if (firstLf && !crOnly) {
        auto lf = static_cast<const char*>(firstLf);
        eol_ = (lf > data && lf[-1] == '\r') ? "\r\n" : "\n";
    } else if (crOnly) {
        eol_ = "\r";
    }
    const char terminator = crOnly ? '\r' : '\n';
    terminator_ = terminator;
    crOnly_ = crOnly;
    firstGroup_ = 0;

    // Returns the end of the line's content and sets `next` to the next line.
    auto lineAt = [&](std::size_t pos, std::size_t& next) -> std::size_t {
        auto p = static_cast<const char*>(std::memchr(data + pos, terminator, size - pos));
        if (!p) {
            next = size;
            return size;
        }
        std::size_t end = static_cast<std::size_t>(p - data);
        next = end + 1;
        // A CR cannot be part of a value: every one before the LF goes.
        while (!crOnly && end > pos && data[end - 1] == '\r') --end;
        return end;
    };

    std::size_t pos = 0;
    std::size_t line = 1;
    tailBegin_ = static_cast<std::uint32_t>(size);
    reserveGroups(3);  // "0", a line end, an empty value and its line end
    bool first = true;
    std::size_t reportAt = 0;
    std::size_t unknownCodes = 0;
    std::string firstUnknown;
    while (pos < size) {
        if (progress_ && pos >= reportAt) {
            if (!report(static_cast<int>(70 * pos / size))) return false;
            reportAt = pos + (4u << 20);
        }
        std::size_t next = 0;
        int code = 0;
        if (!first) {
            // The common case in one pass: blanks, digits, blanks, the line
            // end, then a short value line.
            const char* p = data + pos;
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
                pos = q < end ? static_cast<std::size_t>(q - data) + 1 : size;
                line += 2;
                if (v == 0) {
                    ++recordStarts_;
                    if (is(trim(std::string_view(value, static_cast<std::size_t>(valueEnd - value))), "EOF")) {
                        tailBegin_ = static_cast<std::uint32_t>(pos);
                        break;
                    }
                }
                continue;
            }
        }
        // Everything else: signs, padding, the first line, odd codes, the end.
        std::size_t codeEnd = lineAt(pos, next);
        std::string_view codeText(data + pos, codeEnd - pos);
        if (first && codeText.substr(0, 3) == "\xEF\xBB\xBF") codeText.remove_prefix(3);
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
                    break;
                }
            }
            if (first && std::string_view(data, std::min<std::size_t>(size, 6)).substr(0, 2) == "AC")
                error_ = "This is a DWG drawing, not a DXF file.";
            else
                error_ = "Line " + std::to_string(line) + ": the group code " + shortQuote(codeText) +
                         " is not a number; this is not a DXF file or it is damaged.";
            return false;
        }
        if (code < INT16_MIN || code > INT16_MAX) {
            error_ = "Line " + std::to_string(line) + ": the group code " + std::to_string(code) +
                     " is out of range; this is not a DXF file or it is damaged.";
            return false;
        }
        if (valueTypeOf(code) == ValueType::Invalid) {
            // Not a code of the format, but the value is a line like any
            // other: kept as text, as CAD programs that recover files do.
            if (unknownCodes++ == 0)
                firstUnknown = std::to_string(code) + " (line " + std::to_string(line) + ")";
        }
        if (next >= size) {
            if (!groups_.empty()) {
                // The last line is a group code without its value (most often
                // the EOF whose name was lost): kept as trailing bytes.
                tailBegin_ = static_cast<std::uint32_t>(pos);
                repairs_.push_back("The last line, group code " + std::to_string(code) +
                                   ", has no value; it is kept as it is.");
                break;
            }
            error_ = "Line " + std::to_string(line) + ": group code " + std::to_string(code) +
                     " has no value; the file is truncated.";
            return false;
        }
        std::size_t valStart = next;
        std::size_t valEnd = lineAt(valStart, next);
        addGroup(valStart, valEnd - valStart, code);
        if (first) {
            // The file's code line style: right-aligned ("  0") or not ("0").
            std::string_view t = codeText;
            codeWidth_ = (!t.empty() && t[0] == ' ') ? static_cast<int>(t.size()) : 0;
        }
        first = false;
        pos = next;
        line += 2;
        if (code == 0) {
            ++recordStarts_;
            if (is(trim(std::string_view(data + valStart, valEnd - valStart)), "EOF")) {
                tailBegin_ = static_cast<std::uint32_t>(pos);
                break;
            }
        }
    }
    if (groups_.empty()) {
        error_ = "The file holds no DXF groups.";
        return false;
    }
    if (unknownCodes)
        repairs_.push_back(std::to_string(unknownCodes) + (unknownCodes == 1 ? " group has" : " groups have") +
                           " a code that DXF does not define, the first " + firstUnknown +
                           "; kept as text.");
    return true;
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
        if (code == 0) {
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
    while (i < n && groups_[i].code != 0) ++i;
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
        while (i < n && groups_[i].code != 0) ++i;
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

RecordView Document::view(std::uint32_t i) const
{
    if (const Replacement* rep = replacement(i))
        return RecordView(*this, rep->bytes.data(), rep->groups.data(), static_cast<std::uint32_t>(rep->groups.size()),
                          0, static_cast<std::uint32_t>(rep->bytes.size()), &rep->longs);
    const Record& r = records_[i];
    std::uint32_t end = i + 1 < records_.size() ? records_[i + 1].begin : tailBegin_;
    return RecordView(*this, file_.data(), groups_.data() + r.first, r.count, r.begin, end, &longs_);
}

const Document::Replacement* Document::replacement(std::uint32_t i) const
{
    if (replaced_.empty()) return nullptr;
    auto it = replaced_.find(i);
    return it == replaced_.end() ? nullptr : &it->second;
}

bool Document::isDeleted(std::uint32_t i) const
{
    const Replacement* rep = replacement(i);
    return rep && rep->deleted;
}

RecordView Document::headerView() const
{
    // Header variables may stand anywhere in a repaired file: the view
    // spans every group as read, and headerValue() indexes into it.
    return RecordView(*this, file_.data(), groups_.data(), static_cast<std::uint32_t>(groups_.size()), firstGroup_,
                      tailBegin_, &longs_);
}

std::optional<std::uint32_t> Document::headerValue(std::string_view name) const
{
    auto it = headerVars_.find(upper(name));
    if (it == headerVars_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint64_t> Document::parseHandle(std::string_view hex)
{
    hex = trim(hex);
    if (hex.empty() || hex.size() > 16) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : hex) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return std::nullopt;
        v = v * 16 + static_cast<std::uint64_t>(d);
    }
    if (v == 0) return std::nullopt;
    return v;
}

std::string Document::formatHandle(std::uint64_t handle)
{
    char buf[20];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, handle, 16);
    std::string s(buf, p);
    for (auto& c : s)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::optional<std::uint32_t> Document::findHandle(std::uint64_t handle) const
{
    auto it = std::lower_bound(byHandle_.begin(), byHandle_.end(), std::make_pair(handle, std::uint32_t{0}));
    if (it == byHandle_.end() || it->first != handle || isDeleted(it->second)) return std::nullopt;
    return it->second;
}

std::optional<std::uint32_t> Document::findHandle(std::string_view hex) const
{
    auto h = parseHandle(hex);
    if (!h) return std::nullopt;
    return findHandle(*h);
}

std::optional<std::uint32_t> Document::findLayer(std::string_view name) const
{
    auto it = layerIndex_.find(nameKey(name));
    if (it == layerIndex_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint32_t> Document::findBlock(std::string_view name) const
{
    auto it = blockIndex_.find(nameKey(name));
    if (it == blockIndex_.end()) return std::nullopt;
    return it->second;
}

std::vector<std::uint32_t> Document::children(std::uint32_t record) const
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t j = record + 1; j < records_.size() && records_[j].parent == static_cast<std::int32_t>(record);
         ++j)
        out.push_back(j);
    return out;
}

bool Document::buildStructure()
{
    const std::uint32_t n = recordCount();
    auto groupText = [&](std::uint32_t g) {
        return std::string_view(file_.data() + groups_[g].val, lengthOf(groups_[g]));
    };
    auto sectionOf = [](std::string_view name) {
        if (is(name, "HEADER")) return Section::Header;
        if (is(name, "CLASSES")) return Section::Classes;
        if (is(name, "TABLES")) return Section::Tables;
        if (is(name, "BLOCKS")) return Section::Blocks;
        if (is(name, "ENTITIES")) return Section::Entities;
        if (is(name, "OBJECTS")) return Section::Objects;
        return Section::Other;
    };

    // Header variables: "9 $NAME" and the value group after it. The first
    // of a name counts.
    std::size_t strayVariables = 0;
    auto readVariables = [&](std::uint32_t from, std::uint32_t count, bool inHeader) {
        for (std::uint32_t g = from; g + 1 < from + count; ++g) {
            if (groups_[g].code != 9) continue;
            int next = groups_[g + 1].code;
            if (next == 9 || next == 0) continue;
            if (headerVars_.emplace(upper(trim(groupText(g))), g + 1).second && !inHeader) ++strayVariables;
        }
    };

    // First the sections: which record belongs to which, and the header
    // variables, wherever they stand. Files that some programs write break
    // the rules: a header cut by a stray ENDSEC with more variables after
    // it, variables or records before the first section, a section without
    // its ENDSEC. Such files are read as CAD programs read them; the bytes
    // stay as they are.
    Section section = Section::None;
    std::string sectionName;
    std::size_t strayEnds = 0, unclosed = 0, outsideRecords = 0;
    std::string firstOutside;
    readVariables(0, n ? records_[0].first : 0, false);
    for (std::uint32_t i = 0; i < n; ++i) {
        Record& r = records_[i];
        std::string_view type = trim(groupText(r.first));
        if (is(type, "SECTION")) {
            if (section != Section::None) ++unclosed;
            sectionName.clear();
            for (std::uint32_t g = r.first + 1; g < r.first + r.count; ++g) {
                if (groups_[g].code == 2) {
                    sectionName = std::string(trim(groupText(g)));
                    break;
                }
            }
            section = sectionOf(sectionName);
            r.kind = Kind::SectionStart;
            r.section = section;
            if (section == Section::Header) {
                if (headerRecord_ == UINT32_MAX) headerRecord_ = i;
                readVariables(r.first, r.count, true);
            }
            continue;
        }
        if (is(type, "ENDSEC")) {
            if (section == Section::None) ++strayEnds;
            r.kind = Kind::SectionEnd;
            r.section = section;
            section = Section::None;
            // Groups after an ENDSEC belong to no record; header variables
            // among them still count.
            readVariables(r.first, r.count, false);
            continue;
        }
        if (is(type, "EOF")) {
            // The end of the file closes a section whose ENDSEC a writer
            // left out: the file itself is whole.
            r.kind = Kind::Eof;
            section = Section::None;
            continue;
        }
        r.section = section;
        if (section == Section::Header) {
            readVariables(r.first, r.count, true);
        } else if (section == Section::None) {
            if (outsideRecords++ == 0) firstOutside = std::string(type.substr(0, 32));
            readVariables(r.first, r.count, false);
        }
    }
    if (section != Section::None) {
        error_ = "The drawing ends inside its " + sectionName + " section; the file is truncated.";
        return false;
    }
    if (strayEnds)
        repairs_.push_back(std::to_string(strayEnds) + (strayEnds == 1 ? " ENDSEC stands" : " ENDSECs stand") +
                           " outside any section; ignored.");
    if (unclosed)
        repairs_.push_back(std::to_string(unclosed) + (unclosed == 1 ? " section has" : " sections have") +
                           " no ENDSEC; each ends where the next begins.");
    if (strayVariables)
        repairs_.push_back(std::to_string(strayVariables) +
                           (strayVariables == 1 ? " header variable stands" : " header variables stand") +
                           " outside the HEADER section; read as part of it.");
    if (outsideRecords)
        repairs_.push_back(std::to_string(outsideRecords) + (outsideRecords == 1 ? " record" : " records") +
                           " (the first " + firstOutside + ") " + (outsideRecords == 1 ? "stands" : "stand") +
                           " outside any section; kept in the file, not listed.");

    auto headerText = [&](std::string_view name) -> std::string {
        auto at = headerValue(name);
        return at ? std::string(trim(groupText(*at))) : std::string();
    };
    acadver_ = headerText("$ACADVER");
    codec_ = TextCodec::forDrawing(acadver_.empty() ? std::string("AC1009") : acadver_, headerText("$DWGCODEPAGE"));

    // Integer style for groups the editor adds: AutoCAD right-aligns them in six columns.
    if (format_ == Format::Ascii && headerRecord_ != UINT32_MAX) {
        RecordView h = view(headerRecord_);
        for (std::uint32_t g = 0; g < h.size(); ++g) {
            if (valueTypeOf(h.code(g)) == ValueType::Int16) {
                std::string_view v = h.raw(g);
                intWidth_ = (!v.empty() && v[0] == ' ') ? static_cast<int>(v.size()) : 0;
                break;
            }
        }
    }

    std::string tableName;
    std::int32_t currentBlock = -1;
    std::int32_t owner = -1;  // the INSERT or POLYLINE whose ATTRIBs or VERTEXes may follow
    std::unordered_map<std::uint64_t, std::string> blockRecordNames;
    std::vector<std::pair<std::string, std::uint64_t>> layouts;  // layout name, block record handle
    std::uint64_t maxHandle = 0;
    std::size_t unreadableHandles = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (progress_ && (i & 0xFFFF) == 0 && !report(70 + static_cast<int>(30ull * i / n))) return false;
        Record& r = records_[i];
        if (r.kind == Kind::SectionStart || r.kind == Kind::SectionEnd || r.kind == Kind::Eof) {
            owner = -1;
            if (r.kind != Kind::SectionStart) currentBlock = -1;
            continue;
        }
        const Section section = r.section;
        if (section == Section::None || section == Section::Header || section == Section::Classes) continue;
        RecordView v = view(i);
        std::string_view type = trim(v.type());

        // One pass over the main groups for the handle (5 for most, 105 for
        // dimension styles), the paper space flag (67) and the owner (330).
        const int handleCode = is(type, "DIMSTYLE") ? 105 : 5;
        int handleAt = -1, paperAt = -1, ownerAt = -1;
        v.forEachMain([&](std::uint32_t g, int c) {
            if (c == handleCode) {
                if (handleAt < 0) handleAt = static_cast<int>(g);
            } else if (c == 67) {
                if (paperAt < 0) paperAt = static_cast<int>(g);
            } else if (c == 330) {
                if (ownerAt < 0) ownerAt = static_cast<int>(g);
            }
        });
        if (handleAt >= 0) {
            if (auto h = parseHandle(v.str(static_cast<std::uint32_t>(handleAt)))) {
                r.handle = *h;
                maxHandle = std::max(maxHandle, *h);
            } else {
                ++unreadableHandles;
            }
        }

        switch (section) {
        case Section::Tables:
            if (is(type, "TABLE")) {
                r.kind = Kind::TableStart;
                int at = v.find(2);
                tableName = at < 0 ? std::string() : std::string(trim(v.str(static_cast<std::uint32_t>(at))));
            } else if (is(type, "ENDTAB")) {
                r.kind = Kind::TableEnd;
            } else if (is(type, "LAYER")) {
                r.kind = Kind::Layer;
                std::string name = v.textOf(2);
                layerIndex_.emplace(nameKey(name), static_cast<std::uint32_t>(layers_.size()));
                layers_.push_back(LayerEntry{std::move(name), i});
            } else if (is(type, "BLOCK_RECORD")) {
                r.kind = Kind::BlockRecord;
                if (r.handle) blockRecordNames[r.handle] = v.textOf(2);
            }
            break;
        case Section::Objects:
            if (is(type, "LAYOUT")) {
                r.kind = Kind::Layout;
                // The layout's name (1) and, in its AcDbLayout part, the
                // block record of its space (330).
                std::string name;
                std::uint64_t blockRecord = 0;
                bool inLayout = false;
                for (std::uint32_t g = 1; g < v.size(); ++g) {
                    if (v.code(g) == 100) inLayout = trim(v.str(g)) == "AcDbLayout";
                    else if (inLayout && v.code(g) == 1 && name.empty()) name = v.text(g);
                    else if (inLayout && v.code(g) == 330) {
                        if (auto h = parseHandle(v.str(g))) blockRecord = *h;
                    }
                }
                layouts.emplace_back(std::move(name), blockRecord);
            }
            break;
        case Section::Blocks:
        case Section::Entities: {
            if (section == Section::Blocks && is(type, "BLOCK")) {
                r.kind = Kind::BlockStart;
                currentBlock = static_cast<std::int32_t>(blocks_.size());
                BlockDef b;
                b.name = v.textOf(2);
                b.begin = b.end = i;
                blockIndex_.emplace(nameKey(b.name), static_cast<std::uint32_t>(blocks_.size()));
                blocks_.push_back(std::move(b));
                owner = -1;
                break;
            }
            if (section == Section::Blocks && is(type, "ENDBLK")) {
                r.kind = Kind::BlockEnd;
                if (currentBlock >= 0) blocks_[static_cast<std::size_t>(currentBlock)].end = i;
                r.block = currentBlock;
                currentBlock = -1;
                owner = -1;
                break;
            }
            r.block = section == Section::Blocks ? currentBlock : -1;
            r.paperSpace = paperAt >= 0 && v.integer(static_cast<std::uint32_t>(paperAt)) == 1;
            if (!r.paperSpace && section == Section::Entities && ownerAt >= 0 && !blockRecordNames.empty()) {
                // Some writers leave out the paper space flag and name only
                // the owner: the paper space block record.
                auto h = parseHandle(v.str(static_cast<std::uint32_t>(ownerAt)));
                auto it = h ? blockRecordNames.find(*h) : blockRecordNames.end();
                r.paperSpace = it != blockRecordNames.end() && nameKey(it->second).rfind("*PAPER_SPACE", 0) == 0;
            }
            if (is(type, "INSERT")) r.kind = Kind::Insert;
            else if (is(type, "ATTRIB")) r.kind = Kind::Attrib;
            else if (is(type, "ATTDEF")) r.kind = Kind::Attdef;
            else if (is(type, "TEXT")) r.kind = Kind::Text;
            else if (is(type, "MTEXT")) r.kind = Kind::MText;
            else if (is(type, "POLYLINE")) r.kind = Kind::Polyline;
            else if (is(type, "VERTEX")) r.kind = Kind::Vertex;
            else if (is(type, "SEQEND")) r.kind = Kind::SeqEnd;

            bool child = false;
            if (owner >= 0) {
                Kind ok = records_[static_cast<std::size_t>(owner)].kind;
                if ((r.kind == Kind::Attrib && ok == Kind::Insert) || (r.kind == Kind::Vertex && ok == Kind::Polyline) ||
                    r.kind == Kind::SeqEnd)
                    child = true;
            }
            if (child) {
                r.parent = owner;
                if (r.kind == Kind::SeqEnd) owner = -1;
                break;
            }
            owner = (r.kind == Kind::Insert || r.kind == Kind::Polyline) ? static_cast<std::int32_t>(i) : -1;
            if (r.kind == Kind::SeqEnd) break;  // a stray SEQEND belongs to nothing
            if (section == Section::Blocks) {
                if (currentBlock >= 0) blocks_[static_cast<std::size_t>(currentBlock)].entities.push_back(i);
            }
            break;
        }
        default: break;
        }
    }

    indexHandles(maxHandle, unreadableHandles);

    // Spaces: model space, the paper layouts, then the block definitions.
    std::unordered_map<std::string, std::string> layoutOfBlock;  // upper block name -> layout name
    for (auto& [name, brHandle] : layouts) {
        auto it = blockRecordNames.find(brHandle);
        if (it != blockRecordNames.end()) layoutOfBlock[nameKey(it->second)] = name;
    }
    auto layoutName = [&](const std::string& block, const char* fallback) {
        auto it = layoutOfBlock.find(nameKey(block));
        return it != layoutOfBlock.end() ? it->second : std::string(fallback);
    };
    Space model{"*Model_Space", layoutName("*Model_Space", "Model"), {}, true};
    Space paper{"*Paper_Space", layoutName("*Paper_Space", "Layout1"), {}, true};
    for (std::uint32_t i = 0; i < n; ++i) {
        const Record& r = records_[i];
        if (r.section != Section::Entities || r.parent >= 0) continue;
        if (r.kind == Kind::SectionStart || r.kind == Kind::SectionEnd || r.kind == Kind::SeqEnd) continue;
        (r.paperSpace ? paper.entities : model.entities).push_back(i);
    }
    std::vector<Space> layoutsOut, blocksOut;
    for (const BlockDef& b : blocks_) {
        std::string key = nameKey(b.name);
        if (key == "*MODEL_SPACE" || key == "$MODEL_SPACE") {
            model.entities.insert(model.entities.end(), b.entities.begin(), b.entities.end());
        } else if (key == "*PAPER_SPACE" || key == "$PAPER_SPACE") {
            paper.entities.insert(paper.entities.end(), b.entities.begin(), b.entities.end());
        } else if (key.rfind("*PAPER_SPACE", 0) == 0) {
            layoutsOut.push_back(Space{b.name, layoutName(b.name, ""), b.entities, true});
        } else {
            blocksOut.push_back(Space{b.name, std::string(), b.entities, false});
        }
    }
    spaces_.clear();
    spaces_.push_back(std::move(model));
    spaces_.push_back(std::move(paper));
    for (auto& s : layoutsOut) spaces_.push_back(std::move(s));
    for (auto& s : blocksOut) spaces_.push_back(std::move(s));
    return true;
}

void Document::indexHandles(std::uint64_t maxHandle, std::size_t unreadable)
{
    const std::uint32_t n = recordCount();
    hasHandles_ = maxHandle != 0;
    if (auto seed = headerValue("$HANDSEED")) {
        const Group& g = groups_[*seed];
        if (auto h = parseHandle(file_.substr(g.val, lengthOf(g)))) maxHandle = std::max(maxHandle, *h);
    }
    // The handles the file gives, sorted; where two records share one, the
    // first in the file keeps it.
    byHandle_.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i)
        if (records_[i].handle) byHandle_.emplace_back(records_[i].handle, i);
    // Files give out handles in the order they write objects, section by
    // section: a few long sorted runs, which merging puts in order faster
    // than sorting does.
    std::vector<std::size_t> runs{0};
    for (std::size_t k = 1; k < byHandle_.size() && runs.size() <= 32; ++k)
        if (byHandle_[k] < byHandle_[k - 1]) runs.push_back(k);
    if (runs.size() > 32) {
        std::sort(byHandle_.begin(), byHandle_.end());
    } else {
        runs.push_back(byHandle_.size());
        for (std::size_t k = 1; k + 1 < runs.size(); ++k)
            std::inplace_merge(byHandle_.begin(), byHandle_.begin() + static_cast<std::ptrdiff_t>(runs[k]),
                               byHandle_.begin() + static_cast<std::ptrdiff_t>(runs[k + 1]));
    }
    std::size_t duplicates = 0;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < byHandle_.size(); ++k) {
        if (kept > 0 && byHandle_[kept - 1].first == byHandle_[k].first) {
            records_[byHandle_[k].second].handle = 0;
            ++duplicates;
            continue;
        }
        byHandle_[kept++] = byHandle_[k];
    }
    byHandle_.resize(kept);
    // Every object without a handle of its own gets one in memory, above
    // every handle of the file, so that each can be named and edited; it is
    // never written.
    for (std::uint32_t i = 0; i < n; ++i) {
        Record& r = records_[i];
        if (r.handle) continue;
        bool object = r.section == Section::Entities || r.section == Section::Blocks || r.section == Section::Objects ||
                      (r.section == Section::Tables && r.kind != Kind::TableStart && r.kind != Kind::TableEnd);
        if (!object || r.kind == Kind::SectionStart || r.kind == Kind::SectionEnd || r.kind == Kind::Eof) continue;
        r.handle = ++maxHandle;
        r.syntheticHandle = true;
        byHandle_.emplace_back(r.handle, i);  // above all before: the order holds
    }
    if (unreadable)
        repairs_.push_back(std::to_string(unreadable) +
                           (unreadable == 1 ? " object has an empty or unreadable handle; it was"
                                            : " objects have an empty or unreadable handle; they were") +
                           " given one in memory.");
    if (duplicates)
        repairs_.push_back(std::to_string(duplicates) +
                           (duplicates == 1 ? " object repeats the handle of an earlier one; it was"
                                            : " objects repeat the handle of an earlier one; they were") +
                           " given one of its own in memory.");
}

void Document::notify(Change::What what, std::uint32_t record) const
{
    const Change change{what, record};
    for (const auto& [id, listener] : listeners_) listener(change);
}

void Document::remove(std::uint32_t record)
{
    touching(record, Change::What::EntityDeleted);
    Replacement& rep = replaced_[record];
    rep.bytes.clear();
    rep.groups.clear();
    rep.deleted = true;
    notify(Change::What::EntityDeleted, record);
}

Document::Edit Document::edit(std::uint32_t record) { return Edit(*this, record); }

std::string Document::serialize() const
{
    if (replaced_.empty()) return std::string(file_);
    std::vector<std::uint32_t> edited;
    edited.reserve(replaced_.size());
    for (auto& [i, rep] : replaced_) edited.push_back(i);
    std::sort(edited.begin(), edited.end());

    auto startOf = [&](std::uint32_t i) -> std::uint32_t {
        return i < records_.size() ? records_[i].begin : tailBegin_;
    };
    std::string out;
    out.reserve(file_.size() + 4096);
    std::uint32_t runStart = 0;
    for (std::uint32_t i : edited) {
        std::uint32_t begin = startOf(i);
        out.append(file_.substr(runStart, begin - runStart));
        const Replacement& rep = replaced_.at(i);
        if (!rep.deleted) out += rep.bytes;
        runStart = startOf(i + 1);
    }
    out.append(file_.substr(runStart));
    return out;
}

int Document::versionCode(std::string_view v)
{
    v = trim(v);
    static const std::pair<std::string_view, int> table[] = {
        {"MC0.0", 0},   {"AC1.2", 1},   {"AC1.40", 2},  {"AC1.50", 3},  {"AC2.10", 4},  {"AC2.21", 4},
        {"AC2.22", 4},  {"AC1001", 4},  {"AC1002", 5},  {"AC1003", 6},  {"AC1004", 7},  {"AC1006", 8},
        {"AC1009", 10}, {"AC1012", 11}, {"AC1014", 12}, {"AC1015", 13}, {"AC1018", 16}, {"AC1021", 18},
        {"AC1024", 19}, {"AC1027", 20}, {"AC1032", 21},
    };
    for (auto& [name, code] : table)
        if (v == name) return code;
    return -1;
}

int Document::versionOfFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    std::string head(256 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.size() >= 6 && (head.compare(0, 2, "AC") == 0 || head.compare(0, 2, "MC") == 0)) {
        // A DWG begins with its version string.
        std::size_t n = head.compare(0, 6, "AC1.40") == 0 || head.compare(0, 6, "AC1.50") == 0 ||
                                head.compare(0, 6, "AC2.10") == 0
                            ? 6
                            : (head.compare(0, 5, "AC1.2") == 0 || head.compare(0, 5, "MC0.0") == 0 ? 5 : 6);
        return versionCode(std::string_view(head).substr(0, n));
    }
    std::size_t at = head.find("$ACADVER");
    bool binary = head.size() >= kBinarySentinel.size() && head.compare(0, kBinarySentinel.size(), kBinarySentinel) == 0;
    if (at == std::string::npos) {
        // A DXF without $ACADVER is read as Release 12, as CAD programs do.
        return head.find("SECTION") != std::string::npos ? 10 : -1;
    }
    if (binary) {
        std::size_t p = at + 9;  // past "$ACADVER\0"
        while (p < head.size() && head[p] != 'A' && head[p] != 'M') ++p;
        std::size_t e = head.find('\0', p);
        if (e == std::string::npos) return -1;
        return versionCode(std::string_view(head).substr(p, e - p));
    }
    // ASCII: "$ACADVER", then the code line, then the value line.
    std::size_t p = head.find('\n', at);
    if (p == std::string::npos) return -1;
    p = head.find('\n', p + 1);
    if (p == std::string::npos) return -1;
    std::size_t e = head.find_first_of("\r\n", p + 1);
    return versionCode(std::string_view(head).substr(p + 1, (e == std::string::npos ? head.size() : e) - p - 1));
}

// ---------------------------------------------------------------------- Edit

Document::Edit::Edit(Document& doc, std::uint32_t record) : doc_(doc), record_(record)
{
    RecordView v = doc.view(record);
    items_.reserve(v.size() + 4);
    for (std::uint32_t i = 0; i < v.size(); ++i) {
        const Group& g = v.group(i);
        std::string_view all = v.rawGroup(i);
        const std::uint32_t head = g.val - v.start(i);
        std::string_view codePart = all.substr(0, head);
        if (doc.format_ == Format::Ascii) {
            while (!codePart.empty() && (codePart.back() == '\n' || codePart.back() == '\r')) codePart.remove_suffix(1);
        } else if (valueTypeOf(g.code) == ValueType::Binary && !codePart.empty()) {
            codePart.remove_suffix(1);  // the length byte is part of the value
        }
        items_.push_back(Item{g.code, std::string(codePart), std::string(v.raw(i)), true, std::string(all), head});
    }
}

int Document::Edit::find(int code, std::uint32_t from) const
{
    for (std::uint32_t i = from; i < items_.size(); ++i) {
        if (items_[i].code == 1001) return -1;
        if (items_[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

int Document::Edit::findMain(int code, std::uint32_t from) const
{
    bool inBracket = false;
    for (std::uint32_t i = 1; i < items_.size(); ++i) {
        int c = items_[i].code;
        if (c == 102) {
            inBracket = isBracketOpen(items_[i].value);
            continue;
        }
        if (inBracket) continue;
        if (c == 1001 || c == 101) return -1;
        if (i >= from && c == code) return static_cast<int>(i);
    }
    return -1;
}

std::string_view Document::Edit::rawValue(std::uint32_t i) const { return items_[i].value; }

std::int64_t Document::Edit::integer(std::uint32_t i) const
{
    const Item& it = items_[i];
    if (doc_.format_ == Format::Ascii) return asciiInteger(it.value);
    ValueType t = valueTypeOf(it.code);
    if (t == ValueType::String) return asciiInteger(it.value);
    return binaryInteger(t, it.value.data(), static_cast<std::uint32_t>(it.value.size()));
}

std::string Document::Edit::formatInteger(int code, std::int64_t v, std::string_view like) const
{
    if (doc_.format_ == Format::Binary) {
        std::string out;
        switch (valueTypeOf(code)) {
        case ValueType::Int16: {
            auto x = static_cast<std::int16_t>(v);
            out.assign(reinterpret_cast<const char*>(&x), 2);
            break;
        }
        case ValueType::Int32: {
            auto x = static_cast<std::int32_t>(v);
            out.assign(reinterpret_cast<const char*>(&x), 4);
            break;
        }
        case ValueType::Int64: out.assign(reinterpret_cast<const char*>(&v), 8); break;
        case ValueType::Bool: out.assign(1, static_cast<char>(v != 0)); break;
        default: out = std::to_string(v); break;
        }
        return out;
    }
    std::string s = std::to_string(v);
    std::size_t width = 0;
    if (!like.empty()) width = (like[0] == ' ') ? like.size() : 0;
    else width = static_cast<std::size_t>(doc_.intWidth_);
    if (s.size() < width) s.insert(0, width - s.size(), ' ');
    return s;
}

Document::Edit::Item Document::Edit::make(int code, std::string value) const
{
    std::string codeText;
    if (doc_.format_ == Format::Ascii) {
        codeText = std::to_string(code);
        if (codeText.size() < static_cast<std::size_t>(doc_.codeWidth_))
            codeText.insert(0, static_cast<std::size_t>(doc_.codeWidth_) - codeText.size(), ' ');
    } else if (doc_.binaryCodeBytes_ == 1) {
        if (code < 255) {
            codeText.assign(1, static_cast<char>(code));
        } else {
            codeText.assign(1, static_cast<char>(255));
            auto c = static_cast<std::uint16_t>(code);
            codeText.append(reinterpret_cast<const char*>(&c), 2);
        }
    } else {
        auto c = static_cast<std::int16_t>(code);
        codeText.assign(reinterpret_cast<const char*>(&c), 2);
    }
    return Item{code, std::move(codeText), std::move(value), false, {}, 0};
}

void Document::Edit::setText(std::uint32_t i, std::string_view utf8)
{
    Item& it = items_[i];
    it.value = doc_.encodeText(utf8);
    it.kept = false;
}

void Document::Edit::setInteger(std::uint32_t i, std::int64_t v)
{
    Item& it = items_[i];
    it.value = formatInteger(it.code, v, doc_.format_ == Format::Ascii ? std::string_view(it.value) : std::string_view());
    it.kept = false;
}

void Document::Edit::remove(std::uint32_t i) { items_.erase(items_.begin() + i); }

void Document::Edit::insertText(std::uint32_t at, int code, std::string_view utf8)
{
    items_.insert(items_.begin() + at, make(code, doc_.encodeText(utf8)));
}

void Document::Edit::insertEncoded(std::uint32_t at, int code, std::string bytes)
{
    items_.insert(items_.begin() + at, make(code, std::move(bytes)));
}

void Document::Edit::insertInteger(std::uint32_t at, int code, std::int64_t v)
{
    items_.insert(items_.begin() + at, make(code, formatInteger(code, v, {})));
}

void Document::Edit::commit(Change::What what)
{
    Replacement rep;
    const bool ascii = doc_.format_ == Format::Ascii;
    for (const Item& it : items_) {
        const auto start = static_cast<std::uint32_t>(rep.bytes.size());
        Group g{0, 0, static_cast<std::int16_t>(it.code)};
        std::size_t len = it.value.size();
        if (it.kept) {
            // The group as it was: same bytes, same value position.
            g.val = start + it.valueOffset;
            rep.bytes += it.original;
        } else if (ascii) {
            rep.bytes += it.codeText;
            rep.bytes += doc_.eol_;
            g.val = static_cast<std::uint32_t>(rep.bytes.size());
            rep.bytes += it.value;
            rep.bytes += doc_.eol_;
        } else {
            rep.bytes += it.codeText;
            ValueType t = valueTypeOf(it.code);
            if (t == ValueType::Binary) rep.bytes.push_back(static_cast<char>(std::min<std::size_t>(it.value.size(), 255)));
            g.val = static_cast<std::uint32_t>(rep.bytes.size());
            std::string_view value = it.value;
            if (t == ValueType::Binary) value = value.substr(0, 255);
            len = value.size();
            rep.bytes += value;
            if (t == ValueType::String) rep.bytes.push_back('\0');
        }
        g.len = static_cast<std::uint16_t>(len);
        if (len >= kLongValue) {
            rep.longs[g.val] = static_cast<std::uint32_t>(len);
            g.len = kLongValue;
        }
        rep.groups.push_back(g);
    }
    doc_.touching(record_, what);
    doc_.replaced_[record_] = std::move(rep);
    doc_.notify(what, record_);
}

}  // namespace ddvue::dxf

// Document: reading a drawing (its bytes copied in or its file mapped) and
// the views of its records.
#include "ddvue/dxf/Document.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/dxf/DocumentParts.h"
#include "ddvue/dxf/Operations.h"  // the history, which the document owns

#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ddvue::dxf {

using namespace detail;

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
    return storedInteger(doc_->format_, groups_[i].code, raw(i));
}

int RecordView::find(int code, std::uint32_t from) const
{
    for (std::uint32_t i = from; i < count_; ++i) {
        int c = groups_[i].code;
        if (c == code::kExtendedData) return -1;
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

bool Document::load(std::string bytes, const Progress& progress)
{
    bytes_ = std::move(bytes);
    mapping_.reset();
    file_ = bytes_;
    return read(progress);
}

bool Document::loadFile(const std::string& path, const Progress& progress)
{
    std::string why;
    int fd = openForReading(path, why);
    if (fd < 0) {
        bytes_.clear();
        mapping_.reset();
        file_ = {};
        error_ = "Cannot read the file: " + why;
        return false;
    }
    bool ok = loadFile(fd, progress);
    ::close(fd);
    return ok;
}

bool Document::loadFile(int fd, const Progress& progress, const Beside& beside)
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
        // A large file's pages are made present on another core while the
        // first ones are read; a small one's at once.
        const bool large = size >= (16u << 20);
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (large ? 0 : MAP_POPULATE), fd, 0);
        if (at != MAP_FAILED) {
            mapping_ = std::shared_ptr<void>(at, [size](void* p) { ::munmap(p, size); });
            file_ = std::string_view(static_cast<const char*>(at), size);
            std::optional<FaultAhead> pages;
            if (large) pages.emplace(at, size, FaultAhead::Use::Read);
            return read(progress, beside);
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
    return read(progress, beside);
}

bool Document::read(const Progress& progress, const Beside& beside)
{
    std::thread besideThread;
    if (beside) {
        try {
            besideThread = std::thread(beside, file_);
        } catch (const std::system_error&) {
            beside(file_);  // no thread to be had: before the parse instead
        }
    }
    bool ok = parse(progress);
    if (besideThread.joinable()) besideThread.join();
    return ok;
}

bool Document::parse(const Progress& progress)
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
    tables_.clear();
    layerRecords_.clear();
    fileRecords_ = 0;
    anchorOf_.clear();
    placed_.clear();
    nextHandle_ = 0;
    handseedPending_ = false;
    headerRecord_ = UINT32_MAX;
    badHandles_.clear();
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

RecordView Document::view(std::uint32_t i) const
{
    if (const Replacement* rep = replacement(i))
        return RecordView(*this, rep->bytes.data(), rep->groups.data(), static_cast<std::uint32_t>(rep->groups.size()),
                          0, static_cast<std::uint32_t>(rep->bytes.size()), &rep->longs);
    const Record& r = records_[i];
    const std::uint32_t end = i + 1 < fileRecords_ ? recordBegin(i + 1) : tailBegin_;
    return RecordView(*this, file_.data(), groups_.data() + r.first, groupCount(i), recordBegin(i), end, &longs_);
}

std::uint32_t Document::recordBegin(std::uint32_t i) const
{
    const std::uint32_t first = records_[i].first;
    if (first == 0) return firstGroup_;
    const Group& g = groups_[first - 1];
    return afterValue(file_.data(), static_cast<std::uint32_t>(file_.size()), g, lengthOf(g));
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
    // A named pipe or a device has no version: it is not read (that could wait for ever).
    std::string why;
    int fd = openForReading(path, why);
    if (fd < 0) return -1;
    std::string head(256 * 1024, '\0');
    std::size_t got = 0;
    for (ssize_t n; got < head.size() && (n = ::read(fd, head.data() + got, head.size() - got)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    head.resize(got);
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

}  // namespace ddvue::dxf

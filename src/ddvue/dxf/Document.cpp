#include "ddvue/dxf/Document.h"
#include "ddvue/AtomicFile.h"
#include "ddvue/dxf/DocumentParts.h"

#include "ddvue/dxf/Operations.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <new>
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
    const std::uint32_t begin = recordBegin(record);
    const std::uint32_t end = record + 1 < records_.size() ? recordBegin(record + 1) : tailBegin_;
    return file_.substr(begin, end - begin);
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

void detail::preferLargePages(const void* data, std::size_t size)
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

detail::FaultAhead::FaultAhead(const void* data, std::size_t bytes, Use use) : use_(use)
{
#ifdef __linux__
    // Worth a thread only for an array of many large pages.
    if (bytes < 8 * kStep) return;
    constexpr std::uintptr_t page = 4096;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (last <= first) return;
    begin_ = reinterpret_cast<char*>(first);
    bytes_ = last - first;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: the writer takes its own faults, as without this.
    }
#else
    (void)data;
    (void)bytes;
#endif
}

detail::FaultAhead::~FaultAhead()
{
    if (!thread_.joinable()) return;
    stop_.store(true);
    filled_.fetch_add(1);
    filled_.notify_one();
    thread_.join();
}

void detail::FaultAhead::run()
{
#ifdef __linux__
#ifndef MADV_POPULATE_READ
    constexpr int MADV_POPULATE_READ = 22;  // Linux 5.14
#endif
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    const int advice = use_ == Use::Read ? MADV_POPULATE_READ : MADV_POPULATE_WRITE;
    // A few steps ahead of the writer: far enough that it seldom meets a
    // fresh page, near enough that little is made present in vain when the
    // array ends short of its room. A file is read whole.
    const std::size_t ahead = use_ == Use::Read ? bytes_ : 4 * kStep;
    constexpr std::uintptr_t page = 4096;
    std::size_t done = 0;
    for (;;) {
        const std::size_t f = filled_.load();
        if (stop_.load()) return;
        const std::size_t target = f >= bytes_ - std::min(bytes_, ahead) ? bytes_ : ((f + ahead) & ~(page - 1));
        if (done < target) {
            // Up to the next large page boundary, so that each call makes one large page present.
            auto at = reinterpret_cast<std::uintptr_t>(begin_ + done);
            std::size_t n = std::min(target - done, static_cast<std::size_t>(((at + kStep) & ~(kStep - 1)) - at));
            if (::madvise(begin_ + done, n, advice) != 0) return;  // an older system: leave it to the writer
            done += n;
            continue;
        }
        filled_.wait(f);
    }
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

RecordView Document::view(std::uint32_t i) const
{
    if (const Replacement* rep = replacement(i))
        return RecordView(*this, rep->bytes.data(), rep->groups.data(), static_cast<std::uint32_t>(rep->groups.size()),
                          0, static_cast<std::uint32_t>(rep->bytes.size()), &rep->longs);
    const Record& r = records_[i];
    const std::uint32_t end = i + 1 < records_.size() ? recordBegin(i + 1) : tailBegin_;
    return RecordView(*this, file_.data(), groups_.data() + r.first, groupCount(i), recordBegin(i), end, &longs_);
}

std::uint32_t Document::recordBegin(std::uint32_t i) const
{
    const std::uint32_t first = records_[i].first;
    if (first == 0) return firstGroup_;
    const Group& g = groups_[first - 1];
    return afterValue(file_.data(), static_cast<std::uint32_t>(file_.size()), g, lengthOf(g));
}

const Document::Replacement* Document::replacement(std::uint32_t i) const
{
    if (replaced_.empty()) return nullptr;
    auto it = replaced_.find(i);
    return it == replaced_.end() ? nullptr : &it->second;
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
    return handleOf(hex);
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
    auto it = std::lower_bound(byHandle_.begin(), byHandle_.end(), handle,
                               [this](std::uint32_t i, std::uint64_t h) { return records_[i].handle < h; });
    if (it == byHandle_.end() || records_[*it].handle != handle || isDeleted(*it)) return std::nullopt;
    return *it;
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
    for (std::uint32_t j = record + 1, end = childrenEnd(record); j < end; ++j) out.push_back(j);
    return out;
}

std::uint32_t Document::childrenEnd(std::uint32_t record) const
{
    std::uint32_t j = record + 1;
    while (j < records_.size() && records_[j].parent == static_cast<std::int32_t>(record)) ++j;
    return j;
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
        return i < records_.size() ? recordBegin(i) : tailBegin_;
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
        if (items_[i].code == code::kExtendedData) return -1;
        if (items_[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

int Document::Edit::findMain(int code, std::uint32_t from) const
{
    bool inBracket = false;
    for (std::uint32_t i = 1; i < items_.size(); ++i) {
        int c = items_[i].code;
        if (c == code::kAppGroup) {
            inBracket = isBracketOpen(items_[i].value);
            continue;
        }
        if (inBracket) continue;
        if (c == code::kExtendedData || c == code::kEmbeddedObject) return -1;
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

#pragma once
// The lossless DXF document. The file's bytes are kept as read; the model is
// an index into them: every group knows where its code and value stand, every
// record (the groups from one 0 group to the next) knows its groups. An edit
// replaces the groups of one record; saving writes every untouched record as
// the bytes it was read from, so an unchanged drawing saves byte for byte.

#include "ddvue/dxf/GroupCodes.h"
#include "ddvue/dxf/TextCodec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ddvue::dxf {

enum class Format : std::uint8_t { Ascii, Binary };

// A buffer of `size` bytes to read a drawing's file into, in large memory
// pages where the system offers them.
std::string fileBuffer(std::size_t size);

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
    RecordView(const class Document& doc, const char* base, const Group* groups, std::uint32_t count,
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

class History;

class Document {
public:
    Document();
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Told how far a long piece of work has come, in percent; answers
    // false to stop it.
    using Progress = std::function<bool(int percent)>;

    // Reads a drawing from its bytes. False with error() set when the bytes
    // are not a DXF drawing this engine can keep whole, or when `progress`
    // asked to stop (stopped() is then true).
    bool load(std::string bytes, const Progress& progress = {});
    // Reads the drawing in the file at `path`, its pages mapped from the
    // system's file cache rather than copied: the fastest way in, for a
    // short-lived reader. Mapped pages follow the file on disk: a file that
    // another program cuts short while the document is open cannot be read
    // any more, so a long-lived reader copies (load) instead.
    bool loadFile(const std::string& path, const Progress& progress = {});
    // The same for a file open for reading; the descriptor stays open.
    // `beside`, when given, is handed the file's bytes as soon as they are
    // in memory and runs on another thread while they are parsed (to hash
    // them, say); loadFile returns after both are done.
    using Beside = std::function<void(std::string_view bytes)>;
    bool loadFile(int fd, const Progress& progress = {}, const Beside& beside = {});
    const std::string& error() const { return error_; }
    bool stopped() const { return stopped_; }
    // What reading had to mend to open the drawing, one sentence each
    // ("2 objects repeat the handle of an earlier one; ..."); empty for a
    // well-formed file. The repairs live in memory only: the file's bytes
    // stay as they were.
    const std::vector<std::string>& repairs() const { return repairs_; }

    Format format() const { return format_; }
    const std::string& acadVersion() const { return acadver_; }
    const TextCodec& codec() const { return *codec_; }
    bool hasHandles() const { return hasHandles_; }

    // Records and their groups.
    std::uint32_t recordCount() const { return static_cast<std::uint32_t>(records_.size()); }
    const Record& record(std::uint32_t i) const { return records_[i]; }
    // How many groups the record has, as read.
    std::uint32_t groupCount(std::uint32_t i) const
    {
        return (i + 1 < records_.size() ? records_[i + 1].first : static_cast<std::uint32_t>(groups_.size())) -
               records_[i].first;
    }
    // Where the record's bytes start in the file.
    std::uint32_t recordBegin(std::uint32_t i) const;
    RecordView view(std::uint32_t i) const;
    bool isDeleted(std::uint32_t i) const
    {
        if (replaced_.empty()) return false;  // the common case, asked for every object
        const Replacement* rep = replacement(i);
        return rep && rep->deleted;
    }
    std::string_view typeName(std::uint32_t i) const { return view(i).type(); }

    // Header variables: the first value group after "9 $NAME", in the header
    // or, in a repaired file, outside it. The view holds every group of the
    // file as read; the index is the value's.
    std::optional<std::uint32_t> headerValue(std::string_view name) const;
    RecordView headerView() const;

    // Handles.
    std::optional<std::uint32_t> findHandle(std::uint64_t handle) const;
    std::optional<std::uint32_t> findHandle(std::string_view hex) const;
    static std::optional<std::uint64_t> parseHandle(std::string_view hex);
    static std::string formatHandle(std::uint64_t handle);

    // Structure.
    const std::vector<LayerEntry>& layers() const { return layers_; }
    std::optional<std::uint32_t> findLayer(std::string_view name) const;  // index into layers()
    const std::vector<BlockDef>& blocks() const { return blocks_; }
    std::optional<std::uint32_t> findBlock(std::string_view name) const;  // index into blocks()
    const std::vector<Space>& spaces() const { return spaces_; }
    // The ATTRIBs (or VERTEXes) of an INSERT (or POLYLINE), and its SEQEND.
    std::vector<std::uint32_t> children(std::uint32_t record) const;
    // They follow it: the records after it, up to this one.
    std::uint32_t childrenEnd(std::uint32_t record) const;

    // Editing. Each edit replaces the groups of one record.
    class Edit;
    Edit edit(std::uint32_t record);
    void remove(std::uint32_t record);
    bool modified() const { return !replaced_.empty(); }

    // Listeners are told of every change to a record: an edit, and an edit
    // undone or redone (see history()). Any number may listen; each is told
    // in the order they were added. Add and remove them on the thread that
    // edits the document, or before it is shared with another.
    using Listener = std::function<void(const Change&)>;
    int addListener(Listener listener);
    void removeListener(int id);

    // The edits made through operations (Operations.h), to undo and redo.
    History& history();
    const History& history() const;

    // The drawing's bytes with every edit applied.
    std::string serialize() const;
    // The file as read.
    std::string_view original() const { return file_; }

    // Formats a value for this file: encodes text with the file's code page.
    std::string encodeText(std::string_view utf8) const { return codec_->encode(utf8); }

    // Version code of a drawing's $ACADVER or DWG signature, -1 when unknown.
    static int versionCode(std::string_view acadver);
    // Reads just enough of the file at `path` to tell its version code.
    static int versionOfFile(const std::string& path);

private:
    friend class RecordView;
    struct Replacement {
        std::string bytes;
        std::vector<Group> groups;
        LongLengths longs;
        bool deleted = false;
    };
    // Where the line or bytes after a group's value end in `base`: where
    // the next group starts.
    std::uint32_t afterValue(const char* base, std::uint32_t limit, const Group& g, std::uint32_t len) const;
    std::uint32_t lengthOf(const Group& g) const { return g.len != kLongValue ? g.len : longs_.at(g.val); }
    // Appends a group read from the file.
    [[gnu::always_inline]] void addGroup(std::size_t val, std::size_t len, int code)
    {
        if (len >= kLongValue) return addLongGroup(val, len, code);
        groups_.push_back(Group{static_cast<std::uint32_t>(val), static_cast<std::uint16_t>(len),
                                static_cast<std::int16_t>(code)});
    }
    void addLongGroup(std::size_t val, std::size_t len, int code);

    bool read(const Progress& progress, const Beside& beside = {});
    bool parse(const Progress& progress);
    bool tokenize();
    bool tokenizeAscii();
    // The pieces of tokenizeAscii (DocumentTokens.cpp).
    struct AsciiScan;
    struct SecondHalf;
    enum class AsciiStep { Next, End, Fail };
    void detectLineEnds();
    // The end of the line's content at `pos`; `next` is set to the next line.
    std::size_t lineAt(std::size_t pos, std::size_t& next) const;
    AsciiStep readOddGroup(AsciiScan& scan);
    bool tokenizeBinary();
    // Makes the records as the groups are read (DocumentTokens.cpp).
    struct RecordMaker;
    void reserveRecords(std::size_t fewestBytesPerRecord);
    bool buildRecords();
    bool buildStructure();
    // The pieces of buildStructure, in order (DocumentStructure.cpp).
    struct StructureScan;
    std::string_view groupText(std::uint32_t group) const;  // a group of the file as read
    std::size_t readVariables(std::uint32_t from, std::uint32_t count, bool inHeader);
    bool readSections();
    void readEncoding();
    bool indexRecords(StructureScan& scan);
    void indexTableRecord(StructureScan& scan, std::uint32_t i);
    void indexLayout(StructureScan& scan, std::uint32_t i);
    void indexEntityRecord(StructureScan& scan, std::uint32_t i, std::uint32_t ownerLow);
    void buildSpaces(const StructureScan& scan);
    void reserveGroups(std::size_t fewestBytesPerGroup);
    void indexHandles(std::uint64_t maxHandle, std::size_t unreadable);
    void notify(Change::What what, std::uint32_t record) const;
    const Replacement* replacement(std::uint32_t i) const;

    std::string bytes_;                // the file's bytes when they were copied in
    std::shared_ptr<void> mapping_;    // the file's pages when they were mapped
    std::string_view file_;            // the file's bytes, either way
    std::string error_;
    std::vector<std::string> repairs_;
    Format format_ = Format::Ascii;
    int binaryCodeBytes_ = 2;
    std::string eol_ = "\r\n";
    int codeWidth_ = 0;  // right-aligned width of code lines, 0 when not padded
    int intWidth_ = 0;   // right-aligned width of integer values, 0 when not padded
    std::uint32_t prefixEnd_ = 0;  // bytes before the first record (binary sentinel)
    std::uint32_t tailBegin_ = 0;  // bytes after the last record

    // Growing the group array leaves the new room as it is: the reader
    // fills it, in part from a second thread before the array is grown over
    // that part (tokenizeAscii).
    template <typename T>
    struct Uncleared : std::allocator<T> {
        template <typename U>
        struct rebind {
            using other = Uncleared<U>;
        };
        Uncleared() = default;
        template <typename U>
        Uncleared(const Uncleared<U>&) noexcept {}
        template <typename U>
        void construct(U* p) noexcept
        {
            ::new (static_cast<void*>(p)) U;
        }
        template <typename U, typename... A>
        void construct(U* p, A&&... args)
        {
            ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
        }
    };
    std::vector<Group, Uncleared<Group>> groups_;
    LongLengths longs_;
    std::uint32_t firstGroup_ = 0;  // where the first group starts: 0, or after the binary sentinel
    char terminator_ = '\n';
    bool crOnly_ = false;
    std::vector<Record> records_;
    // While reading: the records whose handle group cannot be read. The
    // structure (indexRecords) reads them, and they go.
    std::vector<std::uint32_t> badHandles_;
    std::unordered_map<std::uint32_t, Replacement> replaced_;

    std::string acadver_;
    std::shared_ptr<const TextCodec> codec_;
    bool hasHandles_ = false;
    std::uint32_t headerRecord_ = UINT32_MAX;
    std::unordered_map<std::string, std::uint32_t> headerVars_;  // upper-case name -> group index
    std::vector<std::uint32_t> byHandle_;  // the records with a handle, sorted by it
    std::vector<LayerEntry> layers_;
    std::unordered_map<std::string, std::uint32_t> layerIndex_;  // upper-case name
    std::vector<BlockDef> blocks_;
    std::unordered_map<std::string, std::uint32_t> blockIndex_;  // upper-case name
    std::vector<Space> spaces_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 0;
    std::unique_ptr<History> history_;
    Progress progress_;
    bool stopped_ = false;
    // Tells progress_ how far reading has come; false (with the error set)
    // when it asks to stop.
    bool report(int percent);

public:
    // What one record holds: nothing when it stands as read, else the bytes
    // that replace it (none when it is deleted). An operation keeps the
    // states of the records it changes, to put them back byte for byte.
    using RecordState = std::optional<Replacement>;
    RecordState state(std::uint32_t record) const;
    // Puts back a state taken by state(); listeners are told as `what`.
    void restore(std::uint32_t record, const RecordState& state, Change::What what);
    // The record's bytes in `state` as a save would write them; empty when deleted.
    std::string_view bytesIn(std::uint32_t record, const RecordState& state) const;
    // Each record an edit is about to change, once, with its state before.
    struct Touched {
        std::uint32_t record;
        Change::What what;
        RecordState before;
    };
    // While a journal is set, every change is noted in it (see Operations.h).
    void setJournal(std::vector<Touched>* journal) { journal_ = journal; }

private:
    void touching(std::uint32_t record, Change::What what);
    std::vector<Touched>* journal_ = nullptr;

public:
    // Rewrites the groups of one record. The groups start as the record's
    // current ones; commit() stores the result in the file's own formatting.
    class Edit {
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
        void setInteger(std::uint32_t i, std::int64_t v);
        void remove(std::uint32_t i);
        void insertText(std::uint32_t at, int code, std::string_view utf8);
        // Inserts a text value already in the file's encoding.
        void insertEncoded(std::uint32_t at, int code, std::string bytes);
        void insertInteger(std::uint32_t at, int code, std::int64_t v);
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

        Document& doc_;
        std::uint32_t record_;
        std::vector<Item> items_;
    };
};

}  // namespace ddvue::dxf
